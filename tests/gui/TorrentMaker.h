// Builds .torrent files for the tests: a small bencode writer and a description of
// a torrent that becomes its bytes, with the magnet link expected for it computed
// independently of the program (Qt's own SHA-1 and SHA-256).
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

namespace TorrentMaker {

// Bencoded values; lists and dictionaries take values already encoded.
inline std::string BStr(std::string_view Text)
{
    return std::to_string(Text.size()) + ':' + std::string(Text);
}

inline std::string BInt(int64_t Value)
{
    return 'i' + std::to_string(Value) + 'e';
}

inline std::string BList(const std::vector<std::string>& Items)
{
    std::string Out = "l";
    for (const std::string& Item : Items) Out += Item;
    return Out + 'e';
}

// Keys in sorted order, as the format asks.
inline std::string BDict(const std::map<std::string, std::string>& Items)
{
    std::string Out = "d";
    for (const auto& [Key, Value] : Items) Out += BStr(Key) + Value;
    return Out + 'e';
}

struct TFile {
    std::vector<std::string> Path;  // folders, then the file's name
    int64_t Length = 0;
};

struct TSpec {
    std::string Name = "example";
    bool HasName = true;
    std::string Announce = "http://tracker.example.org/announce";
    bool HasAnnounce = true;
    std::string Comment;          // omitted when empty
    std::string Encoding;         // omitted when empty
    int64_t PieceLength = 262144;
    int64_t PieceCount = 4;
    bool HasPieces = true;
    int64_t Length = 1000000;     // single-file size, used when Files is empty
    std::vector<TFile> Files;     // several files when not empty
    bool Private = false;
    int64_t MetaVersion = 0;      // 2 adds "meta version" and a "file tree"
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

inline std::string InfoBytes(const TSpec& Spec)
{
    std::map<std::string, std::string> Info;
    if (Spec.HasName) Info["name"] = BStr(Spec.Name);
    Info["piece length"] = BInt(Spec.PieceLength);
    if (Spec.HasPieces) Info["pieces"] = BStr(PieceBytes(Spec.PieceCount));
    if (Spec.Private) Info["private"] = BInt(1);
    if (Spec.MetaVersion == 2) {
        Info["meta version"] = BInt(2);
        Info["file tree"] = BDict({{Spec.Name, BDict({{"", BDict({{"length", BInt(Spec.Length)},
                                                                 {"pieces root", BStr(std::string(32, 'r'))}})}})}});
    }
    if (Spec.MetaVersion != 2 || Spec.HasPieces) {
        if (Spec.Files.empty()) {
            Info["length"] = BInt(Spec.Length);
        } else {
            std::vector<std::string> Files;
            for (const TFile& File : Spec.Files) {
                std::vector<std::string> Path;
                for (const std::string& Element : File.Path) Path.push_back(BStr(Element));
                Files.push_back(BDict({{"length", BInt(File.Length)}, {"path", BList(Path)}}));
            }
            Info["files"] = BList(Files);
        }
    }
    return BDict(Info);
}

inline std::string TorrentBytes(const TSpec& Spec)
{
    std::map<std::string, std::string> Root;
    if (Spec.HasAnnounce) Root["announce"] = BStr(Spec.Announce);
    if (!Spec.Comment.empty()) Root["comment"] = BStr(Spec.Comment);
    if (!Spec.Encoding.empty()) Root["encoding"] = BStr(Spec.Encoding);
    Root["creation date"] = BInt(1700000000);
    Root["info"] = InfoBytes(Spec);
    return BDict(Root);
}

inline QString HexDigest(const std::string& Bytes, QCryptographicHash::Algorithm Algorithm)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArray::fromStdString(Bytes), Algorithm).toHex());
}

// The link the program should give: btih with the SHA-1 of the info bytes, or btmh
// with their SHA-256 for a torrent that is v2 only.
inline QString ExpectedLink(const TSpec& Spec)
{
    const std::string Info = InfoBytes(Spec);
    if (Spec.MetaVersion == 2 && !Spec.HasPieces)
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
inline QString WriteTorrent(const QString& Folder, const QString& Name, const TSpec& Spec)
{
    return WriteBytes(QDir(Folder).filePath(Name), TorrentBytes(Spec));
}

}  // namespace TorrentMaker
