#include "FolderWalk.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace {

// Paths are UTF-8 inside the program; Windows takes them wide, POSIX as bytes.
std::filesystem::path FsPath(const std::string& Name)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(Name.begin(), Name.end()));
#else
    return std::filesystem::path(Name);
#endif
}

std::string FsName(const std::filesystem::path& Path)
{
#ifdef _WIN32
    const std::u8string Name = Path.u8string();
    return std::string(Name.begin(), Name.end());
#else
    return Path.string();
#endif
}

#ifdef _WIN32
constexpr char PathSeparator = '\\';
bool EndsWithSeparator(const std::string& Path)
{
    return !Path.empty() && (Path.back() == '/' || Path.back() == '\\' || Path.back() == ':');
}
#else
constexpr char PathSeparator = '/';
bool EndsWithSeparator(const std::string& Path)
{
    return !Path.empty() && Path.back() == '/';
}
#endif

}  // namespace

bool EndsWithTorrent(std::string_view Name)
{
    static constexpr std::string_view Suffix = ".torrent";
    if (Name.size() < Suffix.size()) return false;
    const std::string_view Tail = Name.substr(Name.size() - Suffix.size());
    return std::equal(Tail.begin(), Tail.end(), Suffix.begin(), [](char A, char B) {
        return (A >= 'A' && A <= 'Z' ? static_cast<char>(A - 'A' + 'a') : A) == B;
    });
}

bool IsFolder(const std::string& Path)
{
    std::error_code Error;
    return std::filesystem::is_directory(FsPath(Path), Error);
}

TTorrentFolderWalk::TTorrentFolderWalk(std::string Folder) : FStart(std::move(Folder)) {}

std::error_code TTorrentFolderWalk::Enter(const std::string& Folder)
{
    namespace fs = std::filesystem;
    TFrame Frame;
    std::error_code Error;
    fs::directory_iterator It(FsPath(Folder), Error);
    for (; !Error && It != fs::directory_iterator(); It.increment(Error)) {
        std::error_code KindError;
        const bool Sub = It->is_directory(KindError) && !It->is_symlink(KindError);
        std::string Name = FsName(It->path().filename());
        if (Sub || EndsWithTorrent(Name)) Frame.Entries.emplace_back(std::move(Name), Sub);
    }
    if (Error) return Error;
    std::sort(Frame.Entries.begin(), Frame.Entries.end());
    Frame.Prefix = Folder.empty() || EndsWithSeparator(Folder) ? Folder : Folder + PathSeparator;
    FStack.push_back(std::move(Frame));
    return {};
}

bool TTorrentFolderWalk::Next(TFound& Found)
{
    if (!FStarted) {
        FStarted = true;
        if (const std::error_code Error = Enter(FStart)) {
            Found = {FStart, Error};
            return true;
        }
    }
    while (!FStack.empty()) {
        TFrame& Top = FStack.back();
        if (Top.Index == Top.Entries.size()) {
            FStack.pop_back();
            continue;
        }
        auto& [Name, Sub] = Top.Entries[Top.Index++];
        std::string Path = Top.Prefix + Name;
        if (!Sub) {
            Found = {std::move(Path), {}};
            return true;
        }
        // Enter may move the stack; nothing of Top is used after it.
        if (const std::error_code Error = Enter(Path)) {
            Found = {std::move(Path), Error};
            return true;
        }
    }
    return false;
}
