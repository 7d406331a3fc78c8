// Bencode decoder: reads one bencoded value from a stream into a tree of owned
// objects (scalars, lists, dictionaries). Lenient: bad input yields no value or a
// partly filled tree, never an error of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Hashes.h"
#include "Streams.h"

// Scalar: a bencoded string or integer.
class TIntString : public TObject {
public:
    TIntString() = default;
    explicit TIntString(std::string Value) : StringValue(std::move(Value)) {}
    explicit TIntString(int64_t Value) : IntegerValue(Value), IsInteger(true) {}

    std::string StringValue;   // raw bytes of a string; empty for an integer
    int64_t IntegerValue = 0;  // value of an integer; 0 for a string
    bool IsInteger = false;
};

// The elements of a list: owning pointers, in order. The first few live inside the
// list object itself, so the short lists that fill a torrent (each file's path)
// cost no allocation of their own; a longer list moves them to one array that
// doubles as it fills.
class TObjectItems {
public:
    using value_type = std::unique_ptr<TObject>;
    using iterator = value_type*;
    using const_iterator = const value_type*;

    TObjectItems() noexcept {}
    ~TObjectItems();
    TObjectItems(const TObjectItems&) = delete;
    TObjectItems& operator=(const TObjectItems&) = delete;

    size_t size() const { return FCount; }
    size_t capacity() const { return FCapacity; }
    bool empty() const { return FCount == 0; }
    value_type* data() { return FCapacity > InlineCapacity ? FHeap : FInline; }
    const value_type* data() const { return FCapacity > InlineCapacity ? FHeap : FInline; }
    iterator begin() { return data(); }
    iterator end() { return data() + FCount; }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + FCount; }
    value_type& operator[](size_t Index) { return data()[Index]; }
    const value_type& operator[](size_t Index) const { return data()[Index]; }
    value_type& back() { return data()[FCount - 1]; }
    const value_type& back() const { return data()[FCount - 1]; }

    void push_back(value_type Item)
    {
        if (FCount == FCapacity) Grow(static_cast<size_t>(FCapacity) * 2);
        new (data() + FCount) value_type(std::move(Item));
        ++FCount;
    }
    void reserve(size_t Capacity)
    {
        if (Capacity > FCapacity) Grow(Capacity);
    }
    // Gives back the room of a grown array that the elements do not use.
    void shrink_to_fit();
    // Destroys every element.
    void clear();

private:
    static constexpr uint32_t InlineCapacity = 3;
    void Grow(size_t Capacity);
    void Move(size_t Capacity);

    uint32_t FCount = 0;
    uint32_t FCapacity = InlineCapacity;
    union {
        value_type FInline[InlineCapacity];
        value_type* FHeap;
    };
};

// List: owns its elements, in document order.
class TObjectList : public TObject {
public:
    TObjectItems Items;
    size_t Count() const { return Items.size(); }
    TObject* operator[](size_t Index) const { return Items[Index].get(); }
    void Add(std::unique_ptr<TObject> Item) { Items.push_back(std::move(Item)); }
};

// Nesting deeper than this ends decoding: the value that holds it decodes to none,
// and so does every value around it up to the root. Keeps recursion off the end of
// the stack on hostile files.
inline constexpr int MaxNestingDepth = 1000;

std::unique_ptr<TObject> ReadValue(TStream& Stream);
// Helpers of ReadValue; each starts after its lead byte has been consumed.
std::unique_ptr<TObjectHash> ReadDictionary(TStream& Stream);
std::unique_ptr<TObjectList> ReadList(TStream& Stream);
std::unique_ptr<TIntString> ReadString(TStream& Stream, int32_t LengthSoFar);
std::unique_ptr<TIntString> ReadInteger(TStream& Stream);

// The first min(size, MaxCount) bytes as lowercase hexadecimal, two digits a byte.
std::string BytesToHex(std::string_view Bytes, int MaxCount);
