#include "vela/text.h"

#include <cmath>
#include <limits>
#include <utility>

namespace vela {

int InStr(int start, const std::string& text, const std::string& sought)
{
    std::size_t from = start > 1 ? std::size_t(start - 1) : 0;
    if (sought.empty())
        return from <= text.size() ? int(from) + 1 : 0;
    for (std::size_t i = from; i + sought.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < sought.size() && FoldAsciiCase(text[i + k]) == FoldAsciiCase(sought[k]))
            ++k;
        if (k == sought.size())
            return int(i) + 1;
    }
    return 0;
}

std::string Left(const std::string& text, int n)
{
    if (n <= 0)
        return {};
    std::size_t i = 0;
    for (int chars = 0; i < text.size() && chars < n; ++chars) {
        ++i;
        // Skip UTF-8 continuation bytes.
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
    }
    return text.substr(0, i);
}

int RuntimeStringCompare(const std::string& a, const std::string& b)
{
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = FoldAsciiCase(a[i]), y = FoldAsciiCase(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

namespace {

// The code point of the UTF-8 sequence at text[i] and its length; length 0
// for bytes that begin no valid sequence.
std::pair<char32_t, std::size_t> decode(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    if (b < 0x80)
        return {b, 1};
    std::size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    if (n == 0 || b > 0xF4 || i + n > text.size())
        return {0, 0};
    char32_t c = b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return {0, 0};
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and what lies beyond Unicode are no characters.
    if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF))
        return {0, 0};
    return {c, n};
}

// C0 and C1 controls, DEL, and the Unicode line and paragraph separators:
// all of them can break or hide a line.
bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

} // namespace

bool IsPrintable(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b >= 0x20 && b < 0x7F) {
            ++i;
            continue;
        }
        auto [c, n] = decode(text, i);
        if (n == 0 || isControl(c))
            return false;
        i += n;
    }
    return true;
}

std::string Printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto [c, n] = decode(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
        } else {
            if (isControl(c))
                out += '?';
            else
                out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

double RuntimeCvtSInt32ToReal64(std::int32_t v) { return double(v); }

std::int32_t RuntimeCvtReal64ToSInt32(double v)
{
    if (std::isnan(v))
        return 0;
    double r = std::round(v);
    if (r >= double(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (r <= double(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return std::int32_t(r);
}

} // namespace vela
