// Builds .torrent files for the tests: a description of a torrent that becomes its
// bytes through the tests' one bencode writer, with the magnet link expected for it
// computed independently of the program (Qt's own SHA-1 and SHA-256).
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Bencode.h"

namespace TorrentMaker {

// Bencoded values; lists and dictionaries take values already encoded.
inline std::string BStr(std::string_view Text)
{
    return Bencode::String(Text);
}
inline std::string BInt(int64_t Value)
{
    return Bencode::Int(Value);
}
inline std::string BList(const std::vector<std::string>& Items)
{
    return Bencode::List(Items);
}
// Keys in sorted order, as the format asks.
inline std::string BDict(const std::map<std::string, std::string>& Items)
{
    return Bencode::Dict(Items);
}

struct TFile {
    std::vector<std::string> Path;  // folders, then the file's name
    int64_t Length = 0;
    std::vector<std::string> PathUtf8 = {};  // "path.utf-8", omitted when empty
};

struct TTorrentRecipe {
    std::string Name = "example";
    bool HasName = true;
    std::string Announce = "http://tracker.example.org/announce";
    bool HasAnnounce = true;
    std::vector<std::string> Trackers;  // "announce-list", a tier each; omitted when empty
    std::string Comment;                // omitted when empty
    std::string Encoding;               // omitted when empty
    // "name.utf-8" and "comment.utf-8", as tools that write the others in a local
    // code page add them; omitted when empty.
    std::string NameUtf8;
    std::string CommentUtf8;
    int64_t PieceLength = 262144;
    int64_t PieceCount = 4;
    bool HasPieces = true;
    int64_t Length = 1000000;  // single-file size, used when Files is empty
    std::vector<TFile> Files;  // several files when not empty
    bool Private = false;
    int64_t MetaVersion = 0;  // 2 adds "meta version" and a "file tree"
};

// Piece hashes that differ from piece to piece.
inline std::string PieceBytes(int64_t Count)
{
    std::string Bytes(size_t(Count) * 20, '\0');
    uint32_t State = 0x9E3779B9u;
    for (char& Byte : Bytes) {
        State = State * 1664525u + 1013904223u;
        Byte = char(State >> 24);
    }
    return Bytes;
}

inline std::string InfoBytes(const TTorrentRecipe& Recipe)
{
    std::map<std::string, std::string> Info;
    if (Recipe.HasName) Info["name"] = BStr(Recipe.Name);
    if (!Recipe.NameUtf8.empty()) Info["name.utf-8"] = BStr(Recipe.NameUtf8);
    Info["piece length"] = BInt(Recipe.PieceLength);
    if (Recipe.HasPieces) Info["pieces"] = BStr(PieceBytes(Recipe.PieceCount));
    if (Recipe.Private) Info["private"] = BInt(1);
    if (Recipe.MetaVersion == 2) {
        Info["meta version"] = BInt(2);
        Info["file tree"] = BDict(
            {{Recipe.Name,
              BDict({{"", BDict({{"length", BInt(Recipe.Length)}, {"pieces root", BStr(std::string(32, 'r'))}})}})}});
    }
    if (Recipe.MetaVersion != 2 || Recipe.HasPieces) {
        if (Recipe.Files.empty()) {
            Info["length"] = BInt(Recipe.Length);
        } else {
            std::vector<std::string> Files;
            for (const TFile& File : Recipe.Files) {
                std::vector<std::string> Path;
                for (const std::string& Element : File.Path) Path.push_back(BStr(Element));
                std::map<std::string, std::string> Entry = {{"length", BInt(File.Length)}, {"path", BList(Path)}};
                if (!File.PathUtf8.empty()) {
                    std::vector<std::string> PathUtf8;
                    for (const std::string& Element : File.PathUtf8) PathUtf8.push_back(BStr(Element));
                    Entry["path.utf-8"] = BList(PathUtf8);
                }
                Files.push_back(BDict(Entry));
            }
            Info["files"] = BList(Files);
        }
    }
    return BDict(Info);
}

inline std::string TorrentBytes(const TTorrentRecipe& Recipe)
{
    std::map<std::string, std::string> Root;
    if (Recipe.HasAnnounce) Root["announce"] = BStr(Recipe.Announce);
    if (!Recipe.Trackers.empty()) {
        std::vector<std::string> Tiers;
        for (const std::string& Tracker : Recipe.Trackers) Tiers.push_back(BList({BStr(Tracker)}));
        Root["announce-list"] = BList(Tiers);
    }
    if (!Recipe.Comment.empty()) Root["comment"] = BStr(Recipe.Comment);
    if (!Recipe.CommentUtf8.empty()) Root["comment.utf-8"] = BStr(Recipe.CommentUtf8);
    if (!Recipe.Encoding.empty()) Root["encoding"] = BStr(Recipe.Encoding);
    Root["creation date"] = BInt(1700000000);
    Root["info"] = InfoBytes(Recipe);
    return BDict(Root);
}

inline QString HexDigest(const std::string& Bytes, QCryptographicHash::Algorithm Algorithm)
{
    return QString::fromLatin1(QCryptographicHash::hash(QByteArray::fromStdString(Bytes), Algorithm).toHex());
}

// The link the program should give: btih with the SHA-1 of the info bytes, or btmh
// with their SHA-256 for a torrent that is v2 only.
inline QString ExpectedLink(const TTorrentRecipe& Recipe)
{
    const std::string Info = InfoBytes(Recipe);
    if (Recipe.MetaVersion == 2 && !Recipe.HasPieces)
        return QStringLiteral("magnet:?xt=urn:btmh:1220") + HexDigest(Info, QCryptographicHash::Sha256);
    return QStringLiteral("magnet:?xt=urn:btih:") + HexDigest(Info, QCryptographicHash::Sha1);
}

inline QString WriteBytes(const QString& FileName, const std::string& Bytes)
{
    QFile File(FileName);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate)) return QString();
    File.write(Bytes.data(), qint64(Bytes.size()));
    return FileName;
}

// Writes the torrent as Folder/Name and returns the path.
inline QString WriteTorrent(const QString& Folder, const QString& Name, const TTorrentRecipe& Recipe)
{
    return WriteBytes(QDir(Folder).filePath(Name), TorrentBytes(Recipe));
}

}  // namespace TorrentMaker
