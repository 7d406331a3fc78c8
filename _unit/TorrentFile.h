// Torrent metainfo loader: turns one bencoded metainfo document into a flat model
// with its info hash, the SHA-1 of the raw bytes of the root's "info" value (and,
// for meta version 2, their SHA-256).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "BDecode.h"
#include "Hashes.h"
#include "MagnetUri.h"
#include "Streams.h"

class TMessageDigest;

// One file of the torrent.
class TTorrentSubFile : public TObject {
public:
    TTorrentSubFile(std::string Name, std::string Path, int64_t Length, int64_t Offset)
        : Name(std::move(Name)), Path(std::move(Path)), Length(Length), Offset(Offset)
    {
    }
    std::string Name;  // last path element (single file: the torrent's name)
    std::string Path;  // folders above the file, each followed by '\'
    int64_t Length = 0;
    int64_t Offset = 0;  // sum of the lengths of the files before it

    // The same from the file's "path.utf-8" (a single file: the torrent's
    // "name.utf-8"), which tools that write Name and Path in a local code page add
    // beside them; null when the file has none, so that the common file costs one
    // pointer for it.
    struct TUtf8Names {
        std::string Name;
        std::string Path;
    };
    std::unique_ptr<TUtf8Names> Utf8;
    // What is shown and written for the file: the UTF-8 variant where there is one.
    const std::string& ShownName() const { return Utf8 ? Utf8->Name : Name; }
    const std::string& ShownPath() const { return Utf8 ? Utf8->Path : Path; }
};

// One piece hash, a view of 20 bytes held by the torrent's decoded tree.
class TTorrentPiece {
public:
    explicit TTorrentPiece(const char* Bytes) : FBytes(Bytes) {}
    std::string Hash() const { return std::string(FBytes, 20); }  // the 20 raw bytes
    std::string HashText() const;                                 // 40 lowercase hex digits
    std::string_view HashView() const { return std::string_view(FBytes, 20); }

private:
    const char* FBytes;
};

// The piece hashes in order; reads the "pieces" bytes of the decoded tree in place,
// so a torrent of a million pieces costs no memory beyond its own document.
class TTorrentPieces {
public:
    size_t size() const { return FCount; }
    bool empty() const { return FCount == 0; }
    TTorrentPiece operator[](size_t Index) const { return TTorrentPiece(FBytes + 20 * Index); }
    void Assign(const std::string* Bytes);  // nullptr empties
    void clear() { Assign(nullptr); }

private:
    const char* FBytes = nullptr;
    size_t FCount = 0;
};

class TTorrentFile {
public:
    TTorrentFile();
    ~TTorrentFile();
    TTorrentFile(const TTorrentFile&) = delete;
    TTorrentFile& operator=(const TTorrentFile&) = delete;

    void Clear();
    // Loads the document at the stream's position; true when it decoded to a
    // dictionary and the load ran to its end, whatever Errors then holds.
    bool LoadFromStream(TStream& Stream);

    std::string Announce;
    std::string Name;
    std::string Comment;
    int64_t TotalLength = 0;
    // Days since 1899-12-30 00:00 (UTC here), from the full 64-bit count of seconds.
    // A date outside the years 1 to 9999, which no calendar text can show, counts
    // as none: HasCreationDate is false.
    double CreationDate = 0;
    bool HasCreationDate = false;
    int32_t FileCount = 0;
    std::vector<std::u16string> Errors;
    std::unique_ptr<TObjectHash> Root;
    std::string InfoHash;       // 40 lowercase hex digits, or empty
    std::string InfoHashBytes;  // the 20 raw bytes, or empty
    bool MultiFile = false;
    std::vector<std::unique_ptr<TTorrentSubFile>> Files;
    std::string Encoding;
    TTorrentPieces Pieces;
    int32_t PieceLength = 0;
    // The trackers of "announce-list", tiers flattened in order; an empty tracker
    // and a repeat of one in the same tier are left out.
    std::vector<std::u16string> Trackers;
    bool IsPrivate = false;

