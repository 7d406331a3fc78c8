#include "Hashes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "KeyIndex.h"

// How the table finds a key.
//
// What a caller can observe is the table of 128 buckets: FindKey reports the
// bucket HashOf(key) & BucketMask and the key's position in that bucket, and a
// bucket keeps its keys in first-insertion order. Because a key is stored at most
// once, "the first record of the bucket whose key equals" is simply the one record
// with that key, so any index that finds it gives the same answers.
//
// HashOf itself is too weak to index a big table by: every byte shifts the value
// four bits to the left, so only the last eight or so bytes of a key count, and a
// document can hold a million keys that share their tail and so their hash. Past
// LinearLimit keys the table therefore keeps an index keyed by SipHash-1-3 under
// a key drawn once per process, which a document cannot aim at (TKeyIndex in
// KeyIndex.h); the index doubles as the table fills. Small tables, the great
// majority (a torrent of 100,000 files has 100,000 of them), have no index at all
// and are scanned, comparing the stored HashOf before the key.

struct THash::TIndex {
    TKeyIndex Keys;
    std::vector<int32_t> Positions;           // per record, its position within its bucket
    std::array<int32_t, BucketCount> Fill{};  // records per bucket
};

namespace {

constexpr unsigned char LongKey = 0xFF;

}  // namespace

// ---------------------------------------------------------------------------
// THash
//
// Storage. A table of at most InlineKeys keys, each value at its key's position
// (ItemIndex equal to the record number, as TObjectHash hands them out), keeps
// the keys inside the object: a file entry of a torrent, "length" and "path",
// costs its table object and nothing else. Anything else moves the table to the
// grown form: an array of TRecord with the stored HashOf and ItemIndex, and past
// LinearLimit keys the index. A table never goes back to the small form before
// Clear.

THash::THash() {}

THash::~THash()
{
    FreeStorage();
}

uint32_t THash::HashOf(std::string_view Key)
{
    if (Key.empty()) throw EHashInvalidKeyError("Key cannot be an empty string");
    uint32_t H = 0x12345670;
    for (unsigned char B : Key) {
        H = (H << 4) + B;
        uint32_t G = H & 0xF0000000u;
        if (G != 0) H |= G >> 24;
    }
    return H;
}

namespace {

inline bool IsLong(const char* Short)
{
    return static_cast<unsigned char>(Short[15]) == LongKey;
}

}  // namespace

std::string_view THash::KeyAt(uint32_t Record) const
{
    const TKeyText& Key = Grown() ? FGrown.Records[Record].Key : FInline[Record];
    if (IsLong(Key.Short)) return std::string_view(Key.Long.Data, Key.Long.Length);
    return std::string_view(Key.Short, static_cast<unsigned char>(Key.Short[15]));
}

uint32_t THash::HashAt(uint32_t Record) const
{
    return Grown() ? FGrown.Records[Record].Hash : HashOf(KeyAt(Record));
}

int32_t THash::ItemIndexAt(uint32_t Record) const
{
    return Grown() ? FGrown.Records[Record].ItemIndex : static_cast<int32_t>(Record);
}

int32_t THash::FindRecord(std::string_view Key, uint32_t Hash) const
{
    if (!Grown()) {
        // At most InlineKeys short keys: compare lengths, then bytes.
        if (Key.size() > 15) {
            for (uint32_t I = 0; I < FCount; ++I)
                if (KeyAt(I) == Key) return static_cast<int32_t>(I);
            return -1;
        }
        for (uint32_t I = 0; I < FCount; ++I) {
            const TKeyText& K = FInline[I];
            if (static_cast<unsigned char>(K.Short[15]) == Key.size() &&
                std::memcmp(K.Short, Key.data(), Key.size()) == 0)
                return static_cast<int32_t>(I);
        }
        return -1;
    }
    const TRecord* Records = FGrown.Records;
    if (!FGrown.Index) {
        for (uint32_t I = 0; I < FCount; ++I)
            if (Records[I].Hash == Hash && KeyAt(I) == Key) return static_cast<int32_t>(I);
        return -1;
    }
    return FGrown.Index->Keys.Find(TKeyIndex::HashOf(Key), [&](int32_t Record) {
        return Records[Record].Hash == Hash && KeyAt(static_cast<uint32_t>(Record)) == Key;
    });
}

THash::TFindResult THash::FindKey(std::string_view Key) const
{
    const uint32_t Hash = HashOf(Key);
    TFindResult Result;
    Result.Bucket = Hash & BucketMask;
    const int32_t Record = FindRecord(Key, Hash);
    if (Record < 0) return Result;
    Result.Found = true;
    if (Grown() && FGrown.Index) {
        Result.Position = FGrown.Index->Positions[static_cast<size_t>(Record)];
    } else {
        Result.Position = 0;
        for (uint32_t I = 0; I < static_cast<uint32_t>(Record); ++I)
            if ((HashAt(I) & BucketMask) == Result.Bucket) ++Result.Position;
    }
    return Result;
}

