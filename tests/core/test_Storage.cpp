// How the decoded tree is stored: the object pool, the two forms of the keyed
// table (keys and values inside the object, then grown arrays and an index) and
// the list's inline elements. Every test here crosses a boundary between two
// forms, where a slip would lose, duplicate or misplace an entry.

#include <gtest/gtest.h>

// GCC 12 at -O3 warns of overlapping copies inside "literal" + std::string
// (its bug 105329); there are none.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BDecode.h"
#include "Hashes.h"

namespace {

// Counts its own destruction.
class TCounted : public TObject {
public:
    TCounted(int& Destroyed, int Tag) : Tag(Tag), FDestroyed(Destroyed) {}
    ~TCounted() override { ++FDestroyed; }
    int Tag;

private:
    int& FDestroyed;
};

int TagOf(const TObject* Value)
{
    auto* Counted = dynamic_cast<const TCounted*>(Value);
    return Counted ? Counted->Tag : -1;
}

// Opens the protected value store.
class TProbeHash : public TObjectHash {
public:
    using THash::IndexOf;
    using TObjectHash::DeleteItem;
    using TObjectHash::ItemHigh;
    using TObjectHash::MoveItem;
    using TObjectHash::SetItemCount;
};

// Where FindKey must report a key: its bucket, and how many keys stored before it
// share that bucket.
void ExpectKeysInPlace(const TObjectHash& Table, const std::vector<std::string>& Keys)
{
    ASSERT_EQ(Table.Count(), static_cast<int32_t>(Keys.size()));
    EXPECT_EQ(Table.Keys(), Keys);
    std::map<uint32_t, int32_t> Fill;
    for (size_t I = 0; I < Keys.size(); ++I) {
        const uint32_t Bucket = THash::HashOf(Keys[I]) & THash::BucketMask;
        const THash::TFindResult Found = Table.FindKey(Keys[I]);
        EXPECT_TRUE(Found.Found) << Keys[I];
        EXPECT_EQ(Found.Bucket, Bucket) << Keys[I];
        EXPECT_EQ(Found.Position, Fill[Bucket]++) << Keys[I];
        EXPECT_EQ(TagOf(Table.Items(Keys[I])), static_cast<int>(I)) << Keys[I];
    }
}

// ---------------------------------------------------------------------------
// The keyed table across its forms

struct TKeysRow {
    const char* Name;
    std::vector<std::string> Keys;
};

void PrintTo(const TKeysRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class TableForms : public testing::TestWithParam<TKeysRow> {};

// Each row is stored, checked, every value replaced, checked again, then the
// table is cleared and filled once more: the second filling starts from the
// small form again.
TEST_P(TableForms, EveryKeyFoundReplacedAndClearedAtEachSize)
{
    const std::vector<std::string>& Keys = GetParam().Keys;
    int Destroyed = 0;
    TProbeHash Table;
    for (int Round = 0; Round < 2; ++Round) {
        for (size_t I = 0; I < Keys.size(); ++I) {
            Table.Put(Keys[I], std::make_unique<TCounted>(Destroyed, static_cast<int>(I)));
            ASSERT_TRUE(Table.Exists(Keys[I])) << Keys[I];
        }
        ExpectKeysInPlace(Table, Keys);
        EXPECT_EQ(Table.ItemHigh(), static_cast<int32_t>(Keys.size()) - 1);
        for (size_t I = 0; I < Keys.size(); ++I) {
            EXPECT_EQ(Table.IndexOf(Keys[I]), static_cast<int32_t>(I));
            EXPECT_FALSE(Table.Exists(Keys[I] + "?"));
        }

        const int Before = Destroyed;
        for (size_t I = 0; I < Keys.size(); ++I)
            Table.Put(Keys[I], std::make_unique<TCounted>(Destroyed, static_cast<int>(I)));
        EXPECT_EQ(Destroyed - Before, static_cast<int>(Keys.size()));
        ExpectKeysInPlace(Table, Keys);

        Table.Clear();
        EXPECT_EQ(Destroyed - Before, 2 * static_cast<int>(Keys.size()));
        EXPECT_EQ(Table.Count(), 0);
        for (const std::string& Key : Keys) EXPECT_FALSE(Table.Exists(Key));
        Destroyed = 0;
    }
}

std::vector<std::string> Numbered(const std::string& Prefix, size_t Count, const std::string& Suffix = "")
{
    std::vector<std::string> Keys;
    for (size_t I = 0; I < Count; ++I) Keys.push_back(Prefix + std::to_string(I) + Suffix);
    return Keys;
}

const TKeysRow KeysRows[] = {
    {"one_key", {"length"}},
    {"two_keys_in_place", {"length", "path"}},
    {"third_key_grows_the_table", {"length", "path", "md5sum"}},
    // Keys of 15 bytes fit in place, 16 and more live on the heap: both kinds must
    // survive the move to the grown form.
    {"fifteen_and_sixteen_bytes", {std::string(15, 'a'), std::string(16, 'b')}},
    {"long_keys_grow", {std::string(40, 'x'), "short", std::string(300, 'y'), std::string(16, 'z')}},
    {"keys_with_zero_bytes", {std::string("a\0b", 3), std::string("a\0c", 3), std::string(20, '\0')}},
    {"one_bucket", {"ab", "bR"}},  // equal HashOf
    {"linear_limit", Numbered("k", 8)},
    {"first_indexed", Numbered("k", 9)},
    {"long_keys_indexed", Numbered(std::string(30, 'q'), 40)},
    {"a_thousand", Numbered("key", 1000)},
};
INSTANTIATE_TEST_SUITE_P(Forms, TableForms, testing::ValuesIn(KeysRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A value store that a subclass resized stops matching the key order; the table
// must then follow the positions it is given.
TEST(ValueStore, PositionsHandedOutAfterSetItemCountAreKept)
{
    int Destroyed = 0;
    TProbeHash Table;
    Table.SetItemCount(5);
    EXPECT_EQ(Table.ItemHigh(), 4);
    Table.Put("a", std::make_unique<TCounted>(Destroyed, 1));
    Table.Put("b", std::make_unique<TCounted>(Destroyed, 2));
    EXPECT_EQ(Table.IndexOf("a"), 5);
    EXPECT_EQ(Table.IndexOf("b"), 6);
    EXPECT_EQ(TagOf(Table.Items("a")), 1);
    EXPECT_EQ(TagOf(Table.Items("b")), 2);
    EXPECT_EQ(Table.FindKey("a").Position, 0);
}

TEST(ValueStore, SetItemCountDestroysTheSlotsCutOff)
{
    int Destroyed = 0;
    TProbeHash Table;
    for (int I = 0; I < 6; ++I) Table.Put("k" + std::to_string(I), std::make_unique<TCounted>(Destroyed, I));
    Table.SetItemCount(2);
    EXPECT_EQ(Destroyed, 4);
    EXPECT_EQ(Table.ItemHigh(), 1);
    EXPECT_EQ(TagOf(Table.Items("k1")), 1);
    // The keys stay; their values are gone.
    EXPECT_TRUE(Table.Exists("k5"));
    EXPECT_EQ(Table.Items("k5"), nullptr);
    // Storing under such a key again gives it a slot back.
    Table.Put("k5", std::make_unique<TCounted>(Destroyed, 50));
    EXPECT_EQ(TagOf(Table.Items("k5")), 50);
    EXPECT_EQ(Table.ItemHigh(), 5);
    Table.SetItemCount(0);
    EXPECT_EQ(Destroyed, 7);
}

TEST(ValueStore, MoveAndDeleteItem)
{
    int Destroyed = 0;
    TProbeHash Table;
    for (int I = 0; I < 3; ++I) Table.Put("k" + std::to_string(I), std::make_unique<TCounted>(Destroyed, I));
    Table.MoveItem(2, 0);  // the object at 0 goes, the one at 2 takes its place
    EXPECT_EQ(Destroyed, 1);
    EXPECT_EQ(TagOf(Table.Items("k0")), 2);
    EXPECT_EQ(Table.Items("k2"), nullptr);
    Table.MoveItem(1, 1);
    EXPECT_EQ(TagOf(Table.Items("k1")), 1);
    Table.DeleteItem(1);
    EXPECT_EQ(Destroyed, 2);
    EXPECT_EQ(Table.Items("k1"), nullptr);
    EXPECT_THROW(Table.DeleteItem(3), std::out_of_range);
    EXPECT_THROW(Table.MoveItem(-1, 0), std::out_of_range);
}

// ---------------------------------------------------------------------------
// List elements across their forms

class ListForms : public testing::TestWithParam<size_t> {};

TEST_P(ListForms, ElementsKeepTheirOrderThroughGrowingAndShrinking)
{
    const size_t Count = GetParam();
    int Destroyed = 0;
    {
        TObjectList List;
        for (size_t I = 0; I < Count; ++I) List.Add(std::make_unique<TCounted>(Destroyed, static_cast<int>(I)));
        ASSERT_EQ(List.Count(), Count);
        List.Items.shrink_to_fit();
        ASSERT_EQ(List.Count(), Count);
        EXPECT_GE(List.Items.capacity(), Count);
        int Expected = 0;
        for (const auto& Item : List.Items) EXPECT_EQ(TagOf(Item.get()), Expected++);
        for (size_t I = 0; I < Count; ++I) EXPECT_EQ(TagOf(List[I]), static_cast<int>(I));
        if (Count > 0) {
            EXPECT_EQ(TagOf(List.Items.back().get()), static_cast<int>(Count) - 1);
        }
        // Growing again after a shrink.
        List.Add(std::make_unique<TCounted>(Destroyed, -5));
        EXPECT_EQ(TagOf(List[Count]), -5);
        EXPECT_EQ(Destroyed, 0);
    }
    EXPECT_EQ(Destroyed, static_cast<int>(Count) + 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ListForms, testing::Values(0, 1, 2, 3, 4, 8, 9, 100, 5000));

TEST(ListItems, ClearDestroysEveryElementAndTheListCanRefill)
{
    int Destroyed = 0;
    TObjectList List;
    for (int I = 0; I < 20; ++I) List.Add(std::make_unique<TCounted>(Destroyed, I));
    List.Items.clear();
    EXPECT_EQ(Destroyed, 20);
    EXPECT_TRUE(List.Items.empty());
    List.Add(std::make_unique<TCounted>(Destroyed, 7));
    EXPECT_EQ(TagOf(List[0]), 7);
}

TEST(ListItems, ReserveKeepsTheElements)
{
    int Destroyed = 0;
    TObjectList List;
    List.Add(std::make_unique<TCounted>(Destroyed, 1));
    List.Items.reserve(1000);
    EXPECT_GE(List.Items.capacity(), 1000u);
    EXPECT_EQ(TagOf(List[0]), 1);
}

// ---------------------------------------------------------------------------
// The object pool

// An object of N bytes of payload that checks its own bytes when destroyed.
template <size_t N> class TSized : public TObject {
public:
    explicit TSized(uint8_t Seed, int& Broken) : FSeed(Seed), FBroken(Broken)
    {
        for (size_t I = 0; I < N; ++I) FBytes[I] = static_cast<uint8_t>(Seed + I);
    }
    ~TSized() override
    {
        for (size_t I = 0; I < N; ++I)
            if (FBytes[I] != static_cast<uint8_t>(FSeed + I)) ++FBroken;
    }

private:
    uint8_t FSeed;
    int& FBroken;
    uint8_t FBytes[N];
};

std::unique_ptr<TObject> MakeSized(size_t Kind, uint8_t Seed, int& Broken)
{
    switch (Kind % 7) {
    case 0: return std::make_unique<TSized<1>>(Seed, Broken);
    case 1: return std::make_unique<TSized<7>>(Seed, Broken);
    case 2: return std::make_unique<TSized<24>>(Seed, Broken);
    case 3: return std::make_unique<TSized<61>>(Seed, Broken);
    case 4: return std::make_unique<TSized<200>>(Seed, Broken);
    case 5: return std::make_unique<TSized<250>>(Seed, Broken);  // past the pooled sizes
    default: return std::make_unique<TSized<4000>>(Seed, Broken);
    }
}

// Objects of many sizes made and destroyed in random order never share bytes,
// also across the pool emptying and starting again.
TEST(Pool, ObjectsOfEverySizeKeepTheirBytes)
{
    int Broken = 0;
    std::mt19937 Random(3);
    for (int Round = 0; Round < 3; ++Round) {
        std::vector<std::unique_ptr<TObject>> Live;
        for (int Step = 0; Step < 50000; ++Step) {
            if (!Live.empty() && Random() % 3 == 0) {
                std::swap(Live[Random() % Live.size()], Live.back());
                Live.pop_back();
            } else {
                Live.push_back(MakeSized(Random(), static_cast<uint8_t>(Random()), Broken));
            }
        }
    }
    EXPECT_EQ(Broken, 0);
}

struct alignas(64) TWide {
    uint8_t Bytes[64];
};
class TOverAligned : public TObject {
public:
    TWide Wide{};
};

TEST(Pool, OverAlignedObjectsAreAligned)
{
    std::vector<std::unique_ptr<TOverAligned>> Objects;
    for (int I = 0; I < 100; ++I) {
        Objects.push_back(std::make_unique<TOverAligned>());
        EXPECT_EQ(reinterpret_cast<uintptr_t>(Objects.back().get()) % 64, 0u);
    }
}

// Two threads that make and destroy objects at once: the pool is shared.
TEST(Pool, TwoThreadsAtOnce)
{
    int Broken[2] = {0, 0};
    auto Work = [&](int Which) {
        std::mt19937 Random(static_cast<unsigned>(Which) + 10);
        std::vector<std::unique_ptr<TObject>> Live;
        for (int Step = 0; Step < 100000; ++Step) {
            if (Live.size() > 500 || (!Live.empty() && Random() % 2 == 0))
                Live.pop_back();
            else
                Live.push_back(MakeSized(Random() % 5, static_cast<uint8_t>(Random()), Broken[Which]));
        }
    };
    std::thread Other(Work, 1);
    Work(0);
    Other.join();
    EXPECT_EQ(Broken[0] + Broken[1], 0);
}

// An object that outlives a table it was taken from is still whole: the pool
// gives memory back only when no object is left.
TEST(Pool, AnObjectOutlivesTheTreeAroundIt)
{
    int Destroyed = 0;
    std::unique_ptr<TObject> Kept = std::make_unique<TCounted>(Destroyed, 42);
    {
        auto Tree = std::make_unique<TObjectHash>();
        for (int I = 0; I < 100000; ++I) Tree->Put("k" + std::to_string(I), std::make_unique<TCounted>(Destroyed, I));
    }
    EXPECT_EQ(Destroyed, 100000);
    EXPECT_EQ(TagOf(Kept.get()), 42);
}

}  // namespace
