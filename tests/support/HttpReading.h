// Helpers for tests that read WinINet responses through the framework's CHttpFile.
#pragma once

#include "framework/Internet.h"

#include <string>

// Reads the body to its end in reads of chunkSize bytes.
std::string ReadToEnd(CHttpFile& file, UINT chunkSize = 4096);

// Bytes 0..255 repeated with a shifting pattern, so that a lost, doubled or moved block shows.
std::string BinaryPattern(size_t size);

// The message GetErrorMessage gives for an exception.
std::wstring ErrorMessageOf(const CException& error);
