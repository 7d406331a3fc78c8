#include "FolderWalk.h"

#include <algorithm>
#include <filesystem>
#include <utility>

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
    return std::filesystem::is_directory(Path, Error);
}

TTorrentFolderWalk::TTorrentFolderWalk(std::string Folder) : FStart(std::move(Folder)) {}

std::error_code TTorrentFolderWalk::Enter(const std::string& Folder)
{
    namespace fs = std::filesystem;
    TFrame Frame;
    std::error_code Error;
    fs::directory_iterator It(Folder, Error);
    for (; !Error && It != fs::directory_iterator(); It.increment(Error)) {
        std::error_code KindError;
        const bool Sub = It->is_directory(KindError) && !It->is_symlink(KindError);
        std::string Name = It->path().filename().string();
        if (Sub || EndsWithTorrent(Name)) Frame.Entries.emplace_back(std::move(Name), Sub);
    }
    if (Error) return Error;
    std::sort(Frame.Entries.begin(), Frame.Entries.end());
    Frame.Prefix = Folder.empty() || Folder.back() == '/' ? Folder : Folder + '/';
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