int32_t THash::Locate(std::string_view Key) const
{
    // The small form compares keys without their hash; the empty key must still
    // fail as HashOf fails it.
    if (!Grown()) {
        if (Key.empty()) (void)HashOf(Key);
        return FindRecord(Key, 0);
    }
    return FindRecord(Key, HashOf(Key));
}

bool THash::Exists(std::string_view Key) const
{
    return Locate(Key) >= 0;
}

int32_t THash::IndexOf(std::string_view Key) const
{
    const int32_t Record = Locate(Key);
    return Record < 0 ? -1 : ItemIndexAt(static_cast<uint32_t>(Record));
}

int32_t THash::Count() const
{
    return static_cast<int32_t>(FCount);
}

std::vector<std::string> THash::Keys() const
{
    std::vector<std::string> Result;
    Result.reserve(FCount);
    for (uint32_t I = 0; I < FCount; ++I) Result.emplace_back(KeyAt(I));
    return Result;
}

void THash::FreeStorage() noexcept
{
    for (uint32_t I = 0; I < FCount; ++I) {
        const TKeyText& Key = Grown() ? FGrown.Records[I].Key : FInline[I];
        if (IsLong(Key.Short)) delete[] Key.Long.Data;
    }
    if (Grown()) {
        delete FGrown.Index;
        ::operator delete(FGrown.Records);
    }
    FCount = 0;
    FCapacity = InlineKeys;
}

void THash::Clear()
{
    ClearItems();
    FreeStorage();
}

void THash::Reserve(uint32_t Count)
{
    if (Grown() && Count <= FCapacity) return;
    // The first array is small, for the few tables that outgrow the small form
    // by a key or two; after that the array doubles.
    const uint32_t Capacity = Grown() ? std::max(Count, 2 * FCapacity) : std::max<uint32_t>(Count, 4);
    auto* Records = static_cast<TRecord*>(::operator new(sizeof(TRecord) * Capacity));
    if (Grown()) {
        std::memcpy(static_cast<void*>(Records), FGrown.Records, sizeof(TRecord) * FCount);
        ::operator delete(FGrown.Records);
        FGrown.Records = Records;
    } else {
        // The keys move over as they are: a long key's heap bytes change owner.
        for (uint32_t I = 0; I < FCount; ++I) {
            Records[I].Key = FInline[I];
            Records[I].Hash = HashOf(KeyAt(I));  // still read from the small form
            Records[I].ItemIndex = static_cast<int32_t>(I);
        }
        FGrown.Records = Records;
        FGrown.Index = nullptr;
    }
    FCapacity = Capacity;
}

void THash::ReserveIndex(size_t Count)
{
    TIndex* Index = FGrown.Index;
    if (!Index && Count <= static_cast<size_t>(LinearLimit)) return;

    if (!Index) {
        auto Fresh = std::make_unique<TIndex>();
        Fresh->Keys.Reserve(Count);
        Fresh->Positions.reserve(std::max<size_t>(Count, 2 * FCount));
        for (uint32_t I = 0; I < FCount; ++I) {
            const TRecord& R = FGrown.Records[I];
            Fresh->Positions.push_back(Fresh->Fill[R.Hash & BucketMask]++);
            Fresh->Keys.Insert(static_cast<int32_t>(I), TKeyIndex::HashOf(KeyAt(I)));
        }
        FGrown.Index = Fresh.release();
        Index = FGrown.Index;
    } else {
        Index->Keys.Reserve(Count);
    }
    std::vector<int32_t>& Positions = Index->Positions;
    if (Positions.capacity() < Count) Positions.reserve(std::max(Count, 2 * Positions.capacity()));
}

void THash::AddKey(std::string_view Key, int32_t ItemIndex)
{
    if (!Grown() && FCount < InlineKeys && ItemIndex == static_cast<int32_t>(FCount) && !Key.empty() &&
        Key.size() <= 15) {
        // The small form keeps no hash.
        TKeyText& Text = FInline[FCount++];
        std::memcpy(Text.Short, Key.data(), Key.size());
        Text.Short[15] = static_cast<char>(Key.size());
        return;
    }
    AddKey(Key, HashOf(Key), ItemIndex);
}

void THash::AddKey(std::string_view Key, uint32_t Hash, int32_t ItemIndex)
{
    if (FCount >= static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) throw EHashError("Hash table is full");

    // The key's bytes first: everything after this point that can throw leaves
    // the table as it was, and then frees them.
    TKeyText Text;
    if (Key.size() <= 15) {
        std::memcpy(Text.Short, Key.data(), Key.size());
        Text.Short[15] = static_cast<char>(Key.size());
    } else {
        if (Key.size() > std::numeric_limits<uint32_t>::max()) throw EHashError("Key is too long");
        Text.Long.Data = new char[Key.size()];
        std::memcpy(Text.Long.Data, Key.data(), Key.size());
        Text.Long.Length = static_cast<uint32_t>(Key.size());
        Text.Short[15] = static_cast<char>(LongKey);
    }

    if (!Grown() && FCount < InlineKeys && ItemIndex == static_cast<int32_t>(FCount)) {
        FInline[FCount++] = Text;
        return;
    }
    try {
        Reserve(FCount + 1);
        ReserveIndex(FCount + 1);
    } catch (...) {
        if (IsLong(Text.Short)) delete[] Text.Long.Data;
        throw;
    }
    // Nothing below allocates: the two calls above made room.
    const uint32_t Record = FCount++;
    FGrown.Records[Record] = TRecord{Text, Hash, ItemIndex};
    if (TIndex* Index = FGrown.Index) {
        Index->Positions.push_back(Index->Fill[Hash & BucketMask]++);
        Index->Keys.Insert(static_cast<int32_t>(Record), TKeyIndex::HashOf(Key));
    }
}

