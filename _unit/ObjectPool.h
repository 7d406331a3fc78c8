// The root object class of the decoded tree, and the storage its objects live in.
#pragma once

#include <cstddef>
#include <new>

// The root object class: every value of a decoded tree derives from it.
//
// A decoded torrent is hundreds of thousands of small objects, so they come from
// a pool of slots rather than one heap block each: no block header, no rounding
// to 16 bytes, and an allocation of a few instructions. The pool is shared by all
// threads (a lock guards it) and hands its memory back when its last object goes.
class TObject {
public:
    virtual ~TObject() = default;

    static void* operator new(std::size_t Size);
    static void operator delete(void* Block, std::size_t Size) noexcept;
    // Over-aligned classes bypass the pool.
    static void* operator new(std::size_t Size, std::align_val_t Alignment);
    static void operator delete(void* Block, std::size_t Size, std::align_val_t Alignment) noexcept;
};
