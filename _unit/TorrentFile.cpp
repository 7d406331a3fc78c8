#include "TorrentFile.h"

#include <algorithm>
#include <typeinfo>
#include <unordered_set>

#include "MessageDigests.h"
#include "TextCodec.h"

namespace {

// Transform takes a 32-bit count: the info bytes reach the digests in views of at
// most this many.
constexpr int64_t HashChunkSize = 1 << 30;

// A value of the wrong class ends the load; the message of this exception is
// never shown, the loader records its own fixed text instead.
class EWrongKind : public Exception {
public:
    EWrongKind() : Exception("value of the wrong kind") {}
};

// The value as the class that the key calls for. The decoder makes objects of
// exactly these classes, so the exact type is compared first: one comparison
// where dynamic_cast walks the class hierarchy.
template <class T> const T& As(const TObject* Value)
{
    if (Value != nullptr && typeid(*Value) == typeid(T)) return static_cast<const T&>(*Value);
    const auto* Cast = dynamic_cast<const T*>(Value);
    if (!Cast) throw EWrongKind();
    return *Cast;
}

const TIntString& AsScalar(const TObject* Value)
{
    return As<TIntString>(Value);
}
const TObjectList& AsList(const TObject* Value)
{
    return As<TObjectList>(Value);
}
const TObjectHash& AsDictionary(const TObject* Value)
{
    return As<TObjectHash>(Value);
}

// The low 32 bits taken as signed; C++20 defines the narrowing as modulo 2^32.
int32_t Low32(int64_t Value)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(Value)));
}

int64_t WrappingAdd(int64_t A, int64_t B)
{
    return static_cast<int64_t>(static_cast<uint64_t>(A) + static_cast<uint64_t>(B));
}

std::u16string Ascii16(std::string_view Text)
{
    return std::u16string(Text.begin(), Text.end());
}

std::u16string FileMessage(size_t Index, std::u16string_view Key)
{
    return u"Corrupt File: files[" + Ascii16(std::to_string(Index)) + u"] is missing a \"" + std::u16string(Key) +
           u"\" segment";
}

// Hands the bytes it receives to a digest, in runs that Transform can take.
class TDigestSink final : public TInfoSink {
public:
    explicit TDigestSink(TMessageDigest& Digest) : FDigest(Digest) {}
    void Begin() override { FDigest.Initialize(); }
    void Consume(const uint8_t* Data, size_t Size) override
    {
        while (Size > 0) {
            const size_t Run = std::min(Size, static_cast<size_t>(HashChunkSize));
            FDigest.Transform(Data, static_cast<int32_t>(Run));
            Data += Run;
            Size -= Run;
        }
    }

private:
    TMessageDigest& FDigest;
};

// Puts the stream back where it stood, on every way out of a scope.
class TPositionGuard {
public:
    explicit TPositionGuard(TStream& Stream) : FStream(Stream), FPosition(Stream.Position()) {}
    ~TPositionGuard() { FStream.Seek(FPosition, TSeekOrigin::soBeginning); }
    TPositionGuard(const TPositionGuard&) = delete;
    TPositionGuard& operator=(const TPositionGuard&) = delete;

private:
    TStream& FStream;
    int64_t FPosition;
};

// A name loses a trailing ".torrent" (lowercase, byte for byte).
void CutTorrentEnding(std::string& Name)
{
    static constexpr std::string_view Suffix = ".torrent";
    if (Name.size() >= Suffix.size() && std::string_view(Name).substr(Name.size() - Suffix.size()) == Suffix) {
        Name.resize(Name.size() - Suffix.size());
    }
}

// A file entry's "path.utf-8", when it is a list of strings, as the UTF-8 variant
// of its Path and Name; anything else is passed over.
void ReadUtf8Path(const TObjectHash& Entry, TTorrentSubFile& File)
{
    const auto* Elements = dynamic_cast<const TObjectList*>(Entry.Find("path.utf-8"));
    if (!Elements) return;
    for (const auto& Element : Elements->Items) {
        const auto* Text = dynamic_cast<const TIntString*>(Element.get());
        if (!Text || Text->IsInteger) return;
    }
    std::string Path;
    for (size_t k = 0; k + 1 < Elements->Count(); ++k) {
        Path += static_cast<const TIntString*>((*Elements)[k])->StringValue;
        Path += '\\';
    }
    File.Utf8 = std::make_unique<TTorrentSubFile::TUtf8Names>();
    File.Utf8->Path = std::move(Path);
    if (Elements->Count() > 0) {
        File.Utf8->Name = static_cast<const TIntString*>(Elements->Items.back().get())->StringValue;
    }
}

