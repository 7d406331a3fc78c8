// Bencode decoder: reads one bencoded value from a stream into a tree of owned
// objects (scalars, lists, dictionaries). Lenient: bad input yields no value or a
// partly filled tree, never an error of its own.
#pragma once

#include <cstdint>
#include <memory>
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

// List: owns its elements, in document order.
class TObjectList : public TObject {
public:
    std::vector<std::unique_ptr<TObject>> Items;
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
