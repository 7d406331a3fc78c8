#include "TextCodec.h"

#include <cstdint>

namespace {

constexpr char32_t Replacement = 0xFFFD;

// Decodes one scalar value at Bytes[I]; advances I past it. Well-formed means
// Unicode 3.9, table 3-7: no overlong forms, no surrogates, nothing above
// U+10FFFF. A malformed sequence yields Replacement and advances past its lead
// byte only, so that every byte that is not part of a well-formed sequence
// becomes one U+FFFD: the text Qt's QString::fromUtf8 gives, so that the window
// and velmora-cli show a broken name alike.
char32_t DecodeOne(std::string_view Bytes, size_t& I)
{
    const size_t Size = Bytes.size();
    const uint8_t Lead = static_cast<uint8_t>(Bytes[I++]);
    if (Lead < 0x80) return Lead;

    int Trail = 0;
    char32_t Code = 0;
    uint8_t Low = 0x80, High = 0xBF;  // allowed range of the first trail byte
    if (Lead >= 0xC2 && Lead <= 0xDF) {
        Trail = 1;
        Code = Lead & 0x1F;
    } else if (Lead >= 0xE0 && Lead <= 0xEF) {
        Trail = 2;
        Code = Lead & 0x0F;
        if (Lead == 0xE0)
            Low = 0xA0;  // no overlong forms
        else if (Lead == 0xED)
            High = 0x9F;  // no surrogates
    } else if (Lead >= 0xF0 && Lead <= 0xF4) {
        Trail = 3;
        Code = Lead & 0x07;
        if (Lead == 0xF0)
            Low = 0x90;  // no overlong forms
        else if (Lead == 0xF4)
            High = 0x8F;  // nothing above U+10FFFF
    } else {
        return Replacement;  // 80..C1, F5..FF never begin a sequence
    }

    size_t Next = I;
    for (int K = 0; K < Trail; ++K) {
        if (Next >= Size) return Replacement;
        const uint8_t B = static_cast<uint8_t>(Bytes[Next]);
        if (B < Low || B > High) return Replacement;
        Code = (Code << 6) | (B & 0x3F);
        ++Next;
        Low = 0x80;
        High = 0xBF;
    }
    I = Next;
    return Code;
}

void AppendUtf16(std::u16string& Out, char32_t Code)
{
    if (Code < 0x10000) {
        Out.push_back(static_cast<char16_t>(Code));
    } else {
        Code -= 0x10000;
        Out.push_back(static_cast<char16_t>(0xD800 + (Code >> 10)));
        Out.push_back(static_cast<char16_t>(0xDC00 + (Code & 0x3FF)));
    }
}

void AppendUtf8(std::string& Out, char32_t Code)
{
    if (Code < 0x80) {
        Out.push_back(static_cast<char>(Code));
    } else if (Code < 0x800) {
        Out.push_back(static_cast<char>(0xC0 | (Code >> 6)));
        Out.push_back(static_cast<char>(0x80 | (Code & 0x3F)));
    } else if (Code < 0x10000) {
        Out.push_back(static_cast<char>(0xE0 | (Code >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((Code >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (Code & 0x3F)));
    } else {
        Out.push_back(static_cast<char>(0xF0 | (Code >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((Code >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((Code >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (Code & 0x3F)));
    }
}

// A byte-order mark that opens the text is dropped, as Qt drops it.
size_t SkipByteOrderMark(std::string_view Bytes)
{
    return Bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view Bytes)
{
    std::u16string Out;
    Out.reserve(Bytes.size());  // never more units than bytes
    size_t I = SkipByteOrderMark(Bytes);
    while (I < Bytes.size()) {
        const uint8_t B = static_cast<uint8_t>(Bytes[I]);
        if (B < 0x80) {
            Out.push_back(B);
            ++I;
            continue;
        }
        AppendUtf16(Out, DecodeOne(Bytes, I));
    }
    return Out;
}

std::string Utf16ToUtf8(std::u16string_view Text)
{
    std::string Out;
    Out.reserve(Text.size());
    for (size_t I = 0; I < Text.size(); ++I) {
        char32_t Code = Text[I];
        if (Code >= 0xD800 && Code <= 0xDBFF) {
            if (I + 1 < Text.size() && Text[I + 1] >= 0xDC00 && Text[I + 1] <= 0xDFFF) {
                Code = 0x10000 + ((Code - 0xD800) << 10) + (Text[I + 1] - 0xDC00);
                ++I;
            } else {
                Code = Replacement;
            }
        } else if (Code >= 0xDC00 && Code <= 0xDFFF) {
            Code = Replacement;
        }
        AppendUtf8(Out, Code);
    }
    return Out;
}

std::string SanitizeUtf8(std::string_view Bytes)
{
    std::string Out;
    Out.reserve(Bytes.size());
    size_t I = SkipByteOrderMark(Bytes);
    while (I < Bytes.size()) {
        const size_t Start = I;
        if (static_cast<uint8_t>(Bytes[I]) < 0x80) {
            Out.push_back(Bytes[I++]);
            continue;
        }
        // A well-formed U+FFFD in the input comes out the same either way.
        if (DecodeOne(Bytes, I) == Replacement)
            AppendUtf8(Out, Replacement);
        else
            Out.append(Bytes.substr(Start, I - Start));
    }
    return Out;
}
