#include "TorrentContents.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <unordered_set>

#include "BDecode.h"
#include "TorrentFile.h"

// The packed form, in this order:
//   4 bytes       the size of the whole (little-endian)
//   4 bytes       where the files begin (little-endian)
//   1 byte        flags: 1 private, 2 several files, 4 has a creation date
//   8 bytes       the creation date (a double, as the machine stores it)
//   numbers       total length, piece count, meta version, piece length, file count
//   texts         name, name.utf-8, comment, comment.utf-8, created by, announce,
//                 encoding, the SHA-1 hash, the SHA-256 hash
//   tiers         their count, then for each its count and its texts
//   web seeds     their count and texts
//   files         their count, then for each: its length, a flag byte (1 pad,
//                 2 has a UTF-8 path), how many leading elements its path shares
//                 with the path before it, the count and texts of the others, and,
//                 with flag 2, its UTF-8 path (count and texts)
// A number is a LEB128 varint, signed ones zig-zag coded; a text is its length as
// a number followed by its bytes.

namespace {

constexpr uint8_t FactPrivate = 1, FactMultiFile = 2, FactHasDate = 4;
constexpr uint8_t FilePad = 1, FileHasUtf8 = 2;

class TWriter {
public:
    std::string Bytes;

    void Number(uint64_t Value)
    {
        while (Value >= 0x80) {
            Bytes += char(uint8_t(Value) | 0x80);
            Value >>= 7;
        }
        Bytes += char(uint8_t(Value));
    }
    void Signed(int64_t Value) { Number((uint64_t(Value) << 1) ^ uint64_t(Value >> 63)); }
    void Text(std::string_view Text)
    {
        Number(Text.size());
        Bytes.append(Text);
    }
    void Texts(const std::vector<std::string_view>& Items)
    {
        Number(Items.size());
        for (const std::string_view Item : Items) Text(Item);
    }
};

const std::string* StringOf(const TObject* Value)
{
    const auto* Scalar = dynamic_cast<const TIntString*>(Value);
    return Scalar && !Scalar->IsInteger ? &Scalar->StringValue : nullptr;
}

std::string_view StringIn(const TObjectHash* Dictionary, std::string_view Key)
{
    const std::string* Text = Dictionary ? StringOf(Dictionary->Find(Key)) : nullptr;
    return Text ? std::string_view(*Text) : std::string_view();
}

// The elements of a list of strings; false when it is none or holds anything else.
bool StringList(const TObject* Value, std::vector<std::string_view>& Items)
{
    Items.clear();
    const auto* List = dynamic_cast<const TObjectList*>(Value);
    if (!List) return false;
    for (const auto& Item : List->Items) {
        const std::string* Text = StringOf(Item.get());
        if (!Text) return false;
        Items.push_back(*Text);
    }
    return true;
}

bool IsPadFile(const TObjectHash* Entry, const std::vector<std::string_view>& Path)
{
    if (StringIn(Entry, "attr").find('p') != std::string_view::npos) return true;
    if (Path.size() > 1 && Path.front() == ".pad") return true;
    // The name that older clients gave their padding.
    return !Path.empty() && Path.back().substr(0, 18) == "_____padding_file_";
}

// Whether Path, its elements joined by '\', is Folder followed by Name: the
// loader's path of the file. Compared where they lie, with nothing joined.
bool JoinsTo(const std::vector<std::string_view>& Path, std::string_view Folder, std::string_view Name)
{
    auto Take = [&](std::string_view Part) {
        const size_t InFolder = Part.size() < Folder.size() ? Part.size() : Folder.size();
        if (Folder.substr(0, InFolder) != Part.substr(0, InFolder)) return false;
        Folder.remove_prefix(InFolder);
        Part.remove_prefix(InFolder);
        if (Name.substr(0, Part.size()) != Part) return false;
        Name.remove_prefix(Part.size());
        return true;
    };
    for (size_t k = 0; k < Path.size(); ++k)
        if ((k > 0 && !Take("\\")) || !Take(Path[k])) return false;
    return Folder.empty() && Name.empty();
}

}  // namespace

class TTorrentContents::TReader {
public:
    TReader(std::string_view Bytes, size_t At) : FBytes(Bytes), FAt(At) {}
    size_t At() const { return FAt; }

