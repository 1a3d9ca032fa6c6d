#include "framework/Format.h"

#include <cstdint>
#include <cwchar>

namespace {

struct Directive {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int width = 0;
    int precision = -1;
    enum class Length { Default, Char, Short, Long, LongLong, Size } length = Length::Default;
    bool narrowText = false;   // h or S/C: the text argument is narrow
    bool wideText = false;     // l or w: the text argument is wide
};

void Pad(std::wstring& out, const std::wstring& body, const Directive& directive, size_t signLength = 0)
{
    const size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
    if (body.size() >= width) {
        out += body;
    } else if (directive.left) {
        out += body;
        out.append(width - body.size(), L' ');
    } else if (directive.zero) {
        out.append(body, 0, signLength);
        out.append(width - body.size(), L'0');
        out.append(body, signLength, std::wstring::npos);
    } else {
        out.append(width - body.size(), L' ');
        out += body;
    }
}

void FormatInteger(std::wstring& out, const Directive& directive, wchar_t conversion, uint64_t magnitude, bool negative)
{
    unsigned base = 10;
    const wchar_t* digitSet = L"0123456789abcdef";
    if (conversion == L'x' || conversion == L'p') base = 16;
    if (conversion == L'X') { base = 16; digitSet = L"0123456789ABCDEF"; }
    if (conversion == L'o') base = 8;

    std::wstring digits;
    for (uint64_t v = magnitude; v != 0; v /= base)
        digits.insert(digits.begin(), digitSet[v % base]);
    if (directive.precision < 0 && digits.empty())
        digits = L"0";
    if (directive.precision >= 0 && digits.size() < static_cast<size_t>(directive.precision))
        digits.insert(0, static_cast<size_t>(directive.precision) - digits.size(), L'0');

    std::wstring prefix;
    if (negative) prefix = L"-";
    else if (directive.plus && (conversion == L'd' || conversion == L'i')) prefix = L"+";
    else if (directive.space && (conversion == L'd' || conversion == L'i')) prefix = L" ";
    if (directive.alt && magnitude != 0) {
        if (conversion == L'x') prefix += L"0x";
        if (conversion == L'X') prefix += L"0X";
        if (conversion == L'o' && digits[0] != L'0') digits.insert(digits.begin(), L'0');
    }
    Directive padding = directive;
    if (directive.precision >= 0) padding.zero = false;
    Pad(out, prefix + digits, padding, prefix.size());
}

std::wstring Widen(const char* text, int precision)
{
    std::wstring wide;
    if (!text) text = "(null)";
    for (const char* p = text; *p && (precision < 0 || static_cast<int>(wide.size()) < precision); ++p)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return wide;
}

}  // namespace

void AppendFormatV(std::wstring& out, const wchar_t* format, va_list args)
{
    if (!format) return;
    va_list ap;
    va_copy(ap, args);
    for (const wchar_t* p = format; *p; ++p) {
        if (*p != L'%') { out += *p; continue; }
        const wchar_t* start = p++;
        if (*p == L'%') { out += L'%'; continue; }

        Directive directive;
        for (;; ++p) {
            if (*p == L'-') directive.left = true;
            else if (*p == L'+') directive.plus = true;
            else if (*p == L' ') directive.space = true;
            else if (*p == L'#') directive.alt = true;
            else if (*p == L'0') directive.zero = true;
            else break;
        }
        if (*p == L'*') {
            directive.width = va_arg(ap, int);
            if (directive.width < 0) { directive.left = true; directive.width = -directive.width; }
            ++p;
        } else {
            while (*p >= L'0' && *p <= L'9') directive.width = directive.width * 10 + (*p++ - L'0');
        }
        if (*p == L'.') {
            ++p;
            directive.precision = 0;
            if (*p == L'*') { directive.precision = va_arg(ap, int); ++p; }
            else while (*p >= L'0' && *p <= L'9') directive.precision = directive.precision * 10 + (*p++ - L'0');
        }
        using L = Directive::Length;
        if (*p == L'h') { ++p; directive.narrowText = true;
            if (*p == L'h') { ++p; directive.length = L::Char; } else directive.length = L::Short; }
        else if (*p == L'l') { ++p; directive.wideText = true;
            if (*p == L'l') { ++p; directive.length = L::LongLong; } else directive.length = L::Long; }
        else if (*p == L'w') { ++p; directive.wideText = true; }
        else if (*p == L'L') { ++p; directive.length = L::LongLong; }
        else if (*p == L'I') {
            ++p;
            if (p[0] == L'6' && p[1] == L'4') { p += 2; directive.length = L::LongLong; }
            else if (p[0] == L'3' && p[1] == L'2') { p += 2; directive.length = L::Default; }
            else directive.length = L::Size;
        }
        else if (*p == L'z' || *p == L'j' || *p == L't') { directive.length = (*p == L'j') ? L::LongLong : L::Size; ++p; }

        const wchar_t conversion = *p;
        switch (conversion) {
        case L'd': case L'i': {
            int64_t v;
            switch (directive.length) {
            case L::LongLong: v = va_arg(ap, long long); break;
            case L::Size: v = va_arg(ap, intptr_t); break;
            case L::Long: v = va_arg(ap, long); break;
            case L::Short: v = static_cast<short>(va_arg(ap, int)); break;
            case L::Char: v = static_cast<signed char>(va_arg(ap, int)); break;
            default: v = va_arg(ap, int); break;
            }
            const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            FormatInteger(out, directive, conversion, magnitude, v < 0);
            break;
        }
        case L'u': case L'x': case L'X': case L'o': {
            uint64_t v;
            switch (directive.length) {
            case L::LongLong: v = va_arg(ap, unsigned long long); break;
            case L::Size: v = va_arg(ap, uintptr_t); break;
            case L::Long: v = va_arg(ap, unsigned long); break;
            case L::Short: v = static_cast<unsigned short>(va_arg(ap, unsigned)); break;
            case L::Char: v = static_cast<unsigned char>(va_arg(ap, unsigned)); break;
            default: v = va_arg(ap, unsigned); break;
            }
            FormatInteger(out, directive, conversion, v, false);
            break;
        }
        case L'p': {
            Directive pointer = directive;
            pointer.zero = true;
            pointer.width = static_cast<int>(sizeof(void*) * 2);
            FormatInteger(out, pointer, L'X', reinterpret_cast<uintptr_t>(va_arg(ap, void*)), false);
            break;
        }
        case L'c': case L'C': {
            const int v = va_arg(ap, int);
            const bool narrow = conversion == L'C' ? !directive.wideText : directive.narrowText;
            const wchar_t ch = narrow ? static_cast<wchar_t>(static_cast<unsigned char>(v)) : static_cast<wchar_t>(v);
            Pad(out, std::wstring(1, ch), directive);
            break;
        }
        case L's': case L'S': {
            const bool narrow = conversion == L'S' ? !directive.wideText : directive.narrowText;
            std::wstring text;
            if (narrow) {
                text = Widen(va_arg(ap, const char*), directive.precision);
            } else {
                const wchar_t* wide = va_arg(ap, const wchar_t*);
                if (!wide) wide = L"(null)";
                const size_t length = std::wcslen(wide);
                text.assign(wide, directive.precision >= 0 && static_cast<size_t>(directive.precision) < length
                                      ? static_cast<size_t>(directive.precision) : length);
            }
            Pad(out, text, directive);
            break;
        }
        default:
            // Unknown conversion: keep the text as written and stop interpreting arguments.
            out.append(start, conversion ? p + 1 : p);
            if (!conversion) { va_end(ap); return; }
            break;
        }
    }
    va_end(ap);
}
