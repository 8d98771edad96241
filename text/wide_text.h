#pragma once

#include <string>
#include <string_view>

// Our text is UTF-8 throughout; Windows speaks UTF-16 in its wide API. Bytes that are not
// UTF-8 become U+FFFD, never a guess in the ANSI code page.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
