// The walk over a folder of torrents: every file below it whose name ends in
// ".torrent", as velmora-cli's -r and the window's folder loading both take them.
#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// Whether Name ends in ".torrent", in any letter case (ASCII letters only).
bool EndsWithTorrent(std::string_view Name);

// Whether Path names a folder, a link to one included.
bool IsFolder(const std::string& Path);

// Yields the files below one folder one at a time, so that a caller can stop or
// pause between any two of them: every file whose name ends in ".torrent", in
// sorted order (each folder's entries sorted by name, byte for byte, sub-folders
// entered where they sort). Links to folders below the starting folder are not
// followed, so no folder is walked twice and a loop of links cannot make the walk
// endless. A folder that cannot be read (the starting one included) is yielded
// once, with the reason, and its contents are skipped.
class TTorrentFolderWalk {
public:
    explicit TTorrentFolderWalk(std::string Folder);

    struct TFound {
        std::string Path;       // a file, or a folder that could not be read
        std::error_code Error;  // set for a folder that could not be read
    };

    // The next file or unreadable folder; false when the walk is over.
    bool Next(TFound& Found);

private:
    struct TFrame {
        std::string Prefix;                                 // the folder's path with a final '/'
        std::vector<std::pair<std::string, bool>> Entries;  // name, is a folder
        size_t Index = 0;
    };

    // Reads Folder's entries onto the stack; the reason when it cannot be read.
    std::error_code Enter(const std::string& Folder);

    std::string FStart;
    bool FStarted = false;
    std::vector<TFrame> FStack;
};
