// The whole load on arbitrary bytes: no crash, no sanitizer report, no exception out
// of LoadFromStream, and an info hash only over the real bytes of the root's "info"
// dictionary, checked against digests computed here by other code. What the torrent
// holds reads the same packed (the window) and straight from the load (--json).
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ReferenceDecoder.h"
#include "ReferenceDigests.h"
#include "Streams.h"
#include "TorrentContents.h"
#include "TorrentFile.h"
#include "TreeDump.h"

namespace {

bool SameFacts(const TTorrentFacts& A, const TTorrentFacts& B)
{
    return A.Name == B.Name && A.NameUtf8 == B.NameUtf8 && A.Comment == B.Comment && A.CommentUtf8 == B.CommentUtf8 &&
           A.CreatedBy == B.CreatedBy && A.Announce == B.Announce && A.Encoding == B.Encoding &&
           A.InfoHash == B.InfoHash && A.InfoHashV2 == B.InfoHashV2 && A.TotalLength == B.TotalLength &&
           A.PieceCount == B.PieceCount && A.MetaVersion == B.MetaVersion && A.PieceLength == B.PieceLength &&
           A.FileCount == B.FileCount && A.Private == B.Private && A.MultiFile == B.MultiFile &&
           A.HasCreationDate == B.HasCreationDate &&
           std::memcmp(&A.CreationDate, &B.CreationDate, sizeof A.CreationDate) == 0 && A.Tiers == B.Tiers &&
           A.WebSeeds == B.WebSeeds;
}

// Each file flattened: its length, offset, pad mark, path and UTF-8 path.
template <class TContents> std::vector<std::string> FilesOf(const TContents& Contents)
{
    std::vector<std::string> Files;
    Contents.ForEachFile([&](const TTorrentContentsFile& File) {
        std::string Line = std::to_string(File.Length) + ' ' + std::to_string(File.Offset) + (File.Pad ? " p" : " -");
        for (const std::string_view Element : File.Path) (Line += '\0') += Element;
        Line += '\1';
        for (const std::string_view Element : File.PathUtf8) (Line += '\0') += Element;
        Files.push_back(std::move(Line));
    });
    return Files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
    TMemoryStream Stream = TMemoryStream::View(Bytes);
    TTorrentFile Torrent;
    bool Loaded = Torrent.LoadFromStream(Stream);

    FUZZ_CHECK(Torrent.InfoHash.empty() || Torrent.InfoHash.size() == 40, "info hash %s", Torrent.InfoHash.c_str());
    FUZZ_CHECK(Torrent.InfoHash.empty() == Torrent.InfoHashBytes.empty() &&
                   (Torrent.InfoHashBytes.empty() || Torrent.InfoHashBytes.size() == 20),
               "InfoHashBytes of %zu bytes beside InfoHash %s", Torrent.InfoHashBytes.size(), Torrent.InfoHash.c_str());
    FUZZ_CHECK(Torrent.InfoHashV2.empty() || Torrent.InfoHashV2.size() == 64, "v2 hash %s", Torrent.InfoHashV2.c_str());
    FUZZ_CHECK(Loaded || Torrent.Errors.size() > 0, "a failed load without a message");
    // A link exactly when there is a hash to name the swarm.
    const std::string Link = Torrent.MagnetLink();
    FUZZ_CHECK(Torrent.HasLinkHash() ? Link.rfind("magnet:?xt=urn:bt", 0) == 0 : Link.empty(), "link %s", Link.c_str());
    // The full link extends the bare one and is escaped to printable ASCII throughout.
    const std::string Full = Torrent.FullMagnetLink();
    FUZZ_CHECK(Full.rfind(Link, 0) == 0 && Full.empty() == Link.empty(), "full link %s does not begin with %s",
               Full.c_str(), Link.c_str());
    for (const char Char : Full)
        FUZZ_CHECK(Char > ' ' && Char < 0x7F, "byte 0x%02x in the full link", static_cast<unsigned char>(Char));

    const TTorrentContents Packed = ContentsOf(Torrent);
    const TTorrentContentsView View(Torrent);
    FUZZ_CHECK(SameFacts(Packed.Facts(), View.Facts()), "the packed facts differ from the loaded torrent's");
    FUZZ_CHECK(Packed.FileCount() == View.FileCount(), "%lld packed files, %lld loaded",
               static_cast<long long>(Packed.FileCount()), static_cast<long long>(View.FileCount()));
    FUZZ_CHECK(FilesOf(Packed) == FilesOf(View), "the packed files differ from the loaded torrent's");

    reference::Decoder Model(Bytes);
    std::unique_ptr<reference::Value> Root = Model.Decode();
    if (Model.Uncertain()) return 0;
    std::optional<reference::InfoExtent> Extent = reference::Decoder::RealInfoExtent(Root.get());
    if (!Extent) {
        FUZZ_CHECK(Torrent.InfoHash.empty() && Torrent.InfoHashV2.empty(),
                   "info hash %s with no complete info dictionary", Torrent.InfoHash.c_str());
        return 0;
    }
    std::string_view Info = Bytes.substr(size_t(Extent->Start), size_t(Extent->Length));
    if (!Torrent.InfoHash.empty())
        FUZZ_CHECK(Torrent.InfoHash == reference::Sha1Hex(Info),
                   "info hash %s is not the SHA-1 of the %lld info bytes at %lld (%s)", Torrent.InfoHash.c_str(),
                   static_cast<long long>(Extent->Length), static_cast<long long>(Extent->Start),
                   reference::Sha1Hex(Info).c_str());
    if (!Torrent.InfoHashV2.empty())
        FUZZ_CHECK(Torrent.InfoHashV2 == reference::Sha256Hex(Info), "v2 hash %s is not the SHA-256 of the info bytes",
                   Torrent.InfoHashV2.c_str());
    // A load that ran to its end over a complete info dictionary always has its hash.
    if (Loaded) FUZZ_CHECK(!Torrent.InfoHash.empty(), "loaded, complete info, but no info hash");
    return 0;
}