    // The info dictionary's "name.utf-8" (less a trailing ".torrent", like Name) and
    // the root's "comment.utf-8", which tools that write Name and Comment in a local
    // code page add beside them.
    std::string NameUtf8;
    bool HasNameUtf8 = false;
    std::string CommentUtf8;
    bool HasCommentUtf8 = false;
    // What is shown and written as the torrent's name and comment: the UTF-8
    // variant where there is one. The hash and the bare link never use them.
    const std::string& ShownName() const { return HasNameUtf8 ? NameUtf8 : Name; }
    const std::string& ShownComment() const { return HasCommentUtf8 ? CommentUtf8 : Comment; }

    // The messages of Errors that tell of a root key outside "info" (or a tier or
    // tracker of "announce-list") of the wrong kind, skipped while the load went
    // on; in the order they stand in Errors.
    std::vector<std::u16string> Skipped;

    // Newer metainfo: "meta version" of the info dictionary (0 when absent) and the
    // SHA-256 of the same raw info bytes when it is 2.
    int64_t MetaVersion = 0;
    std::string InfoHashV2;       // 64 lowercase hex digits, or empty
    std::string InfoHashV2Bytes;  // the 32 raw bytes, or empty
    // True for a v2-only torrent (meta version 2, no "pieces"): its swarm is named
    // by the SHA-256 hash alone.
    bool IsV2Only() const;
    // The magnet link: btih with the SHA-1 hash, or btmh with the SHA-256 multihash
    // for a v2-only torrent; empty when the load gave no such hash.
    std::string MagnetLink() const;
    // True when the load gave the hash that names the swarm, so that MagnetLink() is
    // a usable link: the SHA-256 one for a v2-only torrent, else the SHA-1 one.
    bool HasLinkHash() const;

    // What the full link adds to the hash, as raw bytes held by Root (valid until
    // the next load or Clear): the info dictionary's "name.utf-8", else its "name"
    // (uncut), HasLinkName telling whether either is a string; the tiers of
    // "announce-list" (strings only, empty ones left out); the "url-list" entries.
    // Read by every load, whatever its result.
    std::string_view LinkName;
    bool HasLinkName = false;
    std::vector<std::vector<std::string_view>> TrackerTiers;
    std::vector<std::string_view> WebSeeds;
    TMagnetParts LinkParts() const;
    // MagnetLink() followed by the name, the trackers and the web seeds, byte for
    // byte as libtorrent's make_magnet_uri writes it (trackers in the file's order);
    // empty when MagnetLink() is.
    std::string FullMagnetLink() const;
    // True when the full link names at least one tracker.
    bool HasLinkTracker() const;
    // True when the link in use (the full one or the bare one) cannot find peers: a
    // private torrent's peers are found only through the trackers that its link
    // names, never through the DHT or peer exchange.
    bool LinkFindsNoPeers(bool FullLink) const;

private:
    bool FHasPieces = false;  // info has "pieces": a v1 swarm exists

    // Hashes the info bytes with the digests given (either may be null) by reading
    // them again from the stream.
    void HashInfo(TStream& Stream, TMessageDigest* Sha1, TMessageDigest* Sha256, int64_t Start, int64_t Length);
    void SetInfoHash(TMessageDigest& Sha1);
    void SetInfoHashV2(TMessageDigest& Sha256);
    // Files of a v2 "file tree", walked in the raw bytes that InfoExtent covers.
    void ReadFileTree(TStream& Stream, const TInfoExtent& InfoExtent, int64_t& Total);
    void ReadLinkSources() noexcept;  // fills LinkName, TrackerTiers and WebSeeds from Root
};

inline constexpr const char* MagnetPrefix = "magnet:?xt=urn:btih:";
inline constexpr const char* MagnetPrefixV2 = "magnet:?xt=urn:btmh:1220";
