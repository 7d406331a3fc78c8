// The keyed hash table: HashOf, the bucket it reports, ownership of the values,
// and lookups that stay right as the table grows past its small form.

#include <gtest/gtest.h>

// GCC 12 at -O3 warns of overlapping copies inside "literal" + std::string
// (its bug 105329); there are none.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

#include <map>
#include <string>
#include <vector>

#include "Hashes.h"
#include "TestSupport.h"

using namespace std::string_literals;

namespace {

// A value that counts its own destruction.
class TCounted : public TObject {
public:
    TCounted(int& Destroyed, int Tag = 0) : Tag(Tag), FDestroyed(Destroyed) {}
    ~TCounted() override { ++FDestroyed; }
    int Tag;

private:
    int& FDestroyed;
};

// Opens the protected value-store operations for the checks below.
class TProbeHash : public TObjectHash {
public:
    using THash::IndexOf;
    using TObjectHash::ItemHigh;
};

int TagOf(const TObject* Value)
{
    auto* Counted = dynamic_cast<const TCounted*>(Value);
    return Counted ? Counted->Tag : -1;
}

// Expected values computed independently (a few lines of Python over the same
// definition: h = 0x12345670; h = (h << 4) + b; h |= (h & 0xF0000000) >> 24).
struct THashOfRow {
    const char* Name;
    std::string Key;
    uint32_t Hash;
};

void PrintTo(const THashOfRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class HashOfTable : public testing::TestWithParam<THashOfRow> {};

TEST_P(HashOfTable, FoldsWithOrFromTheSeed)
{
    const THashOfRow& Row = GetParam();
    EXPECT_EQ(THash::HashOf(Row.Key), Row.Hash);
}

const THashOfRow HashOfRows[] = {
    {"abc", "abc", 0x456767C3u},
    {"info", "info", 0x567704DFu},
    {"Info_folds_to_the_same_value", "Info", 0x567704DFu},
    {"one_byte", "a", 0x23456761u},
    {"high_byte_is_unsigned", "\xFF", 0x234567FFu},
    {"zero_byte", "\0"s, 0x23456720u},
    {"announce", "announce", 0x85670695u},
    {"pieces_keeps_its_top_bits", "pieces", 0x777FFFF3u},
    {"_info_start", "_info_start", 0xF8EAADF4u},
};
INSTANTIATE_TEST_SUITE_P(HashOf, HashOfTable, testing::ValuesIn(HashOfRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(HashOf, BucketsOfTheExamples)
{
    TObjectHash Table;
    EXPECT_EQ(Table.FindKey("abc").Bucket, 67u);
    EXPECT_EQ(Table.FindKey("info").Bucket, 95u);
    EXPECT_FALSE(Table.FindKey("abc").Found);
}

// ---------------------------------------------------------------------------
// The empty key

TEST(EmptyKey, EveryOperationRaisesAndLeavesTheTable)
{
    int Destroyed = 0;
    TObjectHash Table;
    Table.Put("a", std::make_unique<TCounted>(Destroyed));
    auto ExpectInvalid = [](auto&& Call) {
        try {
            Call();
            ADD_FAILURE() << "no exception";
        } catch (const EHashInvalidKeyError& E) {
            EXPECT_STREQ(E.what(), "Key cannot be an empty string");
        }
    };
    ExpectInvalid([&] { (void)THash::HashOf(""); });
    ExpectInvalid([&] { (void)Table.Exists(""); });
    ExpectInvalid([&] { (void)Table.Items(""); });
    ExpectInvalid([&] { (void)Table.Find(""); });
    ExpectInvalid([&] { (void)Table.FindKey(""); });
    int Rejected = 0;
    ExpectInvalid([&] { Table.Put("", std::make_unique<TCounted>(Rejected)); });
    EXPECT_EQ(Rejected, 1);  // the value handed over is not leaked
    EXPECT_EQ(Table.Count(), 1);
    EXPECT_EQ(Destroyed, 0);
}

TEST(EmptyKey, IsAnEHashError)
{
    EXPECT_THROW((void)THash::HashOf(""), EHashError);
    EXPECT_THROW((void)THash::HashOf(""), Exception);
}

// ---------------------------------------------------------------------------
// Storing and reading

TEST(Items, MissingKeyRaisesWithItsName)
{
    TObjectHash Table;
    try {
        (void)Table.Items("nope");
        ADD_FAILURE() << "no exception";
    } catch (const EHashFindError& E) {
        EXPECT_STREQ(E.what(), "Key \"nope\" not found");
    }
    EXPECT_EQ(Table.Find("nope"), nullptr);
    EXPECT_FALSE(Table.Exists("nope"));
}

TEST(Put, ReplacingDestroysTheOldValueAndKeepsThePosition)
{
    int Destroyed = 0;
    TProbeHash Table;
    Table.Put("a", std::make_unique<TCounted>(Destroyed, 1));
    Table.Put("b", std::make_unique<TCounted>(Destroyed, 2));
    Table.Put("a", std::make_unique<TCounted>(Destroyed, 3));
    EXPECT_EQ(Destroyed, 1);
    EXPECT_EQ(Table.Count(), 2);
    EXPECT_EQ(Table.IndexOf("a"), 0);
    EXPECT_EQ(Table.IndexOf("b"), 1);
    EXPECT_EQ(Table.ItemHigh(), 1);
    EXPECT_EQ(TagOf(Table.Items("a")), 3);
    EXPECT_EQ(Table.Keys(), (std::vector<std::string>{"a", "b"}));
}

TEST(Put, StoringTheHeldObjectAgainKeepsIt)
{
    int Destroyed = 0;
    TObjectHash Table;
    auto Value = std::make_unique<TCounted>(Destroyed, 7);
    TCounted* Held = Value.get();
    Table.Put("a", std::move(Value));
    Table.Put("a", std::unique_ptr<TObject>(Held));
    EXPECT_EQ(Destroyed, 0);
    EXPECT_EQ(TagOf(Table.Items("a")), 7);
}

TEST(Put, CaseMattersInfoAndInfoAreTwoKeysWithOneHash)
{
    int Destroyed = 0;
    TObjectHash Table;
    Table.Put("Info", std::make_unique<TCounted>(Destroyed, 1));
    Table.Put("info", std::make_unique<TCounted>(Destroyed, 2));
    EXPECT_EQ(Table.Count(), 2);
    EXPECT_EQ(TagOf(Table.Items("Info")), 1);
    EXPECT_EQ(TagOf(Table.Items("info")), 2);
    EXPECT_EQ(Table.FindKey("Info").Position, 0);
    EXPECT_EQ(Table.FindKey("info").Position, 1);
    EXPECT_FALSE(Table.Exists("INFO"));
}

TEST(Put, KeysMayHoldAnyByte)
{
    int Destroyed = 0;
    TObjectHash Table;
    Table.Put("a\0b"s, std::make_unique<TCounted>(Destroyed, 1));
    Table.Put("a", std::make_unique<TCounted>(Destroyed, 2));
    EXPECT_EQ(TagOf(Table.Items("a\0b"s)), 1);
    EXPECT_FALSE(Table.Exists("a\0c"s));
}

TEST(Clear, ForgetsKeysDestroysValuesAndStartsPositionsAgain)
{
    int Destroyed = 0;
    TProbeHash Table;
    for (int I = 0; I < 20; ++I) Table.Put("k" + std::to_string(I), std::make_unique<TCounted>(Destroyed));
    Table.Clear();
    EXPECT_EQ(Destroyed, 20);
    EXPECT_EQ(Table.Count(), 0);
    EXPECT_EQ(Table.ItemHigh(), -1);
    for (int I = 0; I < 20; ++I) EXPECT_FALSE(Table.Exists("k" + std::to_string(I)));
    Table.Put("new", std::make_unique<TCounted>(Destroyed));
    EXPECT_EQ(Table.IndexOf("new"), 0);
    EXPECT_EQ(Table.FindKey("new").Position, 0);
}

TEST(Destructor, DestroysEveryValue)
{
    int Destroyed = 0;
    {
        TObjectHash Table;
        for (int I = 0; I < 100; ++I) Table.Put("k" + std::to_string(I), std::make_unique<TCounted>(Destroyed));
    }
    EXPECT_EQ(Destroyed, 100);
}

// ---------------------------------------------------------------------------
// Buckets, and a table far bigger than its small form

// Where a key should be reported: its bucket and how many keys stored before it
// share that bucket.
struct TPlace {
    uint32_t Bucket;
    int32_t Position;
};

std::vector<TPlace> ExpectedPlaces(const std::vector<std::string>& Keys)
{
    std::map<uint32_t, int32_t> Fill;
    std::vector<TPlace> Places;
    for (const std::string& Key : Keys) {
        const uint32_t Bucket = THash::HashOf(Key) & 127u;
        Places.push_back({Bucket, Fill[Bucket]++});
    }
    return Places;
}

void ExpectEveryKeyInPlace(const TObjectHash& Table, const std::vector<std::string>& Keys)
{
    const std::vector<TPlace> Places = ExpectedPlaces(Keys);
    ASSERT_EQ(Table.Count(), static_cast<int32_t>(Keys.size()));
    EXPECT_EQ(Table.Keys(), Keys);
    for (size_t I = 0; I < Keys.size(); ++I) {
        const THash::TFindResult Found = Table.FindKey(Keys[I]);
        ASSERT_TRUE(Found.Found) << Keys[I];
        EXPECT_EQ(Found.Bucket, Places[I].Bucket) << Keys[I];
        EXPECT_EQ(Found.Position, Places[I].Position) << Keys[I];
        EXPECT_EQ(TagOf(Table.Items(Keys[I])), static_cast<int>(I)) << Keys[I];
    }
}

struct TGrowthRow {
    const char* Name;
    size_t Count;
    std::string Prefix;
    std::string Suffix;
};

void PrintTo(const TGrowthRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class GrowthTable : public testing::TestWithParam<TGrowthRow> {};

TEST_P(GrowthTable, EveryKeyFoundInItsBucketInInsertionOrder)
{
    const TGrowthRow& Row = GetParam();
    int Destroyed = 0;
    std::vector<std::string> Keys;
    TObjectHash Table;
    for (size_t I = 0; I < Row.Count; ++I) {
        Keys.push_back(Row.Prefix + std::to_string(I) + Row.Suffix);
        Table.Put(Keys.back(), std::make_unique<TCounted>(Destroyed, static_cast<int>(I)));
    }
    ExpectEveryKeyInPlace(Table, Keys);
    for (size_t I = 0; I < Row.Count; ++I)
        EXPECT_FALSE(Table.Exists(Row.Prefix + std::to_string(I) + "x" + Row.Suffix));

    // Replacing every value keeps every place.
    for (size_t I = 0; I < Row.Count; ++I)
        Table.Put(Keys[I], std::make_unique<TCounted>(Destroyed, static_cast<int>(I)));
    EXPECT_EQ(Destroyed, static_cast<int>(Row.Count));
    ExpectEveryKeyInPlace(Table, Keys);
}

const TGrowthRow GrowthRows[] = {
    {"small_form", 8, "k", ""},
    {"just_past_the_small_form", 9, "k", ""},
    {"a_few_hundred", 300, "key", ""},
    {"hundred_thousand", 100000, "k", ""},
    // Keys that share their last eight bytes share their HashOf: a long bucket.
    {"hundred_thousand_sharing_a_tail", 100000, "", "zzzzzzzz"},
};
INSTANTIATE_TEST_SUITE_P(Growth, GrowthTable, testing::ValuesIn(GrowthRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// The tail really does collide, so the last row is a long bucket.
TEST(Growth, SharedTailsMakeFewDistinctHashes)
{
    std::map<uint32_t, int> Distinct;
    for (int I = 0; I < 100000; ++I) ++Distinct[THash::HashOf(std::to_string(I) + "zzzzzzzz")];
    EXPECT_LT(Distinct.size(), 1000u);
}

// Keys with one full hash in a single bucket: each is found, in storing order.
TEST(Growth, CollidingKeysAreEachFound)
{
    ASSERT_EQ(THash::HashOf("ab"), THash::HashOf("bR"));
    int Destroyed = 0;
    TObjectHash Table;
    Table.Put("bR", std::make_unique<TCounted>(Destroyed, 1));
    Table.Put("ab", std::make_unique<TCounted>(Destroyed, 2));
    EXPECT_EQ(TagOf(Table.Items("ab")), 2);
    EXPECT_EQ(TagOf(Table.Items("bR")), 1);
    EXPECT_EQ(Table.FindKey("bR").Position, 0);
    EXPECT_EQ(Table.FindKey("ab").Position, 1);
}

TEST(Growth, ClearAfterGrowingStartsSmallAgain)
{
    int Destroyed = 0;
    TProbeHash Table;
    for (int I = 0; I < 1000; ++I) Table.Put("k" + std::to_string(I), std::make_unique<TCounted>(Destroyed, I));
    Table.Clear();
    EXPECT_EQ(Destroyed, 1000);
    std::vector<std::string> Keys;
    for (int I = 0; I < 50; ++I) {
        Keys.push_back("n" + std::to_string(I));
        Table.Put(Keys.back(), std::make_unique<TCounted>(Destroyed, I));
    }
    ExpectEveryKeyInPlace(Table, Keys);
    EXPECT_FALSE(Table.Exists("k5"));
}

}  // namespace
