#include "Hashes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <thread>
#include <utility>

#include "Streams.h"  // PopulateBuffer

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

namespace {

constexpr unsigned char LongKey = 0xFF;

}  // namespace

// ---------------------------------------------------------------------------
// TObject: the pool
//
// Slots come in sizes of 8, 16, ... MaxPooled bytes, one free list per size.
// A slot is carved from the current chunk, or taken from its size's free list
// once objects of that size have been destroyed. Chunks double from FirstChunk to
// MaxChunk as the pool grows. When the last pooled object is destroyed, every
// chunk but the first goes back to the system, so a window program that loaded a
// huge torrent once does not keep its memory; a run over thousands of torrents
// reuses the slots of the last one instead.

namespace {

constexpr size_t Granule = 8;
constexpr size_t MaxPooled = 256;
constexpr size_t SizeClasses = MaxPooled / Granule;
constexpr size_t FirstChunk = size_t{16} << 10;
constexpr size_t MaxChunk = size_t{1} << 20;
constexpr size_t PopulatedChunk = size_t{256} << 10;

struct TChunk {
    TChunk* Next;
    size_t Size;
};
constexpr size_t ChunkHeader = (sizeof(TChunk) + Granule - 1) / Granule * Granule;

struct TFreeSlot {
    TFreeSlot* Next;
};

// Trivially destructible and constant-initialized: usable before main and after
// the program's static objects are gone.
struct TPool {
    std::atomic_flag Lock = ATOMIC_FLAG_INIT;
    TFreeSlot* Free[SizeClasses] = {};
    TChunk* Chunks = nullptr;  // newest first; the last of the list is the first chunk
    char* Bump = nullptr;      // next uncarved byte of the newest chunk
    char* BumpEnd = nullptr;
    size_t NextChunkSize = FirstChunk;
    size_t Live = 0;  // pooled objects not yet destroyed
};
constinit TPool Pool;

// Held for a few instructions at a time, and by one thread almost always: a spin
// that yields is enough, and costs one atomic exchange when nobody else waits.
class TPoolLock {
public:
    TPoolLock()
    {
        while (Pool.Lock.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    ~TPoolLock() { Pool.Lock.clear(std::memory_order_release); }
    TPoolLock(const TPoolLock&) = delete;
    TPoolLock& operator=(const TPoolLock&) = delete;
};

inline size_t SlotSize(size_t Size) { return (std::max<size_t>(Size, 1) + Granule - 1) / Granule * Granule; }

// Under the lock. Throws std::bad_alloc, leaving the pool as it was.
void* Carve(size_t Slot)
{
    if (static_cast<size_t>(Pool.BumpEnd - Pool.Bump) < Slot) {
        const size_t Size = Pool.NextChunkSize;
        auto* Chunk = static_cast<TChunk*>(::operator new(Size));
        // A big chunk will be filled: one call backs it instead of a fault a page.
        if (Size >= PopulatedChunk) PopulateBuffer(Chunk, Size);
        Chunk->Next = Pool.Chunks;
        Chunk->Size = Size;
        Pool.Chunks = Chunk;
        Pool.Bump = reinterpret_cast<char*>(Chunk) + ChunkHeader;
        Pool.BumpEnd = reinterpret_cast<char*>(Chunk) + Size;
        Pool.NextChunkSize = std::min(2 * Size, MaxChunk);
    }
    void* Block = Pool.Bump;
    Pool.Bump += Slot;
    return Block;
}

// Under the lock, when no pooled object is left.
void ReleaseChunks() noexcept
{
    TChunk* Chunk = Pool.Chunks;
    if (Chunk == nullptr || Chunk->Next == nullptr) return;  // only the first chunk: keep it
    while (Chunk->Next != nullptr) {
        TChunk* Next = Chunk->Next;
        ::operator delete(Chunk);
        Chunk = Next;
    }
    Pool.Chunks = Chunk;
    Pool.Bump = reinterpret_cast<char*>(Chunk) + ChunkHeader;
    Pool.BumpEnd = reinterpret_cast<char*>(Chunk) + Chunk->Size;
    Pool.NextChunkSize = std::min(2 * Chunk->Size, MaxChunk);
    for (TFreeSlot*& Head : Pool.Free) Head = nullptr;
}

// Sanitizers watch every object on its own heap block.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool Pooling = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool Pooling = false;
#else
constexpr bool Pooling = true;
#endif
#else
constexpr bool Pooling = true;
#endif

}  // namespace

void* TObject::operator new(std::size_t Size)
{
    if (!Pooling || Size > MaxPooled) return ::operator new(Size);
    const size_t Slot = SlotSize(Size);
    TPoolLock Guard;
    TFreeSlot*& Head = Pool.Free[Slot / Granule - 1];
    void* Block;
    if (Head != nullptr) {
        Block = Head;
        Head = Head->Next;
    } else {
        Block = Carve(Slot);
    }
    ++Pool.Live;
    return Block;
}

void TObject::operator delete(void* Block, std::size_t Size) noexcept
{
    if (Block == nullptr) return;
    if (!Pooling || Size > MaxPooled) {
        ::operator delete(Block);
        return;
    }
    const size_t Slot = SlotSize(Size);
    TPoolLock Guard;
    auto* Freed = static_cast<TFreeSlot*>(Block);
    TFreeSlot*& Head = Pool.Free[Slot / Granule - 1];
    Freed->Next = Head;
    Head = Freed;
    if (--Pool.Live == 0) ReleaseChunks();
}

void* TObject::operator new(std::size_t Size, std::align_val_t Alignment)
{
    return ::operator new(Size, Alignment);
}

void TObject::operator delete(void* Block, std::size_t, std::align_val_t Alignment) noexcept
{
    ::operator delete(Block, Alignment);
}

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

inline bool IsLong(const char* Short) { return static_cast<unsigned char>(Short[15]) == LongKey; }

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
    const std::vector<uint64_t>& Slots = FGrown.Index->Slots;
    const size_t Mask = Slots.size() - 1;
    const uint32_t Tag = IndexHash(Key);
    for (size_t At = Tag & Mask;; At = (At + 1) & Mask) {
        const uint64_t Entry = Slots[At];
        if (Entry == 0) return -1;
        if (SlotTag(Entry) != Tag) continue;
        const int32_t Record = SlotRecord(Entry);
        if (Records[Record].Hash == Hash && KeyAt(static_cast<uint32_t>(Record)) == Key) return Record;
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

    // At most half the slots in use keeps the probe runs short.
    const size_t Wanted = std::bit_ceil(std::max<size_t>(2 * Count, 32));
    if (!Index || Index->Slots.size() < Wanted) {
        std::vector<uint64_t> Slots(Wanted, 0);
        if (!Index) {
            auto Fresh = std::make_unique<TIndex>();
            Fresh->Positions.reserve(std::max<size_t>(Count, 2 * FCount));
            for (uint32_t I = 0; I < FCount; ++I) {
                const TRecord& R = FGrown.Records[I];
                Fresh->Positions.push_back(Fresh->Fill[R.Hash & BucketMask]++);
                PlaceSlot(Slots, MakeSlot(static_cast<int32_t>(I), IndexHash(KeyAt(I))));
            }
            Fresh->Slots = std::move(Slots);
            FGrown.Index = Fresh.release();
            Index = FGrown.Index;
        } else {
            for (uint64_t Entry : Index->Slots)
                if (Entry != 0) PlaceSlot(Slots, Entry);
            Index->Slots = std::move(Slots);
        }
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
    if (FCount >= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
        throw EHashError("Hash table is full");

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
        PlaceSlot(Index->Slots, MakeSlot(static_cast<int32_t>(Record), IndexHash(Key)));
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
    if (From < 0 || To < 0 || static_cast<uint32_t>(From) >= FValueCount ||
        static_cast<uint32_t>(To) >= FValueCount)
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
    // The extent described the value just destroyed.
    InfoStart = -1;
    InfoLength = -1;
    InfoComplete = false;
}

int32_t TObjectHash::ItemHigh() const
{
    return static_cast<int32_t>(FValueCount) - 1;
}
