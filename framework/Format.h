// printf-style formatting with the wide-character conventions of the Windows C runtime:
// in a wide format, %s and %c take wide arguments, %hs/%S and %hc/%C narrow ones.
// Our own implementation, so that every compiler formats the same way.
#pragma once

#include <cstdarg>
#include <string>

// Appends the formatted text to out. Supported: flags - + space # 0, width and precision
// (numbers or *), length modifiers h hh l ll L I I32 I64 z j t, conversions d i u o x X c C s S p %.
void AppendFormatV(std::wstring& out, const wchar_t* format, va_list args);