bool IsDigit(int Byte)
{
    return Byte >= '0' && Byte <= '9';
}

// Walks the raw bytes of a v2 "file tree" inside the info extent. The decoded tree
// cannot serve here: a file's properties stand under the empty key, which a
// decoded dictionary drops. The walk reads strings and integers with the decoder's
// own token readers and steps through the structure by the decoder's rules (a
// byte that starts no value is skipped), so that it sees the structure the
// decoder saw; a dictionary whose key does not begin with a digit, a nesting too
// deep, or the end of the extent abandons the walk.
class TFileTreeWalker {
public:
    TFileTreeWalker(TStream& Stream, int64_t End) : FStream(Stream), FEnd(End) {}

    struct TFile {
        std::vector<std::string> Path;  // path elements, the file's name last
        int64_t Length = 0;
    };
    std::vector<TFile> Files;

    // Stream at the 'd' of the info dictionary. True when the walk got through it.
    bool WalkInfo()
    {
        if (Next() != 'd') return false;
        for (;;) {
            const int Lead = Next();
            if (Lead == 'e') return true;
            if (!IsDigit(Lead)) return false;
            std::string Key;
            ReadStringBytes(FStream, Lead - '0', Key);
            const int ValueLead = Next();
            if (ValueLead < 0) return false;
            if (Key == "file tree") {
                // A later "file tree" replaces an earlier one, as in the decoded tree.
                Files.clear();
                if (ValueLead == 'd') {
                    std::vector<std::string> Path;
                    if (!WalkDirectory(Path, 1)) return false;
                    continue;
                }
            }
            if (!Skip(ValueLead, 1)) return false;
        }
    }

private:
    TStream& FStream;
    int64_t FEnd;

    int Next() { return FStream.Position() < FEnd ? FStream.ReadByte() : -1; }

    bool Skip(int Lead, int Depth)
    {
        if (IsDigit(Lead)) {
            SkipStringBytes(FStream, Lead - '0');
        } else if (Lead == 'i') {
            ReadIntegerValue(FStream);
        } else if (Lead == 'l' || Lead == 'd') {
            if (Depth >= MaxNestingDepth) return false;
            for (;;) {
                const int Byte = Next();
                if (Byte == 'e') return true;
                if (Byte < 0) return false;
                if (Lead == 'd') {
                    if (!IsDigit(Byte)) return false;
                    SkipStringBytes(FStream, Byte - '0');
                    const int ValueLead = Next();
                    if (ValueLead < 0) return false;
                    if (!Skip(ValueLead, Depth + 1)) return false;
                } else if (!Skip(Byte, Depth + 1)) {
                    return false;
                }
            }
        }
        // Any other byte starts no value; the decoder consumes it and goes on.
        return true;
    }

    // After the 'd' of a directory whose path is Path.
    bool WalkDirectory(std::vector<std::string>& Path, int Depth)
    {
        if (Depth >= MaxNestingDepth) return false;
        for (;;) {
            const int Lead = Next();
            if (Lead == 'e') return true;
            if (!IsDigit(Lead)) return false;
            std::string Key;
            ReadStringBytes(FStream, Lead - '0', Key);
            const int ValueLead = Next();
            if (ValueLead < 0) return false;
            if (Key.empty() && ValueLead == 'd') {
                if (!ReadFileProperties(Path, Depth + 1)) return false;
            } else if (!Key.empty() && ValueLead == 'd') {
                Path.push_back(std::move(Key));
                const bool Ok = WalkDirectory(Path, Depth + 1);
                Path.pop_back();
                if (!Ok) return false;
            } else if (!Skip(ValueLead, Depth + 1)) {
                return false;
            }
        }
    }

