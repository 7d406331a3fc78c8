// Helpers shared by the core tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// A program run to its end: its exit status (-1 when a signal ended it) and what it
// wrote on standard output and error.
struct TProgramRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// Runs Program with Args, each passed as one argument whatever it holds, in the
// current folder; its standard output and error are caught in the files "stdout"
// and "stderr" of Scratch. Input, when given, is what it reads on standard input
// (through Scratch's "stdin"); without it the program inherits this one's on POSIX
// systems and reads nothing on Windows. On POSIX systems the command goes through
// the shell, and Prefix (assignments, a wrapper such as timeout) stands before it as
// the shell reads it; on Windows the command line is quoted by the rules that its C
// runtime and velmora-cli read it with, and Prefix must be empty.
TProgramRun RunProgram(const std::string& Program, const std::vector<std::string>& Args, const std::string& Scratch,
                       const std::string* Input = nullptr, const std::string& Prefix = "");

#ifndef _WIN32
// Arg as one word of a POSIX shell's command line, whatever it holds: for a Prefix.
std::string ShellQuote(const std::string& Arg);
#endif

// The velmora-cli built with these tests: on Windows it is found from this
// program's own folder, since the build's paths are not the system's.
std::string VelmoraCli();