    uint64_t Number()
    {
        uint64_t Value = 0;
        for (int Shift = 0; FAt < FBytes.size() && Shift < 64; Shift += 7) {
            const auto Byte = uint8_t(FBytes[FAt++]);
            Value |= uint64_t(Byte & 0x7F) << Shift;
            if (!(Byte & 0x80)) break;
        }
        return Value;
    }
    int64_t Signed()
    {
        const uint64_t Value = Number();
        return int64_t(Value >> 1) ^ -int64_t(Value & 1);
    }
    uint8_t Byte() { return FAt < FBytes.size() ? uint8_t(FBytes[FAt++]) : 0; }
    std::string_view Text()
    {
        const uint64_t Length = Number();
        const size_t Take = Length < FBytes.size() - FAt ? size_t(Length) : FBytes.size() - FAt;
        const std::string_view Text(FBytes.data() + FAt, Take);
        FAt += Take;
        return Text;
    }
    void Texts(std::vector<std::string_view>& Items)
    {
        Items.clear();
        for (uint64_t Count = Number(); Count > 0 && FAt < FBytes.size(); --Count) Items.push_back(Text());
    }
    double Double()
    {
        double Value = 0;
        if (FBytes.size() - FAt >= sizeof Value) std::memcpy(&Value, FBytes.data() + FAt, sizeof Value);
        FAt += sizeof Value;
        return Value;
    }

private:
    std::string_view FBytes;
    size_t FAt;
};

namespace {

uint32_t Read32(const char* At)
{
    uint32_t Value = 0;
    for (int i = 0; i < 4; ++i) Value |= uint32_t(uint8_t(At[i])) << (8 * i);
    return Value;
}

void Write32(char* At, uint32_t Value)
{
    for (int i = 0; i < 4; ++i) At[i] = char(uint8_t(Value >> (8 * i)));
}

}  // namespace

TTorrentContents::TTorrentContents(const TTorrentContents& Other)
{
    *this = Other;
}

TTorrentContents& TTorrentContents::operator=(const TTorrentContents& Other)
{
    if (this == &Other) return *this;
    const std::string_view From = Other.Bytes();
    std::unique_ptr<char[]> Copy;
    if (!From.empty()) {
        Copy.reset(new char[From.size()]);
        std::memcpy(Copy.get(), From.data(), From.size());
    }
    FBlock = std::move(Copy);
    return *this;
}

std::string_view TTorrentContents::Bytes() const
{
    return FBlock ? std::string_view(FBlock.get(), size_t(Read32(FBlock.get()))) : std::string_view();
}

size_t TTorrentContents::FilesStart() const
{
    return size_t(Read32(FBlock.get() + 4));
}

TTorrentFacts TTorrentContents::Facts() const
{
    TTorrentFacts Facts;
    if (Empty()) return Facts;
    TReader In(Bytes(), 8);
    const uint8_t Flags = In.Byte();
    Facts.Private = Flags & FactPrivate;
    Facts.MultiFile = Flags & FactMultiFile;
    Facts.HasCreationDate = Flags & FactHasDate;
    Facts.CreationDate = In.Double();
    Facts.TotalLength = In.Signed();
    Facts.PieceCount = In.Signed();
    Facts.MetaVersion = In.Signed();
    Facts.PieceLength = int32_t(In.Signed());
    Facts.FileCount = int32_t(In.Signed());
    for (std::string_view* Text : {&Facts.Name, &Facts.NameUtf8, &Facts.Comment, &Facts.CommentUtf8, &Facts.CreatedBy,
                                   &Facts.Announce, &Facts.Encoding, &Facts.InfoHash, &Facts.InfoHashV2})
        *Text = In.Text();
    Facts.Tiers.resize(size_t(In.Number()));
    for (auto& Tier : Facts.Tiers) In.Texts(Tier);
    In.Texts(Facts.WebSeeds);
    return Facts;
}

int64_t TTorrentContents::FileCount() const
{
    if (Empty()) return 0;
    TReader In(Bytes(), FilesStart());
    return int64_t(In.Number());
}

