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

// Where the value stored under the root dictionary's "info" key lies in the
// stream, as the decoder measured it while reading that value: the bytes that the
// info hash is taken over. Unlike the "_info_start" and "_info_length" entries of
// the root dictionary, the document's own keys cannot change it.
struct TInfoExtent {
    int64_t Start = -1;  // -1: the root stored no "info" value
    int64_t Length = -1;
    // The value is a dictionary closed by its own 'e' inside the stream, so
    // [Start, Start + Length) holds all of its bytes.
    bool Complete = false;
    // The sink given to ReadValue received exactly those bytes, in order.
    bool Passed = false;
};

// Receives the bytes of the root's "info" value while the decoder reads them, so
// that they are hashed without being read twice. Begin starts afresh: of a root
// that holds "info" twice, the later value counts.
class TInfoSink : public TByteSink {
public:
    virtual void Begin() = 0;

protected:
    ~TInfoSink() = default;
};

std::unique_ptr<TObject> ReadValue(TStream& Stream);
// The same, and fills InfoExtent for the root dictionary; a root that is not a
// dictionary, or none, leaves it empty. Sink, when given, receives the bytes of
// the root's "info" value as they are read.
std::unique_ptr<TObject> ReadValue(TStream& Stream, TInfoExtent& InfoExtent, TInfoSink* Sink = nullptr);
// Helpers of ReadValue; each starts after its lead byte has been consumed.
std::unique_ptr<TObjectHash> ReadDictionary(TStream& Stream);
std::unique_ptr<TObjectList> ReadList(TStream& Stream);
std::unique_ptr<TIntString> ReadString(TStream& Stream, int32_t LengthSoFar);
std::unique_ptr<TIntString> ReadInteger(TStream& Stream);

// The readers of single tokens that the ones above are made of, for code that
// walks the raw bytes of a document by the decoder's own rules without building
// the tree. Each starts after the lead byte of its token has been consumed.
//
// The body of a string whose length begins with LengthSoFar: the length is read
// as a signed 32-bit number that wraps, the byte that ends it is consumed unseen,
// and a body past the end of the stream takes what remains. Bytes receives it.
void ReadStringBytes(TStream& Stream, int32_t LengthSoFar, std::string& Bytes);
// The same, stepping over the body instead of reading it.
void SkipStringBytes(TStream& Stream, int32_t LengthSoFar);
// The value of an integer: every '-' makes it negative, the byte that ends it is
// consumed unseen, the arithmetic wraps modulo 2^64.
int64_t ReadIntegerValue(TStream& Stream);

// The first min(size, MaxCount) bytes as lowercase hexadecimal, two digits a byte.
std::string BytesToHex(std::string_view Bytes, int MaxCount);