    // After the 'd' of the dictionary under the empty key: one file.
    bool ReadFileProperties(const std::vector<std::string>& Path, int Depth)
    {
        if (Depth >= MaxNestingDepth) return false;
        int64_t Length = 0;
        for (;;) {
            const int Lead = Next();
            if (Lead == 'e') break;
            if (!IsDigit(Lead)) return false;
            std::string Key;
            ReadStringBytes(FStream, Lead - '0', Key);
            const int ValueLead = Next();
            if (ValueLead < 0) return false;
            if (Key == "length" && ValueLead == 'i') {
                Length = ReadIntegerValue(FStream);
            } else {
                if (Key == "length") Length = 0;  // a string where an integer is wanted
                if (!Skip(ValueLead, Depth + 1)) return false;
            }
        }
        // Properties at the top of the tree belong to no file name.
        if (!Path.empty()) Files.push_back(TFile{Path, Length});
        return true;
    }
};

}  // namespace

std::string TTorrentPiece::HashText() const
{
    return BytesToHex(HashView(), 999);
}

void TTorrentPieces::Assign(const std::string* Bytes)
{
    FBytes = Bytes ? Bytes->data() : nullptr;
    FCount = Bytes ? Bytes->size() / 20 : 0;
}

TTorrentFile::TTorrentFile() : Root(std::make_unique<TObjectHash>()) {}

TTorrentFile::~TTorrentFile()
{
    Clear();
}

void TTorrentFile::Clear()
{
    Announce.clear();
    Name.clear();
    InfoHash.clear();
    InfoHashV2.clear();
    Encoding.clear();
    TotalLength = 0;
    FileCount = 0;
    MultiFile = false;
    Files.clear();
    // The pieces are a view of a string inside Root: let go of them first.
    Pieces.clear();
    FHasPieces = false;
    Root->Clear();
    Errors.clear();
    LinkName = {};
    HasLinkName = false;
    TrackerTiers.clear();
    WebSeeds.clear();
}

bool TTorrentFile::IsV2Only() const
{
    return MetaVersion == 2 && !FHasPieces;
}

bool TTorrentFile::HasLinkHash() const
{
    return IsV2Only() ? !InfoHashV2.empty() : !InfoHash.empty();
}

std::string TTorrentFile::MagnetLink() const
{
    // A file that gave no hash gives no link: the bare prefix would name no swarm.
    if (!HasLinkHash()) return {};
    return IsV2Only() ? MagnetPrefixV2 + InfoHashV2 : MagnetPrefix + InfoHash;
}

void TTorrentFile::SetInfoHash(TMessageDigest& Sha1)
{
    Sha1.Complete();
    InfoHash = Sha1.DigestHex();
    InfoHashBytes.assign(reinterpret_cast<const char*>(Sha1.Digest()), static_cast<size_t>(Sha1.DigestSize()));
}

void TTorrentFile::SetInfoHashV2(TMessageDigest& Sha256)
{
    Sha256.Complete();
    InfoHashV2 = Sha256.DigestHex();
    InfoHashV2Bytes.assign(reinterpret_cast<const char*>(Sha256.Digest()), static_cast<size_t>(Sha256.DigestSize()));
}

void TTorrentFile::HashInfo(TStream& Stream, TMessageDigest* Sha1, TMessageDigest* Sha256, int64_t Start,
                            int64_t Length)
{
    // Only bytes that the stream holds are hashed; anything else leaves no hash.
    const int64_t Size = Stream.Size();
    if (Start < 0 || Length < 0 || Start > Size || Length > Size - Start) return;

    TPositionGuard Back(Stream);
    if (Sha1) Sha1->Initialize();
    if (Sha256) Sha256->Initialize();

    if (Stream.Seek(Start, TSeekOrigin::soBeginning) != Start) {
        throw Exception("cannot seek to the info bytes");
    }
    // Hashed where the stream holds them: no copy of the bytes beyond the stream's
    // own buffer.
    for (int64_t Left = Length; Left > 0;) {
        const std::string_view Bytes = Stream.ReadView(std::min(Left, HashChunkSize));
        if (Bytes.empty()) throw Exception("cannot read the info bytes");
        const auto Count = static_cast<int32_t>(Bytes.size());
        if (Sha1) Sha1->Transform(Bytes.data(), Count);
        if (Sha256) Sha256->Transform(Bytes.data(), Count);
        Left -= static_cast<int64_t>(Bytes.size());
    }
    if (Sha1) SetInfoHash(*Sha1);
    if (Sha256) SetInfoHashV2(*Sha256);
}

