// Text conversions of the core. On this platform the system's 8-bit (ANSI) code
// page is the locale's encoding, UTF-8. Malformed input becomes U+FFFD, one for
// every byte that is not part of a well-formed sequence (overlong forms,
// surrogates and values above U+10FFFF are malformed), and a byte-order mark at
// the very start is dropped: the same text that Qt's QString::fromUtf8 gives, so
// the window and the command line agree.
#pragma once

#include <string>
#include <string_view>

// Decodes UTF-8 into UTF-16; never fails.
std::u16string Utf8ToUtf16(std::string_view Bytes);
// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view Text);
// Decodes UTF-8 and encodes it again (Utf16ToUtf8 of Utf8ToUtf16): always valid
// UTF-8, U+FFFD for bad bytes.
std::string SanitizeUtf8(std::string_view Bytes);
// SanitizeUtf8 that keeps a byte-order mark at the start: the text of a name whose
// bytes must all be accounted for, such as a path that is printed to be used again.
std::string ValidUtf8(std::string_view Bytes);

// UTF-8 bytes as one line for a terminal, safe to show: every character that is
// invisible, moves the cursor or steers the direction of its neighbours stands as
// a visible escape "<U+XXXX>" (at least four upper-case hexadecimal digits), as the
// window shows a stranger's text. That is every control character (TAB, LF and CR
// too, so that a line stays one line), DEL, the C1 controls, the directional marks,
// embeddings, overrides and isolates, the line and paragraph separators, and every
// other format character except the zero-width joiner and non-joiner. A byte that is
// not part of well-formed UTF-8 stands as "<0xXX>", so that a terminal never sees a
// raw C1 byte and the name's bytes can still be told. Everything else is unchanged.
std::string VisibleText(std::string_view Bytes);
// Whether VisibleText shows the code point as an escape.
bool IsHiddenCharacter(char32_t Code);

// Conversion through the system's ANSI code page (UTF-8 here).
inline std::u16string AnsiToUtf16(std::string_view Bytes)
{
    return Utf8ToUtf16(Bytes);
}
inline std::string Utf16ToAnsi(std::u16string_view Text)
{
    return Utf16ToUtf8(Text);
}
