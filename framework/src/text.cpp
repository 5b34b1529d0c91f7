#include "vela/text.h"

#include <cmath>
#include <limits>

namespace vela {

namespace {
char fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
} // namespace

int InStr(int start, const std::string& text, const std::string& sought)
{
    std::size_t from = start > 1 ? std::size_t(start - 1) : 0;
    if (sought.empty())
        return from <= text.size() ? int(from) + 1 : 0;
    for (std::size_t i = from; i + sought.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < sought.size() && fold(text[i + k]) == fold(sought[k]))
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
        unsigned char x = fold(a[i]), y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
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
