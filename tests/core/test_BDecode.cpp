// The bencode decoder: values, leniency, the info extent, and the bounds that keep
// hostile documents from crashing the program or taking its memory.

#include <gtest/gtest.h>

// GCC 12 at -O3 warns of overlapping copies inside "literal" + std::string
// (its bug 105329); there are none.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "BDecode.h"
#include "TestSupport.h"

using namespace std::string_literals;

// The largest single allocation made while a TAllocationWatch is alive, so that a
// test can prove that a few bytes declaring gigabytes cost no more than a few bytes.
namespace {
std::atomic<size_t> LargestAllocation{0};

class TAllocationWatch {
public:
    TAllocationWatch() { LargestAllocation = 0; }
    size_t Largest() const { return LargestAllocation; }
};
}  // namespace

// Kept out of line: inlined into the same unit, GCC pairs malloc with delete and
// warns of a mismatch that is not there.
__attribute__((noinline)) void* operator new(size_t Size)
{
    size_t Seen = LargestAllocation.load(std::memory_order_relaxed);
    while (Size > Seen && !LargestAllocation.compare_exchange_weak(Seen, Size)) {
    }
    if (void* P = std::malloc(Size ? Size : 1)) return P;
    throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* P) noexcept
{
    std::free(P);
}
__attribute__((noinline)) void operator delete(void* P, size_t) noexcept
{
    std::free(P);
}

