// What a torrent holds: its files with their sizes, its trackers by tier, its web
// seeds, dates and hashes, taken from a loaded TTorrentFile and packed into one
// block of bytes, so that a list of many thousands of entries can keep it for each
// without growing much. The contents window shows it; velmora-cli --json prints
// the same straight from the loaded torrent (TTorrentContentsView).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TObjectHash;
class TObjectList;
class TTorrentFile;

// The facts of a torrent, as views into the TTorrentContents or the loaded
// TTorrentFile they came from (valid while it lives and is not changed). Texts are
// the raw bytes of the metainfo.
struct TTorrentFacts {
    std::string_view Name;         // info "name" as the loader keeps it (".torrent" cut)
    std::string_view NameUtf8;     // info "name.utf-8", empty when absent
    std::string_view Comment;      // root "comment"
    std::string_view CommentUtf8;  // root "comment.utf-8", empty when absent
    std::string_view CreatedBy;    // root "created by"
    std::string_view Announce;     // root "announce"
    std::string_view Encoding;     // root "encoding"
    std::string_view InfoHash;     // the 20 raw bytes of the SHA-1 hash, or empty
    std::string_view InfoHashV2;   // the 32 raw bytes of the SHA-256 hash, or empty
    int64_t TotalLength = 0;
    int64_t PieceCount = 0;
    int64_t MetaVersion = 0;
    int32_t PieceLength = 0;
    int32_t FileCount = 0;  // as the loader counts them, pad files included
    bool Private = false;
    bool MultiFile = false;
    bool HasCreationDate = false;
    double CreationDate = 0;  // days since 1899-12-30 00:00 UTC, as the loader gives it
    // "announce-list" as the loader reads it, tier by tier: wrong kinds skipped,
    // empty trackers and a tier's repeats left out, empty tiers too.
    std::vector<std::vector<std::string_view>> Tiers;
    std::vector<std::string_view> WebSeeds;  // "url-list"

    // What is shown or written for a name or comment: the UTF-8 variant where the
    // file has one.
    std::string_view ShownName() const { return NameUtf8.empty() ? Name : NameUtf8; }
    std::string_view ShownComment() const { return CommentUtf8.empty() ? Comment : CommentUtf8; }
};

// One file: its path elements (folders, then its name) and size. Views into the
// contents, valid for the call that receives them.
struct TTorrentContentsFile {
    std::vector<std::string_view> Path;
    std::vector<std::string_view> PathUtf8;  // "path.utf-8" (or "name.utf-8"), empty when absent
    int64_t Length = 0;
    int64_t Offset = 0;  // where it begins in the torrent's byte stream
    // A pad file (BEP 47): "attr" holds 'p', or it lies in a ".pad" folder, or it
    // bears the padding name of older clients. Only there to align the next file.
    bool Pad = false;
};

class TTorrentContents {
public:
    TTorrentContents() = default;
    TTorrentContents(const TTorrentContents& Other);
    TTorrentContents& operator=(const TTorrentContents& Other);
    TTorrentContents(TTorrentContents&&) noexcept = default;
    TTorrentContents& operator=(TTorrentContents&&) noexcept = default;

    bool Empty() const { return !FBlock; }
    // Empties it and gives its memory back.
    void Clear() { FBlock.reset(); }
    TTorrentFacts Facts() const;
    int64_t FileCount() const;
    // Calls Visit(const TTorrentContentsFile&) for each file, in the torrent's order.
    template <class F> void ForEachFile(F&& Visit) const;
    // The heap bytes that this holds.
    size_t MemoryBytes() const { return Bytes().size(); }
    // The path elements joined by '\', as the loader joins them.
    static std::string JoinedPath(const std::vector<std::string_view>& Path);

private:
    friend TTorrentContents ContentsOf(const TTorrentFile& Torrent);
    class TReader;
    // One block: its size, the header, the facts, then the files (see
    // TorrentContents.cpp). A bare pointer in each entry of a long list, not a
    // string object.
    std::unique_ptr<char[]> FBlock;
    std::string_view Bytes() const;
    size_t FilesStart() const;
    bool NextFile(size_t& At, TTorrentContentsFile& File) const;
};

// What the loaded Torrent holds, read where it lies, with nothing packed: for a
// torrent that is looked at once and let go (velmora-cli --json). ContentsOf packs
// what this gives, so both tell the same. Its views are valid while Torrent lives
// and is not changed. Never fails; a torrent whose load broke off gives what the
// load had read.
class TTorrentContentsView {
public:
    explicit TTorrentContentsView(const TTorrentFile& Torrent);
    TTorrentFacts Facts() const;
    int64_t FileCount() const;
    // Calls Visit(const TTorrentContentsFile&) for each file, in the torrent's order.
    template <class F> void ForEachFile(F&& Visit) const;

private:
    const TTorrentFile& FTorrent;
    const TObjectHash* FInfo = nullptr;
    const TObjectList* FFileList = nullptr;  // info "files" of a multi-file torrent
    // File holds the file before Index (its offset and length are added up).
    bool NextFile(size_t Index, TTorrentContentsFile& File) const;
};

// What the loaded Torrent holds, packed. Never fails; a torrent whose load broke
// off gives what the load had read.
TTorrentContents ContentsOf(const TTorrentFile& Torrent);

template <class F> void TTorrentContents::ForEachFile(F&& Visit) const
{
    if (Empty()) return;
    TTorrentContentsFile File;
    for (size_t At = FilesStart(); NextFile(At, File);) Visit(static_cast<const TTorrentContentsFile&>(File));
}

template <class F> void TTorrentContentsView::ForEachFile(F&& Visit) const
{
    TTorrentContentsFile File;
    for (size_t Index = 0; NextFile(Index, File); ++Index) Visit(static_cast<const TTorrentContentsFile&>(File));
}
