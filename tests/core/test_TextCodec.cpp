// UTF-8 to UTF-16 and back. Malformed input gives one U+FFFD per byte that is not
// part of a well-formed sequence, as Qt's QString::fromUtf8 does (the expected
// rows for malformed input were checked against Qt 6.4's QString::fromUtf8).

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "TestSupport.h"
#include "TextCodec.h"

using namespace std::string_literals;

namespace {

struct TDecodeRow {
    const char* Name;
    std::string Bytes;
    std::u16string Text;
};

void PrintTo(const TDecodeRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class Utf8Table : public testing::TestWithParam<TDecodeRow> {};

TEST_P(Utf8Table, DecodesToUtf16)
{
    const TDecodeRow& Row = GetParam();
    EXPECT_EQ(Utf8ToUtf16(Row.Bytes), Row.Text);
    EXPECT_EQ(AnsiToUtf16(Row.Bytes), Row.Text);
}

TEST_P(Utf8Table, SanitizeIsTheRoundTrip)
{
    const TDecodeRow& Row = GetParam();
    EXPECT_EQ(SanitizeUtf8(Row.Bytes), Utf16ToUtf8(Row.Text));
}

const TDecodeRow WellFormedRows[] = {
    {"empty", "", u""},
    {"ascii", "abc", u"abc"},
    {"zero_byte", "a\0b"s, u"a\0b"s},
    {"two_bytes", "\xC3\xA9", u"\u00E9"},
    {"smallest_two_bytes", "\xC2\x80", u"\u0080"},
    {"three_bytes", "\xE2\x82\xAC", u"\u20AC"},
    {"smallest_three_bytes", "\xE0\xA0\x80", u"\u0800"},
    {"last_before_surrogates", "\xED\x9F\xBF", u"\uD7FF"},
    {"first_after_surrogates", "\xEE\x80\x80", u"\uE000"},
    {"noncharacter_fffe_kept", "\xEF\xBF\xBE", u"\uFFFE"},
    {"replacement_character_itself", "\xEF\xBF\xBD", u"\uFFFD"},
    {"four_bytes_pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
    {"smallest_four_bytes", "\xF0\x90\x80\x80", u"\U00010000"},
    {"largest_scalar", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    {"cyrillic", "\xD0\x96\xD0\xB4\xD1\x91\xD0\xBC", u"Ждём"},
    {"byte_order_mark_at_start_dropped",
     "\xEF\xBB\xBF"
     "a",
     u"a"},
    {"byte_order_mark_later_kept", "a\xEF\xBB\xBF", u"a\uFEFF"},
};
INSTANTIATE_TEST_SUITE_P(WellFormed, Utf8Table, testing::ValuesIn(WellFormedRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

const TDecodeRow MalformedRows[] = {
    {"lone_continuation", "\x80", u"\uFFFD"},
    {"c0_and_c1_never_lead", "\xC0\x80\xC1\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"f5_to_ff_never_lead", "\xF5\xF8\xFC\xFE\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"overlong_three_bytes", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"overlong_four_bytes", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"surrogate_encoded", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"above_10ffff", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"cut_short_at_the_end", "\xE2\x82", u"\uFFFD\uFFFD"},
    {"cut_short_before_ascii", "\xE2\x82\x41", u"\uFFFD\uFFFDA"},
    {"four_bytes_cut_short", "\xF0\x9F\x98\x41", u"\uFFFD\uFFFD\uFFFDA"},
    {"lead_then_lead", "\xC3\xC3\xA9", u"\uFFFD\u00E9"},
    {"unicode_table_3_8_sample", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
     u"a\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
    {"latin1_name", "caf\xE9", u"caf\uFFFD"},
};
INSTANTIATE_TEST_SUITE_P(Malformed, Utf8Table, testing::ValuesIn(MalformedRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

struct TEncodeRow {
    const char* Name;
    std::u16string Text;
    std::string Bytes;
};

void PrintTo(const TEncodeRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class Utf16Table : public testing::TestWithParam<TEncodeRow> {};

TEST_P(Utf16Table, EncodesToUtf8)
{
    const TEncodeRow& Row = GetParam();
    EXPECT_EQ(Utf16ToUtf8(Row.Text), Row.Bytes);
    EXPECT_EQ(Utf16ToAnsi(Row.Text), Row.Bytes);
}

const TEncodeRow EncodeRows[] = {
    {"ascii", u"abc", "abc"},
    {"each_length", u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF",
     "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
    {"lone_high_surrogate", std::u16string{0xD800}, "\xEF\xBF\xBD"},
    {"lone_low_surrogate", std::u16string{0xDC00}, "\xEF\xBF\xBD"},
    {"high_then_ascii", std::u16string{0xD83D, u'A'},
     "\xEF\xBF\xBD"
     "A"},
    {"low_then_high", std::u16string{0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"pair", std::u16string{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
    {"byte_order_mark_kept", u"\uFEFF", "\xEF\xBB\xBF"},
};
INSTANTIATE_TEST_SUITE_P(Encode, Utf16Table, testing::ValuesIn(EncodeRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Whatever the bytes, the sanitized text is valid UTF-8 that decodes to the same
// text, and well-formed text goes through unchanged. (A second byte-order mark
// right behind a first would be dropped in turn; the rounds start with neither.)
TEST(Sanitize, AnyBytesGiveStableValidText)
{
    std::mt19937 Generator(5);
    for (int Round = 0; Round < 20000; ++Round) {
        std::string Bytes(Generator() % 16, '\0');
        for (char& C : Bytes) C = static_cast<char>(Generator() & 0xFF);
        if (Bytes.starts_with("\xEF\xBB\xBF")) continue;
        const std::string Clean = SanitizeUtf8(Bytes);
        ASSERT_EQ(SanitizeUtf8(Clean), Clean);
        ASSERT_EQ(Utf8ToUtf16(Clean), Utf8ToUtf16(Bytes));
        // The terminal's form is valid UTF-8 with nothing hidden in it, and shows a
        // name that is already safe unchanged.
        const std::string Shown = VisibleText(Bytes);
        ASSERT_EQ(ValidUtf8(Shown), Shown);
        for (const char16_t C : Utf8ToUtf16(Shown)) ASSERT_FALSE(IsHiddenCharacter(C)) << int(C);
        ASSERT_EQ(VisibleText(Shown), Shown);
    }
}

TEST(Sanitize, LongTextsOnTheAsciiPath)
{
    const std::string Text = Repeat("plain text, ", 10000) + "\xD0\x96";
    EXPECT_EQ(SanitizeUtf8(Text), Text);
    EXPECT_EQ(Utf8ToUtf16(Text).size(), Text.size() - 1);
}

}  // namespace
