#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

std::unique_ptr<TObject> DecodeBytes(std::string_view Bytes, int64_t* EndPosition)
{
    TMemoryStream Stream = TMemoryStream::View(Bytes);
    std::unique_ptr<TObject> Value = ReadValue(Stream);
    if (EndPosition) *EndPosition = Stream.Position();
    return Value;
}

namespace {
void AppendQuoted(std::string& Out, std::string_view Bytes)
{
    Out += '"';
    for (unsigned char C : Bytes) {
        if (C >= 0x20 && C < 0x7F && C != '"' && C != '\\') {
            Out += static_cast<char>(C);
        } else {
            char Escape[8];
            std::snprintf(Escape, sizeof Escape, "\\x%02X", C);
            Out += Escape;
        }
    }
    Out += '"';
}

void Describe(std::string& Out, const TObject* Value)
{
    if (Value == nullptr) {
        Out += "none";
    } else if (auto* Scalar = dynamic_cast<const TIntString*>(Value)) {
        if (Scalar->IsInteger)
            Out += std::to_string(Scalar->IntegerValue);
        else
            AppendQuoted(Out, Scalar->StringValue);
    } else if (auto* List = dynamic_cast<const TObjectList*>(Value)) {
        Out += '[';
        for (size_t I = 0; I < List->Count(); ++I) {
            if (I > 0) Out += ',';
            Describe(Out, (*List)[I]);
        }
        Out += ']';
    } else if (auto* Dictionary = dynamic_cast<const TObjectHash*>(Value)) {
        Out += '{';
        bool First = true;
        for (const std::string& Key : Dictionary->Keys()) {
            if (!First) Out += ',';
            First = false;
            AppendQuoted(Out, Key);
            Out += ':';
            Describe(Out, Dictionary->Items(Key));
        }
        Out += '}';
    } else {
        Out += "?";
    }
}
}  // namespace

std::string DescribeValue(const TObject* Value)
{
    std::string Out;
    Describe(Out, Value);
    return Out;
}

std::string Repeat(std::string_view Piece, size_t Count)
{
    std::string Out;
    Out.reserve(Piece.size() * Count);
    for (size_t I = 0; I < Count; ++I) Out += Piece;
    return Out;
}

TTempDir::TTempDir()
{
#ifdef _WIN32
    // No mkdtemp: a random name, taken when create_directory makes it.
    std::random_device Random;
    for (int Tries = 0; Tries < 100 && FPath.empty(); ++Tries) {
        const std::filesystem::path Path =
            std::filesystem::temp_directory_path() / ("velmora-test-" + std::to_string(Random()));
        if (std::filesystem::create_directory(Path)) FPath = Path.string();
    }
    if (FPath.empty()) throw std::runtime_error("cannot make a temporary folder");
#else
    std::string Template = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (::mkdtemp(Template.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = Template;
#endif
}

TTempDir::~TTempDir()
{
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
}

std::string TTempDir::File(std::string_view Name) const
{
    return FPath + "/" + std::string(Name);
}

std::string TTempDir::Write(std::string_view Name, std::string_view Bytes) const
{
    std::string FileName = File(Name);
    std::ofstream Out(FileName, std::ios::binary | std::ios::trunc);
    Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    if (!Out) throw std::runtime_error("cannot write " + FileName);
    return FileName;
}
