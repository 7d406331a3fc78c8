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
    return ValidUtf8(Bytes.substr(SkipByteOrderMark(Bytes)));
}

std::string ValidUtf8(std::string_view Bytes)
{
    std::string Out;
    Out.reserve(Bytes.size());
    size_t I = 0;
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

bool IsHiddenCharacter(char32_t Code)
{
    // The control characters (general category Cc), the format characters (Cf)
    // other than ZWNJ and ZWJ, and the line and paragraph separators (Zl, Zp), as
    // Unicode 14 assigns them: the same set the window escapes.
    static constexpr struct {
        char32_t First, Last;
    } Ranges[] = {
        {0x0, 0x1F},        {0x7F, 0x9F},       {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},
        {0x6DD, 0x6DD},     {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},
        {0x200B, 0x200B},   {0x200E, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
        {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x13438},
        {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
    };
    for (const auto& Range : Ranges) {
        if (Code < Range.First) return false;
        if (Code <= Range.Last) return true;
    }
    return false;
}

std::string VisibleText(std::string_view Bytes)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string Out;
    Out.reserve(Bytes.size());
    const auto Escape = [&](const char* Open, char32_t Value, int Digits) {
        Out += Open;
        int Shift = 20;
        while (Shift >= Digits * 4 && ((Value >> Shift) & 0xF) == 0) Shift -= 4;
        for (; Shift >= 0; Shift -= 4) Out.push_back(Hex[(Value >> Shift) & 0xF]);
        Out.push_back('>');
    };
    size_t I = 0;
    while (I < Bytes.size()) {
        const size_t Start = I;
        const char32_t Code = DecodeOne(Bytes, I);
        if (Code == Replacement && I - Start != 3) {
            Escape("<0x", static_cast<uint8_t>(Bytes[Start]), 2);
        } else if (IsHiddenCharacter(Code)) {
            Escape("<U+", Code, 4);
        } else {
            Out.append(Bytes.substr(Start, I - Start));
        }
    }
    return Out;
}
