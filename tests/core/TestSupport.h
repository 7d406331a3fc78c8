// Helpers shared by the core tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "BDecode.h"

// Decodes Bytes with ReadValue on a memory stream over them. EndPosition, when
// given, receives the stream's position afterwards.
std::unique_ptr<TObject> DecodeBytes(std::string_view Bytes, int64_t* EndPosition = nullptr);

// A decoded value as compact text, for comparing trees in one string:
// none | 42 | "text" | [a,b] | {"key":value,...}. Dictionary entries stand in the
// order their keys were first stored; bytes outside printable ASCII, '"' and '\'
// in strings are written \xHH.
std::string DescribeValue(const TObject* Value);

// Count copies of Piece, end to end.
std::string Repeat(std::string_view Piece, size_t Count);

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }
    // The full path of Name inside the folder.
    std::string File(std::string_view Name) const;
    // Writes Bytes to the file Name inside the folder; returns its full path.
    std::string Write(std::string_view Name, std::string_view Bytes) const;

private:
    std::string FPath;
};
