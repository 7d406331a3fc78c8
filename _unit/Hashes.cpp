#include "Hashes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstring>
#include <limits>
#include <random>

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
// LinearLimit keys the table therefore keeps an open-addressing index keyed by
// SipHash-1-3 under a key drawn once per process, which a document cannot aim at;
// the index doubles as the table fills. Small tables, the great majority (a
// torrent of 100,000 files has 100,000 of them), have no index at all and are
// scanned, comparing the stored HashOf before the key.

namespace {

struct TSipKey {
    uint64_t K0;
    uint64_t K1;
};

const TSipKey& IndexKey()
{
    static const TSipKey Key = [] {
        TSipKey K{0x9E3779B97F4A7C15ull, 0xD1B54A32D192ED03ull};
        K.K0 ^= static_cast<uint64_t>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        K.K1 ^= reinterpret_cast<uintptr_t>(&K);
        try {
            std::random_device Device;
            K.K0 ^= (static_cast<uint64_t>(Device()) << 32) ^ Device();
            K.K1 ^= (static_cast<uint64_t>(Device()) << 32) ^ Device();
        } catch (...) {
            // Without a random source the clock and address above must do.
        }
        return K;
    }();
    return Key;
}

inline uint64_t Rotl(uint64_t X, int B) { return (X << B) | (X >> (64 - B)); }

inline uint64_t LoadLittle64(const uint8_t* P)
{
    uint64_t V;
    std::memcpy(&V, P, 8);
    if constexpr (std::endian::native == std::endian::big) V = __builtin_bswap64(V);
    return V;
}

uint64_t SipHash13(const TSipKey& Key, std::string_view Data)
{
    uint64_t V0 = 0x736f6d6570736575ull ^ Key.K0;
    uint64_t V1 = 0x646f72616e646f6dull ^ Key.K1;
    uint64_t V2 = 0x6c7967656e657261ull ^ Key.K0;
    uint64_t V3 = 0x7465646279746573ull ^ Key.K1;
    auto Round = [&] {
        V0 += V1; V1 = Rotl(V1, 13); V1 ^= V0; V0 = Rotl(V0, 32);
        V2 += V3; V3 = Rotl(V3, 16); V3 ^= V2;
        V0 += V3; V3 = Rotl(V3, 21); V3 ^= V0;
        V2 += V1; V1 = Rotl(V1, 17); V1 ^= V2; V2 = Rotl(V2, 32);
    };
    const uint8_t* In = reinterpret_cast<const uint8_t*>(Data.data());
    const size_t Length = Data.size();
    const size_t WholeEnd = Length - Length % 8;
    for (size_t I = 0; I < WholeEnd; I += 8) {
        uint64_t M = LoadLittle64(In + I);
        V3 ^= M;
        Round();
        V0 ^= M;
    }
    uint64_t Last = static_cast<uint64_t>(Length) << 56;
    for (size_t J = 0; J < Length % 8; ++J) Last |= static_cast<uint64_t>(In[WholeEnd + J]) << (8 * J);
    V3 ^= Last;
    Round();
    V0 ^= Last;
    V2 ^= 0xFF;
    Round();
    Round();
    Round();
    return V0 ^ V1 ^ V2 ^ V3;
}

// The index hash of a key: where its probe run starts, and a filter that spares
// most probes a look at the record.
inline uint32_t IndexHash(std::string_view Key)
{
    return static_cast<uint32_t>(SipHash13(IndexKey(), Key) >> 32);
}

// A slot holds the record number + 1 in its low half (0: free) and the key's
// index hash in its high half, so that growing never rehashes a key.
inline uint64_t MakeSlot(int32_t Record, uint32_t Tag)
{
    return (static_cast<uint64_t>(Tag) << 32) | (static_cast<uint32_t>(Record) + 1u);
}
inline uint32_t SlotTag(uint64_t Slot) { return static_cast<uint32_t>(Slot >> 32); }
inline int32_t SlotRecord(uint64_t Slot) { return static_cast<int32_t>(static_cast<uint32_t>(Slot) - 1u); }

void PlaceSlot(std::vector<uint64_t>& Slots, uint64_t Entry)
{
    const size_t Mask = Slots.size() - 1;
    size_t At = SlotTag(Entry) & Mask;
    while (Slots[At] != 0) At = (At + 1) & Mask;
    Slots[At] = Entry;
}

}  // namespace

