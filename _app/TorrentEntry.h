// One loaded torrent as the main list holds it.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

#include "TorrentContents.h"

struct TTorrentEntry {
    QString FileName;  // the path's part after its last '/'
    QString Title;     // the torrent's name ("name.utf-8" where it has one), decoded from UTF-8
    int32_t FileCount = 0;
    int64_t Size = 0;
    QString Link;      // the magnet link: the hash alone
    QString FullLink;  // the link with the name, the trackers and the web seeds
    bool FullLinkHasTracker = false;
    int32_t PieceLength = 0;
    int32_t PieceCount = 0;
    QString Comment;   // through the ANSI code page (UTF-8 here); "comment.utf-8" first
    QString FileList;  // multi-file only: one line per file ("path.utf-8" first), each ended by CR LF
    QString Private;   // "Private" or empty
    QString Encoding;  // the declared "encoding", or empty
    // What the torrent holds, packed: the files, trackers, web seeds, dates and
    // hashes that the contents window shows.
    TTorrentContents Contents;

    // The link that the list, the details, Run, Copy and the exports use.
    const QString& LinkInUse(bool FullLinks) const { return FullLinks ? FullLink : Link; }
};

// Why the link in use cannot work, for the status bar, the link field's tool tip
// and the exported page; empty when nothing speaks against it. A private torrent's
// peers are found only through its trackers, so its link without one finds none.
QString LinkWarning(const TTorrentEntry& Entry, bool FullLinks);
inline constexpr const char* PrivateWithoutTrackerWarning =
    QT_TRANSLATE_NOOP("TTorrentEntry", "Закрытый торрент: без трекера в ссылке пиров не найти");

// A size in bytes as text with " GB", " MB", " kB" (or " B" below 1024), Digits
// decimals, in the user's locale.
QString FormatSize(int32_t Digits, int64_t Size);

class TTorrentFile;

// The entry of a loaded torrent; FileName is the path that was loaded. Its link is
// made here, once.
TTorrentEntry MakeTorrentEntry(const QString& FileName, const TTorrentFile& Torrent);

// What loading one file gave: its entry when it has a usable link, else the
// loader's messages that say why not.
struct TTorrentLoad {
    std::optional<TTorrentEntry> Entry;
    QStringList Refusal;
};

// Loads the metainfo file at FileName into an entry. Raises when the file cannot be
// opened; a file that is no usable metainfo gives a refusal instead.
TTorrentLoad LoadTorrentEntry(const QString& FileName);

// The name of a path without its folder: the part after the last '/'.
QString PathFileName(const QString& Path);
// The extension of a path: from its last '.' on, provided no '/' follows it; empty
// when there is none.
QString PathExtension(const QString& Path);