bool TTorrentContents::NextFile(size_t& At, TTorrentContentsFile& File) const
{
    const std::string_view Bytes = this->Bytes();
    TReader In(Bytes, At);
    if (At == FilesStart()) {
        In.Number();  // the count: the bytes end with the last file
        File.Offset = 0;
        File.Length = 0;
        File.Path.clear();
    }
    if (In.At() >= Bytes.size()) return false;
    // The offsets add up as the loader's do, wrapping.
    File.Offset = int64_t(uint64_t(File.Offset) + uint64_t(File.Length));
    File.Length = In.Signed();
    const uint8_t Flags = In.Byte();
    File.Pad = Flags & FilePad;
    // The folders it shares with the file before it are still in File.Path.
    const uint64_t Shared = In.Number();
    File.Path.resize(Shared < File.Path.size() ? size_t(Shared) : File.Path.size());
    for (uint64_t Count = In.Number(); Count > 0 && In.At() < Bytes.size(); --Count) File.Path.push_back(In.Text());
    if (Flags & FileHasUtf8) {
        In.Texts(File.PathUtf8);
    } else {
        File.PathUtf8.clear();
    }
    At = In.At();
    return true;
}

std::string TTorrentContents::JoinedPath(const std::vector<std::string_view>& Path)
{
    std::string Joined;
    for (size_t k = 0; k < Path.size(); ++k) {
        if (k > 0) Joined += '\\';
        Joined += Path[k];
    }
    return Joined;
}

TTorrentContentsView::TTorrentContentsView(const TTorrentFile& Torrent)
    : FTorrent(Torrent), FInfo(dynamic_cast<const TObjectHash*>(Torrent.Root->Find("info")))
{
    if (FInfo && Torrent.MultiFile) FFileList = dynamic_cast<const TObjectList*>(FInfo->Find("files"));
}

TTorrentFacts TTorrentContentsView::Facts() const
{
    const TTorrentFile& Torrent = FTorrent;
    const TObjectHash* Root = Torrent.Root.get();
    TTorrentFacts Facts;
    Facts.Name = Torrent.Name;
    Facts.NameUtf8 = StringIn(FInfo, "name.utf-8");
    Facts.Comment = Torrent.Comment;
    Facts.CommentUtf8 = StringIn(Root, "comment.utf-8");
    Facts.CreatedBy = StringIn(Root, "created by");
    Facts.Announce = Torrent.Announce;
    Facts.Encoding = Torrent.Encoding;
    Facts.InfoHash = Torrent.InfoHashBytes;
    Facts.InfoHashV2 = Torrent.InfoHashV2Bytes;
    Facts.TotalLength = Torrent.TotalLength;
    Facts.PieceCount = int64_t(Torrent.Pieces.size());
    Facts.MetaVersion = Torrent.MetaVersion;
    Facts.PieceLength = Torrent.PieceLength;
    Facts.FileCount = Torrent.FileCount;
    Facts.Private = Torrent.IsPrivate;
    Facts.MultiFile = Torrent.MultiFile;
    Facts.HasCreationDate = Torrent.HasCreationDate;
    Facts.CreationDate = Torrent.CreationDate;

    // The tiers, read by the loader's rules: a tier or tracker of the wrong kind is
    // skipped alone, and empty trackers and a tier's repeats are no trackers.
    if (const auto* List = dynamic_cast<const TObjectList*>(Root->Find("announce-list"))) {
        std::unordered_set<std::string_view> Seen;
        for (const auto& Tier : List->Items) {
            const auto* Urls = dynamic_cast<const TObjectList*>(Tier.get());
            if (!Urls) continue;
            auto& Into = Facts.Tiers.emplace_back();
            Seen.clear();
            for (const auto& Url : Urls->Items) {
                const auto* Scalar = dynamic_cast<const TIntString*>(Url.get());
                if (!Scalar || Scalar->StringValue.empty() || !Seen.insert(Scalar->StringValue).second) continue;
                Into.push_back(Scalar->StringValue);
            }
            if (Into.empty()) Facts.Tiers.pop_back();
        }
    }
    Facts.WebSeeds.assign(Torrent.WebSeeds.begin(), Torrent.WebSeeds.end());
    return Facts;
}

int64_t TTorrentContentsView::FileCount() const
{
    return int64_t(FTorrent.Files.size());
}

