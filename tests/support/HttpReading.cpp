#include "support/HttpReading.h"

#include <vector>

std::string ReadToEnd(CHttpFile& file, UINT chunkSize)
{
    std::string body;
    std::vector<char> chunk(chunkSize);
    while (const UINT count = file.Read(chunk.data(), chunkSize)) body.append(chunk.data(), count);
    return body;
}

std::string BinaryPattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i + i / 256) & 0xFF);
    return bytes;
}

std::wstring ErrorMessageOf(const CException& error)
{
    wchar_t buffer[1024] = {};
    error.GetErrorMessage(buffer, 1024);
    return buffer;
}