struct THash::TIndex {
    std::vector<uint64_t> Slots;              // see MakeSlot; a power of two long
    std::vector<int32_t> Positions;           // per record, its position within its bucket
    std::array<int32_t, BucketCount> Fill{};  // records per bucket
};

// ---------------------------------------------------------------------------
// THash

THash::THash() = default;
THash::~THash() = default;

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

int32_t THash::FindRecord(std::string_view Key, uint32_t Hash) const
{
    if (!FIndex) {
        for (size_t I = 0; I < FRecords.size(); ++I) {
            const THashRecord& R = FRecords[I];
            if (R.Hash == Hash && R.Key == Key) return static_cast<int32_t>(I);
        }
        return -1;
    }
    const std::vector<uint64_t>& Slots = FIndex->Slots;
    const size_t Mask = Slots.size() - 1;
    const uint32_t Tag = IndexHash(Key);
    for (size_t At = Tag & Mask;; At = (At + 1) & Mask) {
        const uint64_t Entry = Slots[At];
        if (Entry == 0) return -1;
        if (SlotTag(Entry) != Tag) continue;
        const int32_t Record = SlotRecord(Entry);
        const THashRecord& R = FRecords[static_cast<size_t>(Record)];
        if (R.Hash == Hash && R.Key == Key) return Record;
    }
}

THash::TFindResult THash::FindKey(std::string_view Key) const
{
    const uint32_t Hash = HashOf(Key);
    TFindResult Result;
    Result.Bucket = Hash & BucketMask;
    const int32_t Record = FindRecord(Key, Hash);
    if (Record < 0) return Result;
    Result.Found = true;
    if (FIndex) {
        Result.Position = FIndex->Positions[static_cast<size_t>(Record)];
    } else {
        Result.Position = 0;
        for (int32_t I = 0; I < Record; ++I)
            if ((FRecords[static_cast<size_t>(I)].Hash & BucketMask) == Result.Bucket) ++Result.Position;
    }
    return Result;
}

bool THash::Exists(std::string_view Key) const
{
    return FindRecord(Key, HashOf(Key)) >= 0;
}

int32_t THash::IndexOf(std::string_view Key) const
{
    const int32_t Record = FindRecord(Key, HashOf(Key));
    return Record < 0 ? -1 : FRecords[static_cast<size_t>(Record)].ItemIndex;
}

int32_t THash::Count() const
{
    return static_cast<int32_t>(FRecords.size());
}

std::vector<std::string> THash::Keys() const
{
    std::vector<std::string> Result;
    Result.reserve(FRecords.size());
    for (const THashRecord& R : FRecords) Result.push_back(R.Key);
    return Result;
}

void THash::Clear()
{
    ClearItems();
    std::vector<THashRecord>().swap(FRecords);
    FIndex.reset();
}