void TTorrentFile::ReadFileTree(TStream& Stream, const TInfoExtent& InfoExtent, int64_t& Total)
{
    const int64_t Start = InfoExtent.Start;
    const int64_t Length = InfoExtent.Length;
    const int64_t Size = Stream.Size();
    if (!InfoExtent.Complete || Start < 0 || Length < 0 || Start > Size || Length > Size - Start) {
        return;
    }

    TPositionGuard Back(Stream);
    if (Stream.Seek(Start, TSeekOrigin::soBeginning) != Start) return;
    TFileTreeWalker Walker(Stream, Start + Length);
    if (!Walker.WalkInfo()) return;

    for (auto& File : Walker.Files) {
        std::string Path;
        for (size_t k = 0; k + 1 < File.Path.size(); ++k) {
            Path += File.Path[k];
            Path += '\\';
        }
        Files.push_back(
            std::make_unique<TTorrentSubFile>(std::move(File.Path.back()), std::move(Path), File.Length, Total));
        Total = WrappingAdd(Total, File.Length);
    }
    FileCount = static_cast<int32_t>(Files.size());
    // A v2 torrent of one file names that file at the top of its tree.
    MultiFile = !(Files.size() == 1 && Files[0]->Path.empty());
}

bool TTorrentFile::LoadFromStream(TStream& Stream)
{
    // Start from an empty model. Clear leaves some fields alone; a second load into
    // the same object must still give what a fresh object would, so those are reset
    // here.
    Clear();
    Comment.clear();
    CreationDate = 0;
    HasCreationDate = false;
    InfoHashBytes.clear();
    PieceLength = 0;
    Trackers.clear();
    IsPrivate = false;
    NameUtf8.clear();
    HasNameUtf8 = false;
    CommentUtf8.clear();
    HasCommentUtf8 = false;
    Skipped.clear();
    MetaVersion = 0;
    InfoHashV2Bytes.clear();
    int64_t Total = 0;
    bool Result = false;

    try {
        // The digest of the info hash; it goes with the try block on every way out.
        std::unique_ptr<TMessageDigest> Sha1 = TSHA1::Create();
        TDigestSink Sha1Sink(*Sha1);

        // Decode the whole document once, noting where the root's "info" value lies
        // and hashing its bytes as they pass.
        TInfoExtent InfoExtent;
        std::unique_ptr<TObject> Value = ReadValue(Stream, InfoExtent, &Sha1Sink);
        if (!Value) {
            Errors.push_back(u"Error parsing file; does not appear to be valid bencoded metainfo");
            return false;
        }

        // The document must be a dictionary; it becomes Root.
        auto* Dictionary = dynamic_cast<TObjectHash*>(Value.get());
        if (!Dictionary) throw EWrongKind();
        Value.release();
        Root.reset(Dictionary);

        // The keys outside "info" play no part in the hash: one of the wrong kind is
        // skipped with a message of its own, and the load goes on.
        const auto Skip = [this](std::u16string Message) {
            Errors.push_back(Message);
            Skipped.push_back(std::move(Message));
        };
        const auto SkipKey = [&Skip](std::u16string_view Key) {
            Skip(u"Corrupt File: \"" + std::u16string(Key) + u"\" segment is of the wrong kind and was skipped");
        };
        // A scalar of the root, or null (with a message) for a value of another kind.
        const auto RootScalar = [this, &SkipKey](std::string_view Key, std::u16string_view Name) -> const TIntString* {
            const TObject* Value = Root->Find(Key);
            if (!Value) return nullptr;
            if (const auto* Scalar = dynamic_cast<const TIntString*>(Value)) return Scalar;
            SkipKey(Name);
            return nullptr;
        };

        // The tracker: a torrent without one is reported but still loads.
        if (const TIntString* Announce_ = RootScalar("announce", u"announce")) {
            Announce = Announce_->StringValue;
        } else if (!Root->Exists("announce")) {
            Errors.push_back(u"Corrupt File: Missing \"announce\" segment");
        }

        // The tracker tiers, flattened in order. An empty tracker is no tracker, and
        // a tier names each of its trackers once: neither is kept, so a tier of
        // millions of them costs no more than their decoded tree.
        if (const TObject* AnnounceList = Root->Find("announce-list")) {
            if (const auto* Tiers = dynamic_cast<const TObjectList*>(AnnounceList)) {
                size_t WrongKind = 0;
                std::unordered_set<std::string_view> Seen;
                for (const auto& Tier : Tiers->Items) {
                    const auto* Urls = dynamic_cast<const TObjectList*>(Tier.get());
                    if (!Urls) {
                        ++WrongKind;
                        continue;
                    }
                    Seen.clear();
                    for (const auto& Tracker : Urls->Items) {
                        const auto* Url = dynamic_cast<const TIntString*>(Tracker.get());
                        if (!Url) {
                            ++WrongKind;
                            continue;
                        }
                        if (Url->StringValue.empty() || !Seen.insert(Url->StringValue).second) continue;
                        Trackers.push_back(AnsiToUtf16(Url->StringValue));
                    }
                }
                if (WrongKind > 0) {
                    Skip(u"Corrupt File: tiers or trackers of the wrong kind in \"announce-list\" were skipped (" +
                         Ascii16(std::to_string(WrongKind)) + u")");
                }
            } else {
                SkipKey(u"announce-list");
            }
        }

        // What the torrent says about itself, none of it required.
        if (const TIntString* Comment_ = RootScalar("comment", u"comment")) Comment = Comment_->StringValue;
        if (const auto* CommentUtf8_ = dynamic_cast<const TIntString*>(Root->Find("comment.utf-8"))) {
            if (!CommentUtf8_->IsInteger) {
                CommentUtf8 = CommentUtf8_->StringValue;
                HasCommentUtf8 = true;
            }
        }
        if (const TIntString* Date = RootScalar("creation date", u"creation date")) {
            // Whole seconds since 1970, all 64 bits of them; a date no calendar text
            // can show (before the year 1 or after 9999, such as a count of
            // milliseconds) is no date rather than a wrapped one.
            constexpr int64_t FirstSecond = -62135596800;  // 0001-01-01T00:00:00Z
            constexpr int64_t LastSecond = 253402300799;   // 9999-12-31T23:59:59Z
            const int64_t Seconds = Date->IntegerValue;
            if (Seconds >= FirstSecond && Seconds <= LastSecond) {
                CreationDate = 25569.0 + static_cast<double>(Seconds) / 86400.0;
                HasCreationDate = true;
            }
        }
        if (const TIntString* Encoding_ = RootScalar("encoding", u"encoding")) Encoding = Encoding_->StringValue;

        // The info dictionary: what is shared, and how it is hashed.
        if (const TObject* InfoValue = Root->Find("info")) {
            const TObjectHash& Info = AsDictionary(InfoValue);

            // Read first, since it decides which v1 keys a torrent may lack. A value
            // of another kind is taken as no version rather than ending the load:
            // the key plays no part in a v1 torrent.
            if (const auto* Version = dynamic_cast<const TIntString*>(Info.Find("meta version"))) {
                MetaVersion = Version->IntegerValue;
            }
            const bool V2 = MetaVersion == 2;

            // The name, less a trailing ".torrent".
            if (const TObject* Name_ = Info.Find("name")) {
                Name = AsScalar(Name_).StringValue;
                CutTorrentEnding(Name);
            } else {
                Errors.push_back(u"Corrupt File: Missing \"info.name\" segment");
            }
            // Its UTF-8 variant, when it is a string; anything else is passed over.
            if (const auto* NameUtf8_ = dynamic_cast<const TIntString*>(Info.Find("name.utf-8"))) {
                if (!NameUtf8_->IsInteger) {
                    NameUtf8 = NameUtf8_->StringValue;
                    CutTorrentEnding(NameUtf8);
                    HasNameUtf8 = true;
                }
            }

            // The piece length, its low 32 bits taken as signed.
            if (const TObject* PieceLength_ = Info.Find("piece length")) {
                PieceLength = Low32(AsScalar(PieceLength_).IntegerValue);
            } else {
                Errors.push_back(u"Corrupt File: Missing \"info.piece length\" segment");
            }

            // Private only when the integer is exactly 1.
            if (const TObject* Private = Info.Find("private")) {
                IsPrivate = AsScalar(Private).IntegerValue == 1;
            }

            // The piece hashes stay in the decoded string; each entry is read in place.
            if (const TObject* PiecesValue = Info.Find("pieces")) {
                Pieces.Assign(&AsScalar(PiecesValue).StringValue);
                FHasPieces = true;
            } else if (!V2) {
                Errors.push_back(u"Corrupt File: Missing \"info.pieces\" segment");
            }

            if (const TObject* Length = Info.Find("length")) {
                // One file, named after the torrent; "length" wins over "files".
                const int64_t L = AsScalar(Length).IntegerValue;
                Total = L;
                FileCount = 1;
                auto File = std::make_unique<TTorrentSubFile>(Name, std::string(), L, 0);
                if (HasNameUtf8)
                    File->Utf8 =
                        std::make_unique<TTorrentSubFile::TUtf8Names>(TTorrentSubFile::TUtf8Names{NameUtf8, {}});
                Files.push_back(std::move(File));
            } else if (const TObject* FilesValue = Info.Find("files")) {
                // Several files, each placed after the ones before it.
                MultiFile = true;
                const TObjectList& List = AsList(FilesValue);
                Files.reserve(List.Count());
                for (size_t i = 0; i < List.Count(); ++i) {
                    const TObjectHash& Entry = AsDictionary(List[i]);
                    int64_t L = 0;
                    if (const TObject* FileLength = Entry.Find("length")) {
                        L = AsScalar(FileLength).IntegerValue;
                    } else {
                        Errors.push_back(FileMessage(i, u"length"));
                    }
                    // Filled in place; it joins Files only once its path is read.
                    auto File = std::make_unique<TTorrentSubFile>(std::string(), std::string(), L, Total);
                    if (const TObject* PathValue = Entry.Find("path")) {
                        const TObjectList& Elements = AsList(PathValue);
                        for (size_t k = 0; k < Elements.Count(); ++k) {
                            const std::string& Text = AsScalar(Elements[k]).StringValue;
                            if (k + 1 < Elements.Count()) {
                                File->Path += Text;
                                File->Path += '\\';
                            } else {
                                File->Name = Text;
                            }
                        }
                    } else {
                        Errors.push_back(FileMessage(i, u"path"));
                    }
                    ReadUtf8Path(Entry, *File);
                    Files.push_back(std::move(File));
                    Total = WrappingAdd(Total, L);
                }
                FileCount = static_cast<int32_t>(Files.size());
            } else if (IsV2Only()) {
                // A v2-only torrent lists its files in "file tree" instead.
                if (dynamic_cast<const TObjectHash*>(Info.Find("file tree"))) {
                    ReadFileTree(Stream, InfoExtent, Total);
                }
            } else {
                // No file list at all.
                Errors.push_back(
                    u"Corrupt File: Missing both \"info.length\" and \"info.files\" segments "
                    u"(should have one or the other)");
            }

            // The info hash, over the extent that the decoder measured for the root's
            // "info" value, never keys of the document that claim to describe it.
            if (InfoExtent.Start >= 0) {
                if (!InfoExtent.Complete) {
                    Errors.push_back(u"Corrupt File: \"info\" segment is truncated");
                } else {
                    // The SHA-256 is wanted only once "meta version" has been read, so
                    // it takes a second pass; the SHA-1 has one only when the bytes
                    // did not reach it whole on the way in.
                    std::unique_ptr<TMessageDigest> Sha256;
                    if (MetaVersion == 2) Sha256 = TSHA256::Create();
                    TMessageDigest* Sha1Again = InfoExtent.Passed ? nullptr : Sha1.get();
                    if (InfoExtent.Passed) SetInfoHash(*Sha1);
                    if (Sha1Again || Sha256) {
                        HashInfo(Stream, Sha1Again, Sha256.get(), InfoExtent.Start, InfoExtent.Length);
                    }
                }
            }
        } else {
            Errors.push_back(u"Corrupt File: Missing \"info\" segment");
        }

        // The load ran to its end: the total stands.
        TotalLength = Total;
        Result = true;

        // A file rewritten while it was read gives bytes that never were one file,
        // and a link that belongs to none.
        if (Stream.Changed()) {
            Errors.push_back(u"The file changed while it was read; load it again");
            InfoHash.clear();
            InfoHashBytes.clear();
            InfoHashV2.clear();
            InfoHashV2Bytes.clear();
            Result = false;
        }
    } catch (...) {
        Errors.push_back(u"Something bad happened while trying to load the file, probably corrupt metainfo");
        Result = false;
    }
    // The digests went with the scope of the try block.
    ReadLinkSources();
    return Result;
}
