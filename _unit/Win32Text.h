// Text at the edge of the Windows system: the program keeps every path and message
// in UTF-8, and the system's wide calls take and give UTF-16.
#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

// Text in UTF-8 as UTF-16. False, with Wide emptied, when Text is not valid UTF-8:
// such a name can name no file on Windows.
bool Utf8ToWide(std::string_view Text, std::wstring& Wide);

// UTF-16 as UTF-8; a lone surrogate (possible in a file name) becomes U+FFFD.
std::string WideToUtf8(std::wstring_view Wide);

// A UTF-8 path as the system's wide calls take it. A path longer than the
// classic limit of 259 characters is made absolute and given the "\\?\" prefix
// that lifts the limit. False when Path is not valid UTF-8.
bool WidePath(std::string_view Path, std::wstring& Wide);

// The system's text for an error code (GetLastError), in UTF-8, without the line
// end that the system puts after it.
std::string SystemErrorText(unsigned long Code);

#endif