namespace {

struct TDecodeRow {
    const char* Name;
    std::string Input;
    std::string Expected;  // DescribeValue of the result
    int64_t End;           // stream position afterwards
};

void PrintTo(const TDecodeRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class DecodeTable : public testing::TestWithParam<TDecodeRow> {};

TEST_P(DecodeTable, GivesTheValueAndStopsBehindIt)
{
    const TDecodeRow& Row = GetParam();
    int64_t End = -1;
    std::unique_ptr<TObject> Value = DecodeBytes(Row.Input, &End);
    EXPECT_EQ(DescribeValue(Value.get()), Row.Expected);
    EXPECT_EQ(End, Row.End);
}

const TDecodeRow IntegerRows[] = {
    {"i42e_gives_42", "i42e", "42", 4},
    {"i_minus_7e_gives_minus_7", "i-7e", "-7", 4},
    {"ie_gives_0", "ie", "0", 2},
    {"minus_anywhere_negates", "i4-2e", "-42", 5},
    {"minus_twice_still_negative", "i--5e", "-5", 5},
    {"leading_zeros_are_read", "i007e", "7", 5},
    {"any_byte_ends_it_and_is_consumed", "i9x", "9", 3},
    {"end_of_stream_ends_it", "i12", "12", 3},
    {"largest_int64", "i9223372036854775807e", "9223372036854775807", 21},
    {"smallest_int64", "i-9223372036854775808e", "-9223372036854775808", 22},
    {"two_to_the_63_wraps", "i9223372036854775808e", "-9223372036854775808", 21},
    {"two_to_the_64_minus_1_wraps_to_minus_1", "i18446744073709551615e", "-1", 22},
    {"twenty_nines_wrap_modulo_2_64", "i99999999999999999999e", "7766279631452241919", 22},
    {"trailing_bytes_are_not_read", "i1eXYZ", "1", 3},
};
INSTANTIATE_TEST_SUITE_P(Integers, DecodeTable, testing::ValuesIn(IntegerRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

const TDecodeRow StringRows[] = {
    {"four_bytes_spam", "4:spam", "\"spam\"", 6},
    {"any_byte_ends_the_length", "4xspam", "\"spam\"", 6},
    {"empty_string", "0:", "\"\"", 2},
    {"bytes_taken_as_they_are", "3:a\0\xFF"s, "\"a\\x00\\xFF\"", 5},
    {"leading_zero_in_length", "03:abc", "\"abc\"", 6},
    {"trailing_bytes_are_not_read", "1:abc", "\"a\"", 3},
    {"end_of_stream_in_the_length", "12", "\"\"", 2},
    {"length_past_the_end_takes_what_remains", "10:abc", "\"abc\"", 6},
    {"2147483647_takes_what_remains", "2147483647:abc", "\"abc\"", 14},
    {"2147483648_wraps_negative_gives_empty", "2147483648:abc", "\"\"", 11},
    {"4294967295_wraps_to_minus_1_gives_empty", "4294967295:abc", "\"\"", 11},
    {"4294967296_wraps_to_0", "4294967296:abc", "\"\"", 11},
    {"4294967298_wraps_to_2", "4294967298:abc", "\"ab\"", 13},
    {"99999999999_wraps_positive_takes_what_remains", "99999999999:abc", "\"abc\"", 15},
};
INSTANTIATE_TEST_SUITE_P(Strings, DecodeTable, testing::ValuesIn(StringRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

const TDecodeRow ListRows[] = {
    {"le_is_empty", "le", "[]", 2},
    {"byte_that_starts_nothing_is_skipped", "li1ex3:abce", "[1,\"abc\"]", 11},
    {"end_of_stream_keeps_what_was_read", "li1e", "[1]", 4},
    {"lone_l_is_empty", "l", "[]", 1},
    {"nested", "lli1eelee", "[[1],[]]", 9},
    {"element_dictionary_that_fails_is_left_out", "ldx4:spame", "[\"spam\"]", 10},
};
INSTANTIATE_TEST_SUITE_P(Lists, DecodeTable, testing::ValuesIn(ListRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

const TDecodeRow DictionaryRows[] = {
    {"de_is_empty", "de", "{}", 2},
    {"one_entry", "d3:key5:valuee", "{\"key\":\"value\"}", 14},
    {"later_value_wins", "d1:ai1e1:ai2ee", "{\"a\":2}", 14},
    {"empty_key_is_dropped", "d0:i1ee", "{}", 7},
    {"key_must_begin_with_a_digit", "di1ei2ee", "none", 2},
    {"keys_are_case_sensitive", "d4:Infoi1e4:infoi2ee", "{\"Info\":1,\"info\":2,\"_info_start\":16,\"_info_length\":3}",
     20},
    {"unsorted_keys_keep_their_order", "d1:bi1e1:ai2ee", "{\"b\":1,\"a\":2}", 14},
    {"end_of_stream_after_the_d_is_empty", "d", "{}", 1},
    {"end_of_stream_keeps_the_entries", "d1:ai1e1:b", "{\"a\":1}", 10},
    {"key_without_value_is_not_stored", "d1:a", "{}", 4},
    {"value_that_starts_nothing_is_not_stored", "d1:ax1:bi2ee", "{\"b\":2}", 12},
    {"stray_byte_where_a_key_begins_gives_none", "d1:ai1exe", "none", 8},
    {"nested_failure_drops_only_that_value", "d1:adx1:bi2ee", "{\"b\":2}", 13},
};
INSTANTIATE_TEST_SUITE_P(Dictionaries, DecodeTable, testing::ValuesIn(DictionaryRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

const TDecodeRow RootRows[] = {
    {"empty_stream_gives_none", "", "none", 0},
    {"x_starts_nothing", "x", "none", 1},
    {"e_starts_nothing", "e", "none", 1},
    {"minus_starts_nothing", "-1", "none", 1},
};
INSTANTIATE_TEST_SUITE_P(Roots, DecodeTable, testing::ValuesIn(RootRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Integer scalars hold 0 as a string and strings hold "" as an integer.
TEST(DecodeScalars, TheOtherFieldStaysEmpty)
{
    auto Integer = DecodeBytes("i5e");
    auto* I = dynamic_cast<TIntString*>(Integer.get());
    ASSERT_NE(I, nullptr);
    EXPECT_TRUE(I->IsInteger);
    EXPECT_EQ(I->StringValue, "");

    auto String = DecodeBytes("2:42");
    auto* S = dynamic_cast<TIntString*>(String.get());
    ASSERT_NE(S, nullptr);
    EXPECT_FALSE(S->IsInteger);
    EXPECT_EQ(S->IntegerValue, 0);
}

// ---------------------------------------------------------------------------
// The info extent

TEST(InfoExtent, CoversTheInfoValueFromItsDThroughItsE)
{
    const std::string Document = "d8:announce3:abc4:infod4:name1:xee";
    ASSERT_EQ(Document.size(), 34u);
    TMemoryStream Stream = TMemoryStream::View(Document);
    TInfoExtent Extent;
    auto Root = ReadValue(Stream, Extent);
    EXPECT_EQ(DescribeValue(Root.get()),
              "{\"announce\":\"abc\",\"info\":{\"name\":\"x\"},\"_info_start\":22,\"_info_length\":11}");
    auto* Dictionary = dynamic_cast<TObjectHash*>(Root.get());
    ASSERT_NE(Dictionary, nullptr);
    auto* Start = dynamic_cast<TIntString*>(Dictionary->Items("_info_start"));
    ASSERT_NE(Start, nullptr);
    EXPECT_TRUE(Start->IsInteger);
    EXPECT_EQ(Document.substr(22, 11), "d4:name1:xe");
    EXPECT_EQ(Extent.Start, 22);
    EXPECT_EQ(Extent.Length, 11);
    EXPECT_TRUE(Extent.Complete);
}

struct TExtentRow {
    const char* Name;
    std::string Input;
    std::string Expected;  // DescribeValue of the root
    int64_t InfoStart;     // the root's real extent
    int64_t InfoLength;
    bool InfoComplete;
};

void PrintTo(const TExtentRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class ExtentTable : public testing::TestWithParam<TExtentRow> {};

TEST_P(ExtentTable, EntriesAndRealExtent)
{
    const TExtentRow& Row = GetParam();
    TMemoryStream Stream = TMemoryStream::View(Row.Input);
    // What an earlier document left in the extent must not survive this one.
    TInfoExtent Extent{5, 9, true};
    auto Root = ReadValue(Stream, Extent);
    EXPECT_EQ(DescribeValue(Root.get()), Row.Expected);
    EXPECT_EQ(Extent.Start, Row.InfoStart);
    EXPECT_EQ(Extent.Length, Row.InfoLength);
    EXPECT_EQ(Extent.Complete, Row.InfoComplete);
}

const TExtentRow ExtentRows[] = {
    {"no_info_key_no_entries", "d4:name1:xe", "{\"name\":\"x\"}", -1, -1, false},
    {"complete_info", "d4:infod1:xi1eee", "{\"info\":{\"x\":1},\"_info_start\":7,\"_info_length\":8}", 7, 8, true},
    {"root_missing_only_its_own_e", "d4:infod1:xi1ee", "{\"info\":{\"x\":1},\"_info_start\":7,\"_info_length\":8}", 7,
     8, true},
    {"info_cut_short_is_incomplete", "d4:infod1:xi1e", "{\"info\":{\"x\":1},\"_info_start\":7,\"_info_length\":7}", 7,
     7, false},
    {"info_cut_inside_a_value", "d4:infod4:name10:ab",
     "{\"info\":{\"name\":\"ab\"},\"_info_start\":7,\"_info_length\":12}", 7, 12, false},
    {"info_that_is_a_string", "d4:info3:abce", "{\"info\":\"abc\",\"_info_start\":7,\"_info_length\":5}", 7, 5, false},
    {"info_that_is_a_list", "d4:infoli1eee", "{\"info\":[1],\"_info_start\":7,\"_info_length\":5}", 7, 5, false},
    {"info_without_value_still_gets_entries", "d4:infoxe", "{\"_info_start\":7,\"_info_length\":1}", -1, -1, false},
    {"info_that_fails_still_gets_entries", "d4:infodx1:ai1ee", "{\"_info_start\":7,\"_info_length\":2,\"a\":1}", -1, -1,
     false},
    {"document_keys_replace_the_entries_not_the_extent", "d4:infod1:xi1ee11:_info_starti0e12:_info_lengthi99ee",
     "{\"info\":{\"x\":1},\"_info_start\":0,\"_info_length\":99}", 7, 8, true},
    {"entries_replace_earlier_document_keys", "d11:_info_starti5e4:infodee",
     "{\"_info_start\":24,\"info\":{},\"_info_length\":2}", 24, 2, true},
    {"second_info_wins", "d4:infod1:xi1ee4:info3:abce", "{\"info\":\"abc\",\"_info_start\":21,\"_info_length\":5}", 21,
     5, false},
    {"second_info_without_value_keeps_the_stored_extent", "d4:infod1:xi1ee4:info",
     "{\"info\":{\"x\":1},\"_info_start\":21,\"_info_length\":0}", 7, 8, true},
    {"nested_info_gets_its_own_pair_counted_from_the_stream_start", "d1:ad4:infoi5eee",
     "{\"a\":{\"info\":5,\"_info_start\":11,\"_info_length\":3}}", -1, -1, false},
    {"root_broken_after_its_info_leaves_no_extent", "d4:infod1:xi1eexe", "none", -1, -1, false},
    {"root_that_is_a_list_leaves_no_extent", "ld4:infodeee", "[{\"info\":{},\"_info_start\":8,\"_info_length\":2}]", -1,
     -1, false},
};
INSTANTIATE_TEST_SUITE_P(Extents, ExtentTable, testing::ValuesIn(ExtentRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Only the root's "info" value is measured; a nested one gets its entries alone.
TEST(InfoExtent, NestedDictionaryHasNoRealExtent)
{
    const std::string Document = "d1:ad4:infod1:xi1eeee";
    TMemoryStream Stream = TMemoryStream::View(Document);
    TInfoExtent Extent;
    auto Root = ReadValue(Stream, Extent);
    auto* Outer = dynamic_cast<TObjectHash*>(Root.get());
    ASSERT_NE(Outer, nullptr);
    auto* Inner = dynamic_cast<TObjectHash*>(Outer->Items("a"));
    ASSERT_NE(Inner, nullptr);
    EXPECT_EQ(Extent.Start, -1);
    EXPECT_FALSE(Extent.Complete);
    EXPECT_EQ(DescribeValue(Inner->Items("_info_start")), "11");
}

// ---------------------------------------------------------------------------
// Nesting

int DepthOf(const TObject* Value)
{
    int Depth = 0;
    while (Value != nullptr) {
        ++Depth;
        if (auto* List = dynamic_cast<const TObjectList*>(Value))
            Value = List->Count() > 0 ? (*List)[0] : nullptr;
        else if (auto* Dictionary = dynamic_cast<const TObjectHash*>(Value))
            Value = Dictionary->Count() > 0 ? Dictionary->Find(Dictionary->Keys()[0]) : nullptr;
        else
            Value = nullptr;
    }
    return Depth;
}

std::string NestedLists(size_t Depth, bool Closed = true)
{
    return std::string(Depth, 'l') + (Closed ? std::string(Depth, 'e') : "");
}

std::string NestedDictionaries(size_t Depth, bool Closed = true)
{
    // The innermost holds no entry: d1:a d1:a ... de ... e
    return Repeat("d1:a", Depth - 1) + "d" + (Closed ? std::string(Depth, 'e') : "");
}

struct TNestingRow {
    const char* Name;
    std::string Input;
    int Depth;  // depth of the decoded tree, 0 for none
};

void PrintTo(const TNestingRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class NestingTable : public testing::TestWithParam<TNestingRow> {};

TEST_P(NestingTable, DecodesUpToTheLimitAndNothingBeyond)
{
    const TNestingRow& Row = GetParam();
    auto Value = DecodeBytes(Row.Input);
    EXPECT_EQ(DepthOf(Value.get()), Row.Depth);
}

const TNestingRow NestingRows[] = {
    {"lists_1000", NestedLists(1000), 1000},
    {"lists_1001", NestedLists(1001), 0},
    {"lists_1000000", NestedLists(1000000), 0},
    {"lists_1000000_unclosed", NestedLists(1000000, false), 0},
    {"lists_1000_unclosed", NestedLists(1000, false), 1000},
    {"dictionaries_1000", NestedDictionaries(1000), 1000},
    {"dictionaries_1001", NestedDictionaries(1001), 0},
    {"dictionaries_1000000", NestedDictionaries(1000000), 0},
    {"lists_in_a_dictionary_1000", "d1:a" + NestedLists(999) + "e", 1000},
    {"lists_in_a_dictionary_1001", "d1:a" + NestedLists(1000) + "e", 0},
    {"too_deep_late_in_a_list_fails_the_whole", "l" + Repeat("i1e", 50) + NestedLists(1000) + "e", 0},
    {"too_deep_inside_info_fails_the_whole", "d8:announce3:abc4:info" + NestedDictionaries(1000) + "e", 0},
    {"deep_but_allowed_beside_shallow", "l" + NestedLists(999) + "i1ee", 1000},
    {"million_d_bytes_fail_as_a_bad_key", std::string(1000000, 'd'), 0},
};
INSTANTIATE_TEST_SUITE_P(Nesting, NestingTable, testing::ValuesIn(NestingRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// The readers called on their own count their own level as the first.
TEST(Nesting, EntryPointsCountFromTheirOwnLevel)
{
    const std::string Inner = NestedLists(999) + "e";  // after the first 'l'
    TMemoryStream Ok(Inner);
    auto List = ReadList(Ok);
    ASSERT_NE(List, nullptr);
    EXPECT_EQ(DepthOf(List.get()), 1000);

    TMemoryStream TooDeep(NestedLists(1000) + "e");
    EXPECT_EQ(ReadList(TooDeep), nullptr);

    TMemoryStream DeepDictionary(Repeat("1:ad", 1000) + std::string(1001, 'e'));
    EXPECT_EQ(ReadDictionary(DeepDictionary), nullptr);
}

// ---------------------------------------------------------------------------
// Bounds on memory

struct THugeRow {
    const char* Name;
    std::string Input;
    std::string Expected;
};

void PrintTo(const THugeRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class HugeLengthTable : public testing::TestWithParam<THugeRow> {};

TEST_P(HugeLengthTable, AllocatesNoMoreThanTheDocument)
{
    const THugeRow& Row = GetParam();
    // The decoded objects' pool takes its first chunk once per process; that fixed
    // cost is not what these rows measure.
    DecodeBytes("li1e4:spame");
    TAllocationWatch Watch;
    auto Value = DecodeBytes(Row.Input);
    EXPECT_EQ(DescribeValue(Value.get()), Row.Expected);
    EXPECT_LE(Watch.Largest(), 4096u);
}

const THugeRow HugeRows[] = {
    {"string_2147483647", "2147483647:spam", "\"spam\""},
    {"string_4294967295", "4294967295:spam", "\"\""},
    {"string_99999999999", "99999999999:spam", "\"spam\""},
    {"key_2147483647", "d2147483647:spam", "{}"},
    {"value_under_info_2147483647", "d4:info2147483647:spame",
     "{\"info\":\"spame\",\"_info_start\":7,\"_info_length\":16}"},
    {"list_of_huge_strings", "l2147483647:a", "[\"a\"]"},
    {"huge_integer", "i" + std::string(1000, '9') + "e", "-1"},
};
INSTANTIATE_TEST_SUITE_P(Bounds, HugeLengthTable, testing::ValuesIn(HugeRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A million empty strings cost their scalars, not a declared size each.
TEST(Bounds, ManyEmptyStrings)
{
    auto Value = DecodeBytes("l" + Repeat("0:", 1000000) + "e");
    auto* List = dynamic_cast<TObjectList*>(Value.get());
    ASSERT_NE(List, nullptr);
    EXPECT_EQ(List->Count(), 1000000u);
}

// A dictionary of many distinct keys keeps every one, in document order.
std::string NumberedKey(int I)
{
    std::string Key = "k";
    Key += std::to_string(I);
    return Key;
}

TEST(Bounds, ManyDistinctKeys)
{
    std::string Document = "d";
    for (int I = 0; I < 200000; ++I) {
        const std::string Key = NumberedKey(I);
        Document += std::to_string(Key.size());
        Document += ':';
        Document += Key;
        Document += 'i';
        Document += std::to_string(I);
        Document += 'e';
    }
    Document += "e";
    auto Value = DecodeBytes(Document);
    auto* Dictionary = dynamic_cast<TObjectHash*>(Value.get());
    ASSERT_NE(Dictionary, nullptr);
    ASSERT_EQ(Dictionary->Count(), 200000);
    const std::vector<std::string> Keys = Dictionary->Keys();
    for (int I = 0; I < 200000; I += 997) {
        EXPECT_EQ(Keys[static_cast<size_t>(I)], NumberedKey(I));
        EXPECT_EQ(DescribeValue(Dictionary->Items(NumberedKey(I))), std::to_string(I));
    }
}

// ---------------------------------------------------------------------------
// BytesToHex

struct THexRow {
    const char* Name;
    std::string Bytes;
    int MaxCount;
    std::string Expected;
};

void PrintTo(const THexRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class HexTable : public testing::TestWithParam<THexRow> {};

TEST_P(HexTable, LowercaseTwoDigitsPerByte)
{
    const THexRow& Row = GetParam();
    EXPECT_EQ(BytesToHex(Row.Bytes, Row.MaxCount), Row.Expected);
}

const THexRow HexRows[] = {
    {"every_nibble", "\x01\x23\x45\x67\x89\xAB\xCD\xEF"s, 999, "0123456789abcdef"},
    {"zero_and_ff", "\0\xFF"s, 999, "00ff"},
    {"max_count_cuts", "\xDE\xAD\xBE\xEF"s, 2, "dead"},
    {"max_count_zero", "\xDE\xAD"s, 0, ""},
    {"negative_max_count", "\xDE\xAD"s, -1, ""},
    {"empty", "", 999, ""},
};
INSTANTIATE_TEST_SUITE_P(Hex, HexTable, testing::ValuesIn(HexRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A 20-byte piece hash gives 40 digits.
TEST(Hex, PieceHashGivesFortyDigits)
{
    EXPECT_EQ(BytesToHex(std::string(20, '\x5A'), 999), Repeat("5a", 20));
}

}  // namespace