// ---------------------------------------------------------------------------
// TObjectHash

TObjectHash::TObjectHash() {}

TObjectHash::~TObjectHash()
{
    // The values first, while the keys that name them still stand; the base class
    // frees the keys.
    ClearItems();
}

size_t TObjectHash::ValueCapacity(size_t Count)
{
    return Count <= InlineValues ? InlineValues : std::bit_ceil(std::max<size_t>(Count, 4));
}

TObject* TObjectHash::ValueAt(int32_t Index) const
{
    if (Index < 0 || static_cast<uint32_t>(Index) >= FValueCount) return nullptr;
    return ValueData()[Index];
}

void TObjectHash::ResizeValues(size_t Count)
{
    if (Count > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw EHashError("Hash table is full");
    const bool WasOnHeap = FValueCount > InlineValues;
    const bool ToHeap = Count > InlineValues;
    if (ToHeap && (!WasOnHeap || ValueCapacity(Count) > ValueCapacity(FValueCount))) {
        // An array that shrank keeps its room, so its true capacity may exceed
        // ValueCapacity(FValueCount); growing copies it anyway, which is rare.
        auto** To = new TObject*[ValueCapacity(Count)];
        TObject* const* From = ValueData();
        std::copy(From, From + FValueCount, To);
        if (WasOnHeap) delete[] FValues;
        FValues = To;
    } else if (!ToHeap && WasOnHeap) {
        TObject** From = FValues;
        std::copy(From, From + Count, FInlineValues);
        delete[] From;
    }
    TObject** Data = ToHeap ? FValues : FInlineValues;
    for (size_t I = FValueCount; I < Count; ++I) Data[I] = nullptr;
    FValueCount = static_cast<uint32_t>(Count);
}

TObject* TObjectHash::Items(std::string_view Key) const
{
    const int32_t Index = IndexOf(Key);
    if (Index < 0) throw EHashFindError("Key \"" + std::string(Key) + "\" not found");
    return ValueAt(Index);
}

TObject* TObjectHash::Find(std::string_view Key) const
{
    return ValueAt(IndexOf(Key));
}

void TObjectHash::Put(std::string_view Key, std::unique_ptr<TObject> Value)
{
    const int32_t Index = IndexOf(Key);
    if (Index >= 0) {
        const auto Slot = static_cast<uint32_t>(Index);
        if (Slot >= FValueCount) ResizeValues(Slot + size_t{1});
        TObject*& Held = ValueData()[Slot];
        // Storing the object already held there again must not destroy it.
        if (Held == Value.get()) {
            (void)Value.release();
            return;
        }
        TObject* Old = Held;
        Held = Value.release();
        delete Old;
        return;
    }
    const int32_t NewIndex = ItemHigh() + 1;
    ResizeValues(static_cast<size_t>(NewIndex) + 1);
    try {
        AddKey(Key, NewIndex);
    } catch (...) {
        ResizeValues(static_cast<size_t>(NewIndex));
        throw;
    }
    ValueData()[NewIndex] = Value.release();
}

void TObjectHash::DeleteItem(int32_t Position)
{
    if (Position < 0 || static_cast<uint32_t>(Position) >= FValueCount)
        throw std::out_of_range("TObjectHash::DeleteItem");
    TObject*& Held = ValueData()[Position];
    delete std::exchange(Held, nullptr);
}

void TObjectHash::MoveItem(int32_t From, int32_t To)
{
    if (From < 0 || To < 0 || static_cast<uint32_t>(From) >= FValueCount || static_cast<uint32_t>(To) >= FValueCount)
        throw std::out_of_range("TObjectHash::MoveItem");
    // Each object has one owner, so the reference moves rather than being copied.
    if (From == To) return;
    TObject** Data = ValueData();
    TObject* Old = Data[To];
    Data[To] = std::exchange(Data[From], nullptr);
    delete Old;
}

void TObjectHash::SetItemCount(int32_t Count)
{
    const size_t Wanted = static_cast<size_t>(std::max<int32_t>(Count, 0));
    TObject** Data = ValueData();
    for (size_t I = Wanted; I < FValueCount; ++I) delete std::exchange(Data[I], nullptr);
    ResizeValues(Wanted);
}

void TObjectHash::ClearItems()
{
    TObject** Data = ValueData();
    for (uint32_t I = 0; I < FValueCount; ++I) delete std::exchange(Data[I], nullptr);
    ResizeValues(0);
}

int32_t TObjectHash::ItemHigh() const
{
    return static_cast<int32_t>(FValueCount) - 1;
}