bool TTorrentContentsView::NextFile(size_t Index, TTorrentContentsFile& File) const
{
    const TTorrentFile& Torrent = FTorrent;
    if (Index >= Torrent.Files.size()) return false;
    if (Index == 0) File.Offset = File.Length = 0;
    const TTorrentSubFile& Loaded = *Torrent.Files[Index];
    // The offsets add up as the loader's do, wrapping.
    File.Offset = int64_t(uint64_t(File.Offset) + uint64_t(File.Length));
    File.Length = Loaded.Length;
    const TObjectHash* Entry = nullptr;
    if (FFileList && Index < FFileList->Count()) Entry = dynamic_cast<const TObjectHash*>((*FFileList)[Index]);
    // The elements as the file lists them, when they make the loader's path; the
    // loader's path split at '\' otherwise.
    if (!Entry || !StringList(Entry->Find("path"), File.Path) || !JoinsTo(File.Path, Loaded.Path, Loaded.Name)) {
        File.Path.clear();
        std::string_view Rest = Loaded.Path;
        for (size_t Cut; (Cut = Rest.find('\\')) != std::string_view::npos; Rest.remove_prefix(Cut + 1))
            File.Path.push_back(Rest.substr(0, Cut));
        File.Path.push_back(Loaded.Name);
    }
    bool HasUtf8 = false;
    if (Entry) {
        HasUtf8 = StringList(Entry->Find("path.utf-8"), File.PathUtf8) && !File.PathUtf8.empty();
    } else if (!Torrent.MultiFile && Torrent.Files.size() == 1) {
        const std::string_view Name = StringIn(FInfo, "name.utf-8");
        File.PathUtf8.assign(1, Name);
        HasUtf8 = !Name.empty();
    }
    if (!HasUtf8) File.PathUtf8.clear();
    File.Pad = IsPadFile(Entry, File.Path);
    return true;
}

TTorrentContents ContentsOf(const TTorrentFile& Torrent)
{
    const TTorrentContentsView View(Torrent);
    const TTorrentFacts Facts = View.Facts();

    TWriter Out;
    Out.Bytes.append(8, '\0');
    Out.Bytes += char((Facts.Private ? FactPrivate : 0) | (Facts.MultiFile ? FactMultiFile : 0) |
                      (Facts.HasCreationDate ? FactHasDate : 0));
    char Date[sizeof(double)];
    std::memcpy(Date, &Facts.CreationDate, sizeof Date);
    Out.Bytes.append(Date, sizeof Date);
    Out.Signed(Facts.TotalLength);
    Out.Signed(Facts.PieceCount);
    Out.Signed(Facts.MetaVersion);
    Out.Signed(Facts.PieceLength);
    Out.Signed(Facts.FileCount);
    for (const std::string_view Text : {Facts.Name, Facts.NameUtf8, Facts.Comment, Facts.CommentUtf8, Facts.CreatedBy,
                                        Facts.Announce, Facts.Encoding, Facts.InfoHash, Facts.InfoHashV2})
        Out.Text(Text);
    Out.Number(Facts.Tiers.size());
    for (const auto& Tier : Facts.Tiers) Out.Texts(Tier);
    Out.Texts(Facts.WebSeeds);

    const size_t FilesStart = Out.Bytes.size();
    Write32(Out.Bytes.data() + 4, uint32_t(FilesStart));
    Out.Number(uint64_t(View.FileCount()));
    std::vector<std::string_view> Previous;
    View.ForEachFile([&](const TTorrentContentsFile& File) {
        const std::vector<std::string_view>& Path = File.Path;
        Out.Signed(File.Length);
        Out.Bytes += char((File.Pad ? FilePad : 0) | (File.PathUtf8.empty() ? 0 : FileHasUtf8));
        size_t Shared = 0;
        while (Shared < Path.size() && Shared < Previous.size() && Path[Shared] == Previous[Shared]) ++Shared;
        Out.Number(Shared);
        Out.Number(Path.size() - Shared);
        for (size_t k = Shared; k < Path.size(); ++k) Out.Text(Path[k]);
        if (!File.PathUtf8.empty()) Out.Texts(File.PathUtf8);
        Previous.assign(Path.begin(), Path.end());
    });
    // Four bytes say where things are: contents past 4 GB, which only a metainfo
    // file of that size could give, keep no files, or nothing.
    if (Out.Bytes.size() > UINT32_MAX) {
        if (FilesStart >= UINT32_MAX) return TTorrentContents();
        Out.Bytes.resize(FilesStart);
        Out.Number(0);
    }
    Write32(Out.Bytes.data(), uint32_t(Out.Bytes.size()));

    TTorrentContents Contents;
    Contents.FBlock.reset(new char[Out.Bytes.size()]);
    std::memcpy(Contents.FBlock.get(), Out.Bytes.data(), Out.Bytes.size());
    return Contents;
}