void THash::ReserveIndex(size_t Count)
{
    if (!FIndex && Count <= static_cast<size_t>(LinearLimit)) return;

    // At most half the slots in use keeps the probe runs short.
    const size_t Wanted = std::bit_ceil(std::max<size_t>(2 * Count, 32));
    if (!FIndex || FIndex->Slots.size() < Wanted) {
        std::vector<uint64_t> Slots(Wanted, 0);
        if (!FIndex) {
            auto Index = std::make_unique<TIndex>();
            Index->Positions.reserve(std::max<size_t>(Count, 2 * FRecords.size()));
            for (size_t I = 0; I < FRecords.size(); ++I) {
                const THashRecord& R = FRecords[I];
                Index->Positions.push_back(Index->Fill[R.Hash & BucketMask]++);
                PlaceSlot(Slots, MakeSlot(static_cast<int32_t>(I), IndexHash(R.Key)));
            }
            Index->Slots = std::move(Slots);
            FIndex = std::move(Index);
        } else {
            for (uint64_t Entry : FIndex->Slots)
                if (Entry != 0) PlaceSlot(Slots, Entry);
            FIndex->Slots = std::move(Slots);
        }
    }
    std::vector<int32_t>& Positions = FIndex->Positions;
    if (Positions.capacity() < Count) Positions.reserve(std::max(Count, 2 * Positions.capacity()));
}

void THash::AddKey(std::string_view Key, uint32_t Hash, int32_t ItemIndex)
{
    if (FRecords.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw EHashError("Hash table is full");
    ReserveIndex(FRecords.size() + 1);
    FRecords.push_back(THashRecord{Hash, ItemIndex, std::string(Key)});
    if (!FIndex) return;

    // Nothing below allocates: ReserveIndex made room.
    const int32_t Record = static_cast<int32_t>(FRecords.size() - 1);
    FIndex->Positions.push_back(FIndex->Fill[Hash & BucketMask]++);
    PlaceSlot(FIndex->Slots, MakeSlot(Record, IndexHash(Key)));
}

// ---------------------------------------------------------------------------
// TObjectHash

TObjectHash::TObjectHash() = default;
TObjectHash::~TObjectHash() = default;

TObject* TObjectHash::Items(std::string_view Key) const
{
    const int32_t Index = IndexOf(Key);
    if (Index < 0) throw EHashFindError("Key \"" + std::string(Key) + "\" not found");
    return static_cast<size_t>(Index) < Values.size() ? Values[static_cast<size_t>(Index)].get() : nullptr;
}

TObject* TObjectHash::Find(std::string_view Key) const
{
    const int32_t Index = IndexOf(Key);
    if (Index < 0 || static_cast<size_t>(Index) >= Values.size()) return nullptr;
    return Values[static_cast<size_t>(Index)].get();
}

void TObjectHash::Put(std::string_view Key, std::unique_ptr<TObject> Value)
{
    const int32_t Index = IndexOf(Key);
    if (Index >= 0) {
        const size_t Slot = static_cast<size_t>(Index);
        if (Slot >= Values.size()) Values.resize(Slot + 1);
        // Storing the object already held there again must not destroy it.
        if (Values[Slot].get() == Value.get()) {
            (void)Value.release();
            return;
        }
        Values[Slot] = std::move(Value);
        return;
    }
    const int32_t NewIndex = ItemHigh() + 1;
    Values.push_back(std::move(Value));
    try {
        AddKey(Key, HashOf(Key), NewIndex);
    } catch (...) {
        Values.pop_back();
        throw;
    }
}

void TObjectHash::DeleteItem(int32_t Position)
{
    Values.at(static_cast<size_t>(Position)).reset();
}

void TObjectHash::MoveItem(int32_t From, int32_t To)
{
    // Each object has one owner, so the reference moves rather than being copied.
    if (From == To) return;
    Values.at(static_cast<size_t>(To)) = std::move(Values.at(static_cast<size_t>(From)));
}

void TObjectHash::SetItemCount(int32_t Count)
{
    Values.resize(static_cast<size_t>(std::max<int32_t>(Count, 0)));
}

void TObjectHash::ClearItems()
{
    std::vector<std::unique_ptr<TObject>>().swap(Values);
    // The extent described the value just destroyed.
    InfoStart = -1;
    InfoLength = -1;
    InfoComplete = false;
}

int32_t TObjectHash::ItemHigh() const
{
    return static_cast<int32_t>(Values.size()) - 1;
}
