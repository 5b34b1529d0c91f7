// Text helpers. Strings are UTF-8 std::string throughout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vela {

// The ASCII letter c in lower case, any other byte as it is: texts and
// names are compared ignoring the case of ASCII letters only.
inline char FoldAsciiCase(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// 1-based position of the first occurrence of sought in text at or after
// start (0 or 1: from the beginning), ignoring the case of ASCII letters; 0 when absent.
int InStr(int start, const std::string& text, const std::string& sought);
// The first n characters (not bytes) of text.
std::string Left(const std::string& text, int n);
// 0 when equal ignoring the case of ASCII letters, else <0 or >0.
int RuntimeStringCompare(const std::string& a, const std::string& b);
// Whether text is valid UTF-8 without control characters: fit to be shown
// as it is.
bool IsPrintable(std::string_view text);
// text as it can be shown on one line: control characters (line breaks
// among them) as "?", bytes that are no valid UTF-8 as U+FFFD.
std::string Printable(std::string_view text);
double RuntimeCvtSInt32ToReal64(std::int32_t v);
// Rounds half away from zero.
std::int32_t RuntimeCvtReal64ToSInt32(double v);

} // namespace vela
