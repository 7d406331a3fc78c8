// The pool that TObject's operator new and delete draw on.
#include "ObjectPool.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "Streams.h"  // PopulateBuffer

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

inline size_t SlotSize(size_t Size)
{
    return (std::max<size_t>(Size, 1) + Granule - 1) / Granule * Granule;
}

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
