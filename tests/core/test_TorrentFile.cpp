// The metainfo loader: fields, messages and their order, the info hash over the
// raw bytes of the root's "info" value, and the newer v2 metainfo.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Bencode.h"
#include "MessageDigests.h"
#include "Streams.h"
#include "TextCodec.h"
#include "TorrentContents.h"
#include "TorrentFile.h"

namespace {

// Short names for the bencode writer. Dictionaries keep the order their entries are
// given in, so tests can write documents with unsorted keys.
std::string S(std::string_view Text)
{
    return Bencode::String(Text);
}
std::string I(int64_t Value)
{
    return Bencode::Int(Value);
}
std::string L(const std::vector<std::string>& Items)
{
    return Bencode::List(Items);
}
std::string D(const std::vector<std::pair<std::string, std::string>>& Entries)
{
    return Bencode::DictAsGiven(Entries);
}

const std::string Piece1(20, '\x01');

std::string SingleInfo(std::string_view Name = "movie.avi", int64_t Length = 700)
{
    return D({{"length", I(Length)}, {"name", S(Name)}, {"piece length", I(16384)}, {"pieces", S(Piece1)}});
}

std::string WithInfo(const std::string& Info)
{
    return D({{"announce", S("http://tracker.example/announce")}, {"info", Info}});
}

struct TLoaded {
    std::unique_ptr<TTorrentFile> Torrent = std::make_unique<TTorrentFile>();
    bool Result = false;
    int64_t Position = 0;
};

TLoaded Load(const std::string& Document)
{
    TLoaded Out;
    TMemoryStream Stream(Document);
    Out.Result = Out.Torrent->LoadFromStream(Stream);
    Out.Position = Stream.Position();
    return Out;
}

std::vector<std::string> Messages(const TTorrentFile& Torrent)
{
    std::vector<std::string> Out;
    for (const auto& Message : Torrent.Errors) Out.push_back(Utf16ToUtf8(Message));
    return Out;
}

const char* const MsgParse = "Error parsing file; does not appear to be valid bencoded metainfo";
const char* const MsgBad = "Something bad happened while trying to load the file, probably corrupt metainfo";
const char* const MsgAnnounce = "Corrupt File: Missing \"announce\" segment";
const char* const MsgInfo = "Corrupt File: Missing \"info\" segment";
const char* const MsgName = "Corrupt File: Missing \"info.name\" segment";
const char* const MsgPieceLength = "Corrupt File: Missing \"info.piece length\" segment";
const char* const MsgPieces = "Corrupt File: Missing \"info.pieces\" segment";
const char* const MsgNeither =
    "Corrupt File: Missing both \"info.length\" and \"info.files\" segments (should have one or "
    "the other)";
const char* const MsgTruncated = "Corrupt File: \"info\" segment is truncated";

std::string MsgSkipped(const std::string& Key)
{
    return "Corrupt File: \"" + Key + "\" segment is of the wrong kind and was skipped";
}
std::string MsgSkippedTrackers(int Count)
{
    return "Corrupt File: tiers or trackers of the wrong kind in \"announce-list\" were skipped (" +
           std::to_string(Count) + ")";
}

// ---------------------------------------------------------------------------
// Messages and results

struct TMessageCase {
    const char* Title;
    std::string Document;
    bool Result;
    std::vector<std::string> Expected;
};

TEST(TorrentFileMessages, AreAddedInStepOrder)
{
    const std::string Files2 = L({D({{"path", L({S("a")})}}), D({{"length", I(1)}})});
    const std::vector<TMessageCase> Cases = {
        {"empty stream", "", false, {MsgParse}},
        {"no value at the start", "x", false, {MsgParse}},
        {"root is a list", "le", false, {MsgBad}},
        {"root is an integer", "i5e", false, {MsgBad}},
        {"empty dictionary", "de", true, {MsgAnnounce, MsgInfo}},
        {"empty info",
         D({{"announce", S("a")}, {"info", "de"}}),
         true,
         {MsgName, MsgPieceLength, MsgPieces, MsgNeither}},
        {"file entries lacking keys",
         D({{"info", D({{"files", Files2}, {"name", S("n")}, {"piece length", I(1)}, {"pieces", S("")}})}}),
         true,
         {MsgAnnounce, "Corrupt File: files[0] is missing a \"length\" segment",
          "Corrupt File: files[1] is missing a \"path\" segment"}},
        {"complete single file", WithInfo(SingleInfo()), true, {}},
        // Keys outside "info" of the wrong kind are skipped, each with a message.
        {"announce-list an empty string",
         D({{"announce", S("a")}, {"announce-list", S("")}}),
         true,
         {MsgSkipped("announce-list"), MsgInfo}},
        {"flat announce-list",
         D({{"announce", S("a")}, {"announce-list", L({S("udp://x"), S("udp://y")})}, {"info", SingleInfo()}}),
         true,
         {MsgSkippedTrackers(2)}},
        {"tier not a list", D({{"announce-list", L({S("x")})}}), true, {MsgAnnounce, MsgSkippedTrackers(1), MsgInfo}},
        {"tracker not a scalar, beside good ones",
         D({{"announce", S("a")},
            {"announce-list", L({L({S("udp://x"), L({}), "de"}), "de", L({S("udp://y")})})},
            {"info", SingleInfo()}}),
         true,
         {MsgSkippedTrackers(3)}},
        {"announce a list", D({{"announce", L({})}}), true, {MsgSkipped("announce"), MsgInfo}},
        {"announce a dictionary",
         D({{"announce", D({{"url", S("http://t/")}})}, {"info", SingleInfo()}}),
         true,
         {MsgSkipped("announce")}},
        {"comment, creation date, encoding and created by of the wrong kind",
         D({{"announce", S("a")},
            {"comment", L({S("c")})},
            {"created by", D({{"x", I(1)}})},
            {"creation date", L({})},
            {"encoding", D({})},
            {"info", SingleInfo()}}),
         true,
         {MsgSkipped("comment"), MsgSkipped("creation date"), MsgSkipped("encoding")}},
        {"info a string", D({{"announce", S("a")}, {"info", S("x")}}), false, {MsgBad}},
        {"name a dictionary", WithInfo(D({{"name", "de"}})), false, {MsgBad}},
        {"files not a list",
         WithInfo(D({{"files", S("x")}, {"name", S("n")}})),
         false,
         {MsgPieceLength, MsgPieces, MsgBad}},
        {"file entry not a dictionary",
         WithInfo(D({{"files", L({S("x")})}})),
         false,
         {MsgName, MsgPieceLength, MsgPieces, MsgBad}},
        {"path not a list",
         WithInfo(D({{"files", L({D({{"length", I(1)}, {"path", S("a")}})})}})),
         false,
         {MsgName, MsgPieceLength, MsgPieces, MsgBad}},
        {"path element a list",
         WithInfo(D({{"files", L({D({{"length", I(1)}, {"path", L({L({})})}})})}})),
         false,
         {MsgName, MsgPieceLength, MsgPieces, MsgBad}},
        {"pieces a list", WithInfo(D({{"pieces", L({})}})), false, {MsgName, MsgPieceLength, MsgBad}},
        {"info cut short", WithInfo(SingleInfo()).substr(0, WithInfo(SingleInfo()).size() - 3), true, {MsgTruncated}},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Title);
        const TLoaded Got = Load(Case.Document);
        EXPECT_EQ(Got.Result, Case.Result);
        EXPECT_EQ(Messages(*Got.Torrent), Case.Expected);
    }
}

// ---------------------------------------------------------------------------
// Fields

TEST(TorrentFileFields, SingleFile)
{
    const TLoaded Got = Load(WithInfo(SingleInfo("movie.avi", 700)));
    ASSERT_TRUE(Got.Result);
    const TTorrentFile& T = *Got.Torrent;
    EXPECT_EQ(T.Announce, "http://tracker.example/announce");
    EXPECT_EQ(T.Name, "movie.avi");
    EXPECT_EQ(T.FileCount, 1);
    EXPECT_FALSE(T.MultiFile);
    EXPECT_EQ(T.TotalLength, 700);
    EXPECT_EQ(T.PieceLength, 16384);
    ASSERT_EQ(T.Files.size(), 1u);
    EXPECT_EQ(T.Files[0]->Name, "movie.avi");
    EXPECT_EQ(T.Files[0]->Path, "");
    EXPECT_EQ(T.Files[0]->Length, 700);
    EXPECT_EQ(T.Files[0]->Offset, 0);
    EXPECT_EQ(T.MetaVersion, 0);
    EXPECT_TRUE(T.InfoHashV2.empty());
    EXPECT_FALSE(T.IsV2Only());
}

TEST(TorrentFileFields, MultiFileWithPathsAndOffsets)
{
    const std::string Info = D({{"files", L({D({{"length", I(10)}, {"path", L({S("a"), S("b.txt")})}}),
                                             D({{"path", L({S("gap")})}}),  // no length: 0, shifts nothing
                                             D({{"length", I(5)}, {"path", L({S("c.txt")})}}),
                                             D({{"length", I(3)}, {"path", L({S("x"), S("y"), S("z")})}}),
                                             D({{"length", I(1)}, {"path", L({})}})})},
                                {"name", S("folder")},
                                {"piece length", I(32768)},
                                {"pieces", S(Piece1)}});
    const TLoaded Got = Load(WithInfo(Info));
    ASSERT_TRUE(Got.Result);
    const TTorrentFile& T = *Got.Torrent;
    EXPECT_TRUE(T.MultiFile);
    EXPECT_EQ(T.FileCount, 5);
    EXPECT_EQ(T.TotalLength, 19);
    struct TExpected {
        const char* Path;
        const char* Name;
        int64_t Length, Offset;
    };
    const TExpected Expected[] = {
        {"a\\", "b.txt", 10, 0}, {"", "gap", 0, 10}, {"", "c.txt", 5, 10}, {"x\\y\\", "z", 3, 15}, {"", "", 1, 18}};
    ASSERT_EQ(T.Files.size(), std::size(Expected));
    for (size_t k = 0; k < std::size(Expected); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(T.Files[k]->Path, Expected[k].Path);
        EXPECT_EQ(T.Files[k]->Name, Expected[k].Name);
        EXPECT_EQ(T.Files[k]->Length, Expected[k].Length);
        EXPECT_EQ(T.Files[k]->Offset, Expected[k].Offset);
    }
    EXPECT_EQ(Messages(T), std::vector<std::string>{"Corrupt File: files[1] is missing a \"length\" segment"});
}

TEST(TorrentFileFields, LengthWinsOverFiles)
{
    const std::string Info = D({{"files", L({D({{"length", I(10)}, {"path", L({S("a")})}})})},
                                {"length", I(42)},
                                {"name", S("n")},
                                {"piece length", I(1)},
                                {"pieces", S("")}});
    const TLoaded Got = Load(WithInfo(Info));
    ASSERT_TRUE(Got.Result);
    EXPECT_FALSE(Got.Torrent->MultiFile);
    EXPECT_EQ(Got.Torrent->FileCount, 1);
    EXPECT_EQ(Got.Torrent->TotalLength, 42);
    ASSERT_EQ(Got.Torrent->Files.size(), 1u);
    EXPECT_EQ(Got.Torrent->Files[0]->Name, "n");
}

TEST(TorrentFileFields, NameLosesOnlyALowercaseTorrentEnding)
{
    const std::pair<const char*, const char*> Cases[] = {
        {"film.torrent", "film"},           {"film.TORRENT", "film.TORRENT"}, {".torrent", ""},       {"rent", "rent"},
        {"a.torrent.torrent", "a.torrent"}, {"x.torrentx", "x.torrentx"},     {"torrent", "torrent"},
    };
    for (const auto& [Given, Expected] : Cases) {
        SCOPED_TRACE(Given);
        const TLoaded Got = Load(WithInfo(SingleInfo(Given)));
        EXPECT_EQ(Got.Torrent->Name, Expected);
        ASSERT_EQ(Got.Torrent->Files.size(), 1u);
        EXPECT_EQ(Got.Torrent->Files[0]->Name, Expected);
    }
}

TEST(TorrentFileFields, PiecesAreWholeGroupsOfTwentyBytes)
{
    std::string Bytes;
    for (int k = 0; k < 45; ++k) Bytes += static_cast<char>(k * 11);
    const TLoaded Got =
        Load(WithInfo(D({{"length", I(1)}, {"name", S("n")}, {"piece length", I(1)}, {"pieces", S(Bytes)}})));
    ASSERT_TRUE(Got.Result);
    const TTorrentPieces& P = Got.Torrent->Pieces;
    ASSERT_EQ(P.size(), 2u);
    EXPECT_EQ(P[0].Hash(), Bytes.substr(0, 20));
    EXPECT_EQ(P[1].Hash(), Bytes.substr(20, 20));
    EXPECT_EQ(P[0].HashText(), "000b16212c37424d58636e79848f9aa5b0bbc6d1");
    EXPECT_EQ(P[1].HashText(), "dce7f2fd08131e29343f4a55606b76818c97a2ad");

    EXPECT_EQ(Load(WithInfo(D({{"pieces", S(std::string(19, 'x'))}}))).Torrent->Pieces.size(), 0u);
}

TEST(TorrentFileFields, PrivateOnlyForTheInteger1)
{
    const std::pair<std::string, bool> Cases[] = {
        {I(1), true},  {I(2), false},          {S("1"), false},
        {I(0), false}, {I(4294967297), false},  // low 32 bits are 1, the value is not
        {"", false},
    };
    for (const auto& [Value, Expected] : Cases) {
        SCOPED_TRACE(Value);
        std::vector<std::pair<std::string, std::string>> Info = {
            {"length", I(1)}, {"name", S("n")}, {"piece length", I(1)}, {"pieces", S("")}};
        if (!Value.empty()) Info.emplace_back("private", Value);
        const TLoaded Got = Load(WithInfo(D(Info)));
        ASSERT_TRUE(Got.Result);
        EXPECT_EQ(Got.Torrent->IsPrivate, Expected);
    }
}

TEST(TorrentFileFields, CreationDateIsSecondsSince1970InAll64Bits)
{
    const struct {
        std::string Value;
        bool Has;
        double Expected;
    } Cases[] = {
        {I(0), true, 25569.0},
        {I(86400), true, 25570.0},
        {I(43200), true, 25569.5},
        {I(-86400), true, 25568.0},
        {I(2147483647), true, 25569.0 + 2147483647.0 / 86400.0},
        {I(2147483648), true, 25569.0 + 2147483648.0 / 86400.0},      // 2038, not 1901
        {I(4294967296), true, 25569.0 + 4294967296.0 / 86400.0},      // 2106, not 1970
        {I(253402300799), true, 25569.0 + 253402300799.0 / 86400.0},  // 9999-12-31T23:59:59Z
        {I(-62135596800), true, 25569.0 - 62135596800.0 / 86400.0},   // 0001-01-01T00:00:00Z
        {I(1452468725091), false, 0},                                 // milliseconds: no calendar holds it
        {I(253402300800), false, 0},
        {I(-62135596801), false, 0},
        {I(INT64_MIN), false, 0},
        {S("1700000000"), true, 25569.0},  // a string counts as 0
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Value);
        const TLoaded Got = Load(D({{"creation date", Case.Value}}));
        EXPECT_EQ(Got.Torrent->HasCreationDate, Case.Has);
        EXPECT_DOUBLE_EQ(Got.Torrent->CreationDate, Case.Expected);
        EXPECT_EQ(Messages(*Got.Torrent), (std::vector<std::string>{MsgAnnounce, MsgInfo}));
    }
    EXPECT_FALSE(Load("de").Torrent->HasCreationDate);
}

TEST(TorrentFileFields, PieceLengthIsTheLow32BitsSigned)
{
    const std::pair<int64_t, int32_t> Cases[] = {
        {262144, 262144}, {4294967296 + 16384, 16384}, {2147483648, INT32_MIN}, {-1, -1}};
    for (const auto& [Value, Expected] : Cases) {
        SCOPED_TRACE(Value);
        EXPECT_EQ(Load(WithInfo(D({{"piece length", I(Value)}}))).Torrent->PieceLength, Expected);
    }
}

TEST(TorrentFileFields, ScalarsOfTheOtherKindReadAsEmptyOrZero)
{
    const TLoaded Got =
        Load(D({{"announce", I(5)},
                {"comment", I(7)},
                {"encoding", S("UTF-8")},
                {"info", D({{"length", S("12")}, {"name", I(3)}, {"piece length", S("9")}, {"pieces", I(1)}})}}));
    ASSERT_TRUE(Got.Result);
    const TTorrentFile& T = *Got.Torrent;
    EXPECT_EQ(T.Announce, "");
    EXPECT_EQ(T.Comment, "");
    EXPECT_EQ(T.Encoding, "UTF-8");
    EXPECT_EQ(T.Name, "");
    EXPECT_EQ(T.TotalLength, 0);
    EXPECT_EQ(T.PieceLength, 0);
    EXPECT_EQ(T.Pieces.size(), 0u);
    EXPECT_TRUE(Messages(T).empty());
}

TEST(TorrentFileFields, TrackersAreFlattenedAndDecodedFromUtf8)
{
    // Empty trackers are none; a repeat within a tier is left out, one in another
    // tier kept.
    const TLoaded Got = Load(D({{"announce-list", L({L({S("udp://a"), S(""), S("udp://b"), S("udp://a"), I(0)}), L({}),
                                                     L({S("http://\xc3\xa9"),
                                                        S("x\xff"
                                                          "y"),
                                                        S("udp://a"), S(""), S("udp://a")})})}}));
    ASSERT_TRUE(Got.Result);
    const std::vector<std::u16string> Expected = {u"udp://a", u"udp://b", u"http://\u00e9", u"x\ufffdy", u"udp://a"};
    EXPECT_EQ(Got.Torrent->Trackers, Expected);
    ASSERT_EQ(Got.Torrent->TrackerTiers.size(), 3u);
    EXPECT_EQ(Got.Torrent->TrackerTiers[0].size(), 3u);  // the repeat stays in the link, as libtorrent has it
    EXPECT_EQ(Got.Torrent->TrackerTiers[2].size(), 4u);
}

TEST(TorrentFileFields, Utf8VariantsStandBesideTheLocalNames)
{
    const std::string Multi =
        D({{"files", L({D({{"length", I(10)},
                           {"path", L({S("\x93\xfa"), S("a.txt")})},
                           {"path.utf-8", L({S("日本"), S("あ.txt")})}}),
                        D({{"length", I(5)}, {"path", L({S("b.txt")})}, {"path.utf-8", L({S("x"), I(1)})}}),
                        D({{"length", I(1)}, {"path", L({S("c")})}, {"path.utf-8", S("not a list")}})})},
           {"name", S("\x93\xfa\x96\x7b.torrent")},
           {"name.utf-8", S("日本.torrent")},
           {"piece length", I(16384)},
           {"pieces", S(Piece1)}});
    const TLoaded Got =
        Load(D({{"announce", S("a")}, {"comment", S("\x83\x65")}, {"comment.utf-8", S("コメント")}, {"info", Multi}}));
    ASSERT_TRUE(Got.Result);
    const TTorrentFile& T = *Got.Torrent;
    EXPECT_TRUE(Messages(T).empty());
    EXPECT_EQ(T.Name, "\x93\xfa\x96\x7b");
    EXPECT_EQ(T.ShownName(), "日本");
    EXPECT_EQ(T.Comment, "\x83\x65");
    EXPECT_EQ(T.ShownComment(), "コメント");
    ASSERT_EQ(T.Files.size(), 3u);
    EXPECT_EQ(T.Files[0]->ShownPath(), "日本\\");
    EXPECT_EQ(T.Files[0]->ShownName(), "あ.txt");
    EXPECT_EQ(T.Files[0]->Path, "\x93\xfa\\");
    // A variant that is no list of strings is passed over.
    EXPECT_EQ(T.Files[1]->ShownName(), "b.txt");
    EXPECT_EQ(T.Files[2]->ShownName(), "c");
    // The hash and the bare link are the info bytes' alone; the full link's dn= has
    // always taken "name.utf-8".
    EXPECT_EQ(T.InfoHash, Load(D({{"info", Multi}})).Torrent->InfoHash);

    // A single file is named after the torrent, in both forms; an integer variant
    // counts as none.
    const auto Single_ = [](const std::string& Variant) {
        return WithInfo(D({{"length", I(700)},
                           {"name", S("legacy")},
                           {"name.utf-8", Variant},
                           {"piece length", I(16384)},
                           {"pieces", S(Piece1)}}));
    };
    const TLoaded Single = Load(Single_(S("юникод")));
    ASSERT_EQ(Single.Torrent->Files.size(), 1u);
    EXPECT_EQ(Single.Torrent->Files[0]->ShownName(), "юникод");
    EXPECT_EQ(Single.Torrent->Files[0]->Name, "legacy");
    const TLoaded IntegerName = Load(Single_(I(5)));
    EXPECT_EQ(IntegerName.Torrent->ShownName(), "legacy");
}

TEST(TorrentFileFields, AFailureKeepsWhatWasSet)
{
    // "files" is read after "name" and "pieces"; its second entry is of the wrong kind.
    const std::string Info = D({{"files", L({D({{"length", I(10)}, {"path", L({S("a")})}}), S("oops")})},
                                {"name", S("kept")},
                                {"piece length", I(16384)},
                                {"pieces", S(Piece1 + Piece1)}});
    const TLoaded Got = Load(WithInfo(Info));
    EXPECT_FALSE(Got.Result);
    const TTorrentFile& T = *Got.Torrent;
    EXPECT_EQ(Messages(T), std::vector<std::string>{MsgBad});
    EXPECT_EQ(T.Announce, "http://tracker.example/announce");
    EXPECT_EQ(T.Name, "kept");
    EXPECT_TRUE(T.MultiFile);
    EXPECT_EQ(T.Pieces.size(), 2u);
    ASSERT_EQ(T.Files.size(), 1u);
    EXPECT_EQ(T.Files[0]->Name, "a");
    EXPECT_EQ(T.TotalLength, 0);
    EXPECT_EQ(T.FileCount, 0);
    EXPECT_TRUE(T.InfoHash.empty());
    EXPECT_TRUE(T.Root->Exists("info"));
}

TEST(TorrentFileFields, ASecondLoadStartsFromScratch)
{
    TTorrentFile T;
    TMemoryStream First(D({{"announce-list", L({L({S("udp://a")})})},
                           {"comment", S("c")},
                           {"creation date", I(5)},
                           {"info", SingleInfo()}}));
    ASSERT_TRUE(T.LoadFromStream(First));
    ASSERT_FALSE(T.InfoHash.empty());
    TMemoryStream Second("de");
    ASSERT_TRUE(T.LoadFromStream(Second));
    EXPECT_TRUE(T.Trackers.empty());
    EXPECT_EQ(T.Comment, "");
    EXPECT_FALSE(T.HasCreationDate);
    EXPECT_TRUE(T.InfoHash.empty());
    EXPECT_TRUE(T.InfoHashBytes.empty());
    EXPECT_EQ(T.PieceLength, 0);
    EXPECT_TRUE(T.Files.empty());
    EXPECT_EQ(T.Pieces.size(), 0u);
    EXPECT_EQ(Messages(T), (std::vector<std::string>{MsgAnnounce, MsgInfo}));
}

TEST(TorrentFileFields, ClearEmptiesTheModel)
{
    TLoaded Got = Load(WithInfo(SingleInfo()));
    TTorrentFile& T = *Got.Torrent;
    T.Clear();
    EXPECT_EQ(T.Announce, "");
    EXPECT_EQ(T.Name, "");
    EXPECT_EQ(T.InfoHash, "");
    EXPECT_EQ(T.TotalLength, 0);
    EXPECT_EQ(T.FileCount, 0);
    EXPECT_TRUE(T.Files.empty());
    EXPECT_EQ(T.Pieces.size(), 0u);
    EXPECT_EQ(T.Root->Count(), 0);
    EXPECT_TRUE(T.Errors.empty());
    EXPECT_EQ(T.MagnetLink(), "");
    EXPECT_EQ(T.FullMagnetLink(), "");
}

// ---------------------------------------------------------------------------
// The stream

TEST(TorrentFileStream, StandsJustBehindTheRootValue)
{
    const std::string Trailer = "trailing bytes that are never read";
    const std::pair<const char*, std::string> Cases[] = {
        {"without info", D({{"announce", S("a")}})},
        {"with the info hash", WithInfo(SingleInfo())},
        {"with many pieces",
         WithInfo(
             D({{"length", I(1)}, {"name", S("n")}, {"piece length", I(1)}, {"pieces", S(std::string(300000, 'p'))}}))},
    };
    for (const auto& [Title, Document] : Cases) {
        SCOPED_TRACE(Title);
        const TLoaded Got = Load(Document + Trailer);
        EXPECT_TRUE(Got.Result);
        EXPECT_EQ(Got.Position, static_cast<int64_t>(Document.size()));
    }
}

TEST(TorrentFileStream, DocumentMayBeginInsideTheStream)
{
    const std::string Prefix = "0123456789";
    TMemoryStream Stream(Prefix + "d8:announce3:abc4:infod4:name1:xee");
    ASSERT_EQ(Stream.Seek(static_cast<int64_t>(Prefix.size()), TSeekOrigin::soBeginning), 10);
    TTorrentFile T;
    ASSERT_TRUE(T.LoadFromStream(Stream));
    EXPECT_EQ(T.InfoHash, "c06fadd1439dd2d619fec4538d69a54e614bb831");  // SHA-1 of d4:name1:xe
    EXPECT_EQ(Stream.Position(), 44);
}

TEST(TorrentFileStream, WorksOnAFile)
{
    const auto Path = std::filesystem::temp_directory_path() /
                      (std::string("velmora_torrentfile_") + std::to_string(::getpid()) + ".torrent");
    const std::string Document = WithInfo(SingleInfo());
    {
        std::ofstream Out(Path, std::ios::binary);
        Out << Document;
    }
    TTorrentFile T;
    {
        TFileStream Stream(Path.string());
        EXPECT_TRUE(T.LoadFromStream(Stream));
        EXPECT_EQ(Stream.Position(), static_cast<int64_t>(Document.size()));
    }
    std::filesystem::remove(Path);
    EXPECT_EQ(T.InfoHash, Load(Document).Torrent->InfoHash);
    EXPECT_EQ(T.InfoHash.size(), 40u);
}

// ---------------------------------------------------------------------------
// The info hash. Expected digests were computed with Python's hashlib over the
// exact info bytes, for instance
//   python3 -c 'import hashlib; print(hashlib.sha1(b"d4:name1:xe").hexdigest())'

TEST(TorrentFileInfoHash, IsTheSha1OfTheRawInfoBytes)
{
    const TLoaded Got = Load("d8:announce3:abc4:infod4:name1:xee");
    ASSERT_TRUE(Got.Result);
    EXPECT_EQ(Got.Torrent->InfoHash, "c06fadd1439dd2d619fec4538d69a54e614bb831");
    ASSERT_EQ(Got.Torrent->InfoHashBytes.size(), 20u);
    EXPECT_EQ(BytesToHex(Got.Torrent->InfoHashBytes, 999), Got.Torrent->InfoHash);
    EXPECT_EQ(Got.Torrent->MagnetLink(), "magnet:?xt=urn:btih:c06fadd1439dd2d619fec4538d69a54e614bb831");
}

TEST(TorrentFileInfoHash, NonCanonicalInfoIsHashedAsWritten)
{
    // Unsorted keys and integers with leading zeros; a re-encoding would differ.
    const std::string Info = "d4:name9:movie.avi6:lengthi0700e12:piece lengthi016384e6:pieces20:" + Piece1 + "e";
    const TLoaded Got = Load("d4:info" + Info + "8:announce3:abce");
    ASSERT_TRUE(Got.Result);
    EXPECT_TRUE(Messages(*Got.Torrent).empty());
    EXPECT_EQ(Got.Torrent->TotalLength, 700);
    EXPECT_EQ(Got.Torrent->InfoHash, "bc6e1d8277ff28056df343351d303587e4f0bfdc");
}

TEST(TorrentFileInfoHash, LargeInfoIsHashedInFull)
{
    // 600,061 info bytes: several chunks of the hashing buffer.
    std::string Pieces(600000, '\0');
    for (size_t k = 0; k < Pieces.size(); ++k) Pieces[k] = static_cast<char>((k * 7 + 3) & 0xff);
    const std::string Info = "d6:lengthi1e4:name3:big12:piece lengthi16384e6:pieces" + S(Pieces) + "e";
    ASSERT_EQ(Info.size(), 600061u);
    const TLoaded Got = Load(WithInfo(Info));
    ASSERT_TRUE(Got.Result);
    EXPECT_EQ(Got.Torrent->Pieces.size(), 30000u);
    EXPECT_EQ(Got.Torrent->InfoHash, "473f61d565d4bce92b0c35988315ac9724586643");
}

TEST(TorrentFileInfoHash, DocumentKeysCannotMoveTheHashedExtent)
{
    const std::string Info = "d4:name1:xe";
    const std::string Real = "c06fadd1439dd2d619fec4538d69a54e614bb831";
    const std::vector<std::pair<const char*, std::string>> Cases = {
        {"forged after info", "d8:announce3:abc4:info" + Info + "12:_info_lengthi3e11:_info_starti1ee"},
        {"forged before info", "d12:_info_lengthi5e11:_info_starti0e8:announce3:abc4:info" + Info + "e"},
        {"forged far outside the stream",
         "d8:announce3:abc4:info" + Info + "12:_info_lengthi99999999999e11:_info_starti-5ee"},
        {"forged as strings", "d8:announce3:abc4:info" + Info + "12:_info_length1:x11:_info_start1:ye"},
    };
    for (const auto& [Title, Document] : Cases) {
        SCOPED_TRACE(Title);
        const TLoaded Got = Load(Document);
        EXPECT_TRUE(Got.Result);
        EXPECT_EQ(Got.Torrent->InfoHash, Real);
    }
    // Forged keys without any "info" give no hash at all.
    const TLoaded None = Load("d12:_info_lengthi3e11:_info_starti0e8:announce3:abce");
    EXPECT_TRUE(None.Torrent->InfoHash.empty());
    EXPECT_EQ(Messages(*None.Torrent), std::vector<std::string>{MsgInfo});
}

TEST(TorrentFileInfoHash, TruncatedInfoGivesAMessageAndNoHash)
{
    const std::string Document = WithInfo(SingleInfo());
    // The closing 'e' of the info and of the root gone, then a byte of the pieces
    // as well, then a cut deep inside the pieces string.
    for (const size_t Cut : {size_t{2}, size_t{3}, size_t{12}}) {
        SCOPED_TRACE(Cut);
        const TLoaded Got = Load(Document.substr(0, Document.size() - Cut));
        EXPECT_TRUE(Got.Result);
        EXPECT_TRUE(Got.Torrent->InfoHash.empty());
        EXPECT_TRUE(Got.Torrent->InfoHashBytes.empty());
        ASSERT_FALSE(Got.Torrent->Errors.empty());
        EXPECT_EQ(Messages(*Got.Torrent).back(), MsgTruncated);
        // No hash, no link: neither the bare one nor the full one.
        EXPECT_EQ(Got.Torrent->MagnetLink(), "");
        EXPECT_EQ(Got.Torrent->FullMagnetLink(), "");
    }
}

TEST(TorrentFileInfoHash, RootLackingOnlyItsFinalEStillHashes)
{
    const std::string Document = WithInfo(SingleInfo());
    const TLoaded Whole = Load(Document);
    const TLoaded Cut = Load(Document.substr(0, Document.size() - 1));
    EXPECT_TRUE(Cut.Result);
    EXPECT_TRUE(Messages(*Cut.Torrent).empty());
    EXPECT_EQ(Cut.Torrent->InfoHash, "47f4c351a259b3e483c11b41f0aa57b97bae65e2");
    EXPECT_EQ(Cut.Torrent->InfoHash, Whole.Torrent->InfoHash);
}

TEST(TorrentFileInfoHash, NestedInfoKeysDoNotCount)
{
    // An "info" key inside another dictionary is not the torrent's info.
    const TLoaded Got = Load(D({{"announce", S("a")}, {"extra", D({{"info", S("x")}})}}));
    EXPECT_TRUE(Got.Result);
    EXPECT_TRUE(Got.Torrent->InfoHash.empty());
    EXPECT_EQ(Messages(*Got.Torrent), std::vector<std::string>{MsgInfo});
}

// ---------------------------------------------------------------------------
// v2 metainfo. File trees are written with sorted keys, as the format wants.

std::string Leaf(int64_t Length)
{
    return D({{"", D({{"length", I(Length)}, {"pieces root", S(std::string(32, '\xab'))}})}});
}

const std::string V2OnlyInfo =
    D({{"file tree", D({{"c.bin", Leaf(7)}, {"dir", D({{"a.txt", Leaf(100)}, {"b.txt", Leaf(50)}})}})},
       {"meta version", I(2)},
       {"name", S("test")},
       {"piece length", I(16384)}});

const std::string HybridInfo = D({{"file tree", D({{"file.bin", Leaf(700)}})},
                                  {"length", I(700)},
                                  {"meta version", I(2)},
                                  {"name", S("file.bin")},
                                  {"piece length", I(16384)},
                                  {"pieces", S(std::string(20, '\x02'))}});

TEST(TorrentFileV2, V2OnlyGetsTheSha256LinkAndItsFileTree)
{
    const TLoaded Got = Load("d8:announce3:abc4:info" + V2OnlyInfo + "e");
    ASSERT_TRUE(Got.Result);
    const TTorrentFile& T = *Got.Torrent;
    EXPECT_TRUE(Messages(T).empty());  // no "pieces", "length" or "files": by design
    EXPECT_EQ(T.MetaVersion, 2);
    EXPECT_TRUE(T.IsV2Only());
    EXPECT_EQ(T.InfoHash, "d21926eaccf73549c0ff4b86dc38cd8c67a1f0c7");
    EXPECT_EQ(T.InfoHashV2, "065ec0dc4390f16fdd08f02b9da220476af76fc6421bc7ccd52055df59f17f91");
    EXPECT_EQ(BytesToHex(T.InfoHashV2Bytes, 999), T.InfoHashV2);
    EXPECT_EQ(T.MagnetLink(),
              "magnet:?xt=urn:btmh:1220"
              "065ec0dc4390f16fdd08f02b9da220476af76fc6421bc7ccd52055df59f17f91");
    EXPECT_TRUE(T.MultiFile);
    EXPECT_EQ(T.FileCount, 3);
    EXPECT_EQ(T.TotalLength, 157);
    struct TExpected {
        const char* Path;
        const char* Name;
        int64_t Length, Offset;
    };
    const TExpected Expected[] = {{"", "c.bin", 7, 0}, {"dir\\", "a.txt", 100, 7}, {"dir\\", "b.txt", 50, 107}};
    ASSERT_EQ(T.Files.size(), std::size(Expected));
    for (size_t k = 0; k < std::size(Expected); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(T.Files[k]->Path, Expected[k].Path);
        EXPECT_EQ(T.Files[k]->Name, Expected[k].Name);
        EXPECT_EQ(T.Files[k]->Length, Expected[k].Length);
        EXPECT_EQ(T.Files[k]->Offset, Expected[k].Offset);
    }
}

TEST(TorrentFileV2, SingleFileTreeIsNotMultiFile)
{
    const std::string Info = D({{"file tree", D({{"only.bin", Leaf(1234)}})},
                                {"meta version", I(2)},
                                {"name", S("only.bin")},
                                {"piece length", I(16384)}});
    const TLoaded Got = Load(WithInfo(Info));
    ASSERT_TRUE(Got.Result);
    EXPECT_FALSE(Got.Torrent->MultiFile);
    EXPECT_EQ(Got.Torrent->FileCount, 1);
    EXPECT_EQ(Got.Torrent->TotalLength, 1234);
}

TEST(TorrentFileV2, HybridKeepsTheSha1Link)
{
    const TLoaded Got = Load("d8:announce3:abc4:info" + HybridInfo + "e");
    ASSERT_TRUE(Got.Result);
    const TTorrentFile& T = *Got.Torrent;
    EXPECT_TRUE(Messages(T).empty());
    EXPECT_FALSE(T.IsV2Only());
    EXPECT_EQ(T.InfoHash, "f721901c23266b3198109a18cdd84ad619c86339");
    EXPECT_EQ(T.InfoHashV2, "3c0c06e8ae32619b36f2bbd13c4515b994e8591d559353c5f05d822a9c839118");
    EXPECT_EQ(T.MagnetLink(), "magnet:?xt=urn:btih:f721901c23266b3198109a18cdd84ad619c86339");
    EXPECT_EQ(T.FileCount, 1);
    EXPECT_EQ(T.TotalLength, 700);
}

TEST(TorrentFileV2, OnlyTheInteger2IsVersion2)
{
    const std::pair<std::string, int64_t> Cases[] = {{I(1), 1}, {S("2"), 0}, {L({}), 0}, {I(3), 3}};
    for (const auto& [Value, Expected] : Cases) {
        SCOPED_TRACE(Value);
        const TLoaded Got = Load(WithInfo(D({{"meta version", Value}, {"name", S("n")}, {"piece length", I(1)}})));
        EXPECT_TRUE(Got.Result);
        EXPECT_EQ(Got.Torrent->MetaVersion, Expected);
        EXPECT_TRUE(Got.Torrent->InfoHashV2.empty());
        EXPECT_FALSE(Got.Torrent->IsV2Only());
        EXPECT_EQ(Messages(*Got.Torrent), (std::vector<std::string>{MsgPieces, MsgNeither}));
    }
}

TEST(TorrentFileV2, TruncatedV2OnlyHasNoLink)
{
    const std::string Document = "d8:announce3:abc4:info" + V2OnlyInfo + "e";
    const TLoaded Got = Load(Document.substr(0, Document.size() - 2));
    EXPECT_TRUE(Got.Result);
    EXPECT_TRUE(Got.Torrent->InfoHashV2.empty());
    EXPECT_EQ(Messages(*Got.Torrent), std::vector<std::string>{MsgTruncated});
    EXPECT_EQ(Got.Torrent->MagnetLink(), "");
    EXPECT_EQ(Got.Torrent->FullMagnetLink(), "");
}

// One file at the bottom of Depth nested folders.
std::string DeepTree(int Depth)
{
    std::string Tree = "d";
    for (int k = 0; k < Depth; ++k) Tree += "1:ad";
    Tree += "0:d6:lengthi1ee";
    return Tree + std::string(static_cast<size_t>(Depth) + 1, 'e');
}

TEST(TorrentFileV2, IrregularFileTreesNeverBreakTheLoad)
{
    const std::vector<std::string> Trees = {
        "de",
        D({{"a", S("not a directory")}}),
        D({{"a", D({{"", S("no properties")}})}}),
        D({{"a", D({{"", D({{"length", S("5")}})}})}}),
        D({{"a", D({{"", D({{"length", L({I(1)})}})}})}}),
        D({{"", Leaf(9)}}),
        "d1:ad1:bd1:cd1:dd0:d6:lengthi1eeeeeee",
        std::string(500, 'l') + std::string(500, 'e'),
        DeepTree(900),
    };
    for (const auto& Tree : Trees) {
        SCOPED_TRACE(Tree.substr(0, 60));
        const std::string Info =
            D({{"file tree", Tree}, {"meta version", I(2)}, {"name", S("n")}, {"piece length", I(16384)}});
        const TLoaded Got = Load(WithInfo(Info));
        EXPECT_TRUE(Got.Result);
        EXPECT_EQ(Got.Torrent->InfoHashV2.size(), 64u);
        EXPECT_EQ(Got.Torrent->FileCount, static_cast<int32_t>(Got.Torrent->Files.size()));
    }
}

// ---------------------------------------------------------------------------
// Agreement with libtorrent, when Debian's python3-libtorrent is installed.

std::string Python()
{
    return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

bool LibtorrentAvailable()
{
    const std::string Command = Python() + " -c 'import libtorrent' >/dev/null 2>&1";
    return std::system(Command.c_str()) == 0;
}

TEST(TorrentFileAgreement, HashesMatchLibtorrent)
{
    if (!LibtorrentAvailable()) GTEST_SKIP() << "python3 with libtorrent is not installed";

    const auto Dir = std::filesystem::temp_directory_path() / (std::string("velmora_lt_") + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    std::string Pieces(20 * 3000, '\0');
    for (size_t k = 0; k < Pieces.size(); ++k) Pieces[k] = static_cast<char>(k * 31 + 7);
    const std::vector<std::pair<std::string, std::string>> Documents = {
        {"canonical", WithInfo(SingleInfo())},
        {"multi", WithInfo(D({{"files", L({D({{"length", I(10)}, {"path", L({S("a"), S("b.txt")})}}),
                                           D({{"length", I(5)}, {"path", L({S("c.txt")})}})})},
                              {"name", S("folder")},
                              {"piece length", I(16384)},
                              {"pieces", S(Piece1)},
                              {"private", I(1)}}))},
        {"unsorted",
         "d4:infod4:name9:movie.avi6:lengthi700e6:pieces20:" + Piece1 + "12:piece lengthi16384ee8:announce3:abce"},
        {"zeros",
         "d8:announce3:abc4:infod6:lengthi0700e4:name9:movie.avi12:piece lengthi016384e"
         "6:pieces20:" +
             Piece1 + "ee"},
        {"large",
         WithInfo(D(
             {{"length", I(3000 * 16384)}, {"name", S("large")}, {"piece length", I(16384)}, {"pieces", S(Pieces)}}))},
        {"v2only", WithInfo(V2OnlyInfo)},
        {"hybrid", WithInfo(HybridInfo)},
    };
    std::string Script =
        "import libtorrent as lt, sys\n"
        "for p in sys.argv[1:]:\n"
        "    h = lt.torrent_info(p).info_hashes()\n"
        "    print((str(h.v1) if h.has_v1() else '') + ' ' + "
        "(str(h.v2) if h.has_v2() else ''))\n";
    std::ofstream(Dir / "hashes.py") << Script;
    std::string Command = Python() + " " + (Dir / "hashes.py").string();
    std::vector<std::pair<std::string, std::string>> Ours;
    for (const auto& [Title, Document] : Documents) {
        const auto Path = Dir / (Title + ".torrent");
        std::ofstream(Path, std::ios::binary) << Document;
        Command += ' ';
        Command += Path.string();
        const TLoaded Got = Load(Document);
        ASSERT_TRUE(Got.Result) << Title;
        // libtorrent names no v1 hash for a v2-only torrent.
        Ours.emplace_back(Got.Torrent->IsV2Only() ? "" : Got.Torrent->InfoHash, Got.Torrent->InfoHashV2);
    }
    Command += " > " + (Dir / "out.txt").string();
    ASSERT_EQ(std::system(Command.c_str()), 0);
    std::ifstream In(Dir / "out.txt");
    for (size_t k = 0; k < Documents.size(); ++k) {
        SCOPED_TRACE(Documents[k].first);
        std::string Line;
        ASSERT_TRUE(std::getline(In, Line));
        EXPECT_EQ(Line, Ours[k].first + " " + Ours[k].second);
    }
    std::filesystem::remove_all(Dir);
}

// ---------------------------------------------------------------------------
// The full link, against libtorrent's make_magnet_uri.

// A single-file info dictionary named Name (raw bytes), with Extra entries after
// "length" (keys must sort after it for libtorrent to take the dictionary as is).
std::string NamedInfo(std::string_view Name, const std::string& Extra = "")
{
    return "d6:lengthi700e" + Extra + "4:name" + S(Name) + "12:piece lengthi16384e6:pieces" + S(Piece1) + "e";
}

std::string TwoFileInfo(std::string_view Name)
{
    return D({{"files", L({D({{"length", I(10)}, {"path", L({S("a"), S("b.txt")})}}),
                           D({{"length", I(5)}, {"path", L({S("c.txt")})}})})},
              {"name", S(Name)},
              {"piece length", I(16384)},
              {"pieces", S(Piece1)}});
}

// Root entries before "info" (sorted keys), then the info dictionary.
std::string Root(const std::string& Before, const std::string& Info, const std::string& After = "")
{
    return "d" + Before + "4:info" + Info + After + "e";
}

std::string Tiers(const std::vector<std::vector<std::string>>& Tiers)
{
    std::string Out = "13:announce-listl";
    for (const auto& Tier : Tiers) {
        Out += 'l';
        for (const auto& Url : Tier) Out += S(Url);
        Out += 'e';
    }
    return Out + "e";
}

std::string Announce(std::string_view Url)
{
    return "8:announce" + S(Url);
}
std::string UrlList(const std::vector<std::string>& Urls)
{
    std::string Out = "8:url-listl";
    for (const auto& Url : Urls) Out += S(Url);
    return Out + "e";
}

struct TLinkCase {
    const char* Title;
    std::string Document;
};

std::vector<TLinkCase> LinkCases()
{
    const std::string Tracker = Announce("http://tracker.example/announce");
    return {
        {"plain", Root(Tracker, NamedInfo("movie.avi"))},
        {"blanks", Root(Tracker, NamedInfo(" a  b "))},
        {"brackets", Root(Tracker, NamedInfo("Film [1080p] (2020) {x}"))},
        {"cyrillic", Root(Tracker, NamedInfo("Привет мир.mkv"))},
        {"reserved", Root(Tracker, NamedInfo("a&b+c#d%e=f?g;h:i@j$k,l'm\"n<o>p^q`r|s~t!u*v"))},
        {"separators", Root(Tracker, NamedInfo("AC/DC\\live"))},
        {"ending .torrent", Root(Tracker, NamedInfo("name.torrent"))},
        {"control bytes", Root(Tracker, NamedInfo(std::string("a\tb\x01"
                                                              "c\x7f"
                                                              "d\0e",
                                                              10)))},
        {"direction marks", Root(Tracker, NamedInfo("evil\xE2\x80\xAEgpj.exe\xE2\x80\x8E"))},
        {"bad utf-8", Root(Tracker, NamedInfo("\xff\xfe|\xd0|\xd0"
                                              "a|\xc0\x80|\xed\xa0\x80|\xf4\x90\x80\x80|"
                                              "\xf8\x88\x80\x80\x80|\xfc|\x80|\xe2\x80"
                                              "x|ok\xf0\x9f\x98\x80\xd0"))},
        {"three dots", Root(Tracker, NamedInfo("..."))},
        {"long name", Root(Tracker, NamedInfo(std::string(300, 'a')))},
        {"long name, extension", Root(Tracker, NamedInfo(std::string(250, 'b') + ".x.mkv"))},
        {"long name, cut at a dot", Root(Tracker, NamedInfo(std::string(241, 'c') + ".abc"))},
        {"long name, bad byte near the end",
         Root(Tracker, NamedInfo(std::string(239, 'd') + "\xff" + std::string(20, 'x') + ".ab"))},
        {"long cyrillic name", Root(Tracker, NamedInfo(std::string(238, 'e') + std::string(10, '\xd0') + ".ext"))},
        {"name.utf-8 first", Root(Tracker, NamedInfo("legacy", "10:name.utf-8" + S("юникод")))},
        // Names that cleaning leaves nothing of: libtorrent names the folder after
        // the SHA-1 of the info bytes (a v2-only torrent too), an empty name "_".
        {"two dots, folder", Root(Tracker, TwoFileInfo(".."))},
        {"one dot, folder", Root(Tracker, TwoFileInfo("."))},
        {"separators only, folder", Root(Tracker, TwoFileInfo("/\\"))},
        {"direction mark only, folder", Root(Tracker, TwoFileInfo("\xE2\x80\xAE"))},
        {"empty name, folder", Root(Tracker, TwoFileInfo(""))},
        {"name.utf-8 two dots, folder", Root(Tracker, D({{"files", L({D({{"length", I(10)}, {"path", L({S("a")})}}),
                                                                      D({{"length", I(5)}, {"path", L({S("b")})}})})},
                                                         {"name", S("ok")},
                                                         {"name.utf-8", S("..")},
                                                         {"piece length", I(16384)},
                                                         {"pieces", S(Piece1)}}))},
        {"no tracker", Root("", NamedInfo("alone"))},
        {"private, no tracker", Root("", NamedInfo("secret", "7:privatei1e"))},
        {"tracker with query", Root(Announce("http://t.example/a?passkey=1&x=a b"), NamedInfo("q"))},
        {"tracker blanks", Root(Announce(" \t\r\n\f\vhttp://t.example/a \t"), NamedInfo("q"))},
        {"tiers in order",
         Root(Announce("http://ignored.example/") +
                  Tiers({{"udp://one.example:80"}, {}, {"http://two.example/a"}, {"", " "}, {"udp://one.example:80"}}),
              NamedInfo("tiers"))},
        {"empty tiers fall back", Root(Announce("http://fallback.example/") + Tiers({{}, {""}}), NamedInfo("f"))},
        {"several per tier", Root(Tracker + Tiers({{"http://a.example/", "http://b.example/", "http://c.example/"},
                                                   {"udp://d.example:1", "udp://d.example:1"}}),
                                  NamedInfo("s"))},
        {"non-ascii tracker", Root(Tiers({{"udp://трекер.example/ann"}}), NamedInfo("u"))},
        {"web seed string", Root(Tracker, NamedInfo("w"), "8:url-list" + S("http://w.example/x y"))},
        {"web seeds", Root(Tracker, NamedInfo("w"),
                           UrlList({"http://w.example/1", "", "http://w.example/1", "ftp://w.example/ü?q=a b#f",
                                    "http://u:p@w.example:080/a b@c", "http://[::1]:80/a b", "http://[::1/a b",
                                    "http://w.example:/a b", "http://w.example:x/a b", "http://w.example?a b",
                                    "http://w.example/a%20b", "w.example/a b", " http://lead.example/a b",
                                    "http://w.example/\x01", "HTTP://W.EXAMPLE/A B"}))},
        {"web seeds, folder", Root(Tracker, TwoFileInfo("folder"),
                                   UrlList({"http://w.example/a", "http://w.example/a/", "http://w.example"}))},
        {"web seeds, one file in a list", Root(Tracker,
                                               D({{"files", L({D({{"length", I(10)}, {"path", L({S("a")})}})})},
                                                  {"name", S("one")},
                                                  {"piece length", I(16384)},
                                                  {"pieces", S(Piece1)}}),
                                               UrlList({"http://w.example/a"}))},
        {"unsorted keys",
         "d4:infod4:name9:movie.avi6:lengthi700e6:pieces20:" + Piece1 + "12:piece lengthi16384ee8:announce3:abce"},
        {"v2 only", Root(Announce("http://t.example/v2"), V2OnlyInfo)},
        {"v2 only, two dots",
         Root(Announce("http://t.example/v2"), D({{"file tree", D({{"a.txt", Leaf(100)}, {"b.txt", Leaf(50)}})},
                                                  {"meta version", I(2)},
                                                  {"name", S("..")},
                                                  {"piece length", I(16384)}}))},
        {"hybrid", Root(Announce("http://t.example/h") + Tiers({{"udp://h.example:1"}}), HybridInfo,
                        UrlList({"http://w.example/h"}))},
    };
}

// The tr= values of Link, with those of each tier (Sizes, in order) sorted:
// libtorrent shuffles the trackers of a tier, our link keeps the file's order.
std::string SortedWithinTiers(const std::string& Link, const std::vector<size_t>& Sizes)
{
    std::vector<std::string> Parts;
    for (size_t Start = 0;;) {
        const size_t Amp = Link.find('&', Start);
        Parts.push_back(Link.substr(Start, Amp == std::string::npos ? std::string::npos : Amp - Start));
        if (Amp == std::string::npos) break;
        Start = Amp + 1;
    }
    auto First = std::find_if(Parts.begin(), Parts.end(), [](const std::string& P) { return P.rfind("tr=", 0) == 0; });
    for (const size_t Size : Sizes) {
        if (static_cast<size_t>(Parts.end() - First) < Size) break;
        std::sort(First, First + static_cast<std::ptrdiff_t>(Size));
        First += static_cast<std::ptrdiff_t>(Size);
    }
    std::string Out;
    for (const auto& Part : Parts) {
        if (!Out.empty()) Out += '&';
        Out += Part;
    }
    return Out;
}

TEST(TorrentFileAgreement, FullLinkMatchesLibtorrent)
{
    if (!LibtorrentAvailable()) GTEST_SKIP() << "python3 with libtorrent is not installed";

    const auto Dir =
        std::filesystem::temp_directory_path() / (std::string("velmora_ltlink_") + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    // Per file: libtorrent's link (or why it refused), then the tracker count of
    // each tier in link order.
    std::ofstream(Dir / "links.py") << "import libtorrent as lt, sys\n"
                                       "for p in sys.argv[1:]:\n"
                                       "    try:\n"
                                       "        ti = lt.torrent_info(p)\n"
                                       "    except RuntimeError as e:\n"
                                       "        print('refused: %s' % e); print(); continue\n"
                                       "    print(lt.make_magnet_uri(ti))\n"
                                       "    tiers = [t.tier for t in ti.trackers()]\n"
                                       "    print(','.join(str(tiers.count(t)) for t in sorted(set(tiers))))\n";
    const auto Cases = LinkCases();
    std::string Command = Python() + " " + (Dir / "links.py").string();
    for (size_t k = 0; k < Cases.size(); ++k) {
        const auto Path = Dir / (std::to_string(k) + ".torrent");
        std::ofstream(Path, std::ios::binary) << Cases[k].Document;
        Command += ' ';
        Command += Path.string();
    }
    Command += " > " + (Dir / "out.txt").string();
    ASSERT_EQ(std::system(Command.c_str()), 0);
    std::ifstream In(Dir / "out.txt");
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Title);
        std::string Theirs, SizesLine;
        ASSERT_TRUE(std::getline(In, Theirs));
        ASSERT_TRUE(std::getline(In, SizesLine));
        const TLoaded Got = Load(Case.Document);
        ASSERT_TRUE(Got.Result);
        ASSERT_TRUE(Got.Torrent->HasLinkHash());
        ASSERT_EQ(Theirs.rfind("magnet:", 0), 0u) << Theirs;
        std::vector<size_t> Sizes;
        std::istringstream SizesIn(SizesLine);
        for (std::string Size; std::getline(SizesIn, Size, ',');) Sizes.push_back(std::stoul(Size));
        EXPECT_EQ(SortedWithinTiers(Got.Torrent->FullMagnetLink(), Sizes), SortedWithinTiers(Theirs, Sizes));
    }
    std::filesystem::remove_all(Dir);
}

// Where the link cannot be checked against libtorrent: the order inside a tier
// (it shuffles), names it refuses, and which links find no peers.
TEST(TorrentFileFullLink, KeepsTheFileOrderAndJudgesPrivateLinks)
{
    struct TCase {
        const char* Title;
        std::string Document;
        std::string Tail;  // the full link after its btih hash
        bool BareFindsNoPeers, FullFindsNoPeers;
    } Cases[] = {
        {"tier order kept",
         Root(Tiers({{"http://b.example/", "http://a.example/"}, {"http://c.example/"}}), NamedInfo("n")),
         "&dn=n&tr=http%3a%2f%2fb.example%2f&tr=http%3a%2f%2fa.example%2f&tr=http%3a%2f%2fc.example%2f", false, false},
        // libtorrent refuses a single file whose name cleaning empties; named as it
        // names a folder of that name.
        {"empty name: dn=_", Root(Announce("http://t/"), NamedInfo("")), "&dn=_&tr=http%3a%2f%2ft%2f", false, false},
        {"two dots: dn is the hash", Root("", NamedInfo("..")), "&dn={hash}", false, false},
        {"no name: no dn", Root("", "d6:lengthi700e12:piece lengthi16384e6:pieces" + S(Piece1) + "e"), "", false,
         false},
        {"private with tracker", Root(Announce("http://t/"), NamedInfo("p", "7:privatei1e")),
         "&dn=p&tr=http%3a%2f%2ft%2f", true, false},
        {"private, blank tracker", Root(Announce("  "), NamedInfo("p", "7:privatei1e")), "&dn=p", true, true},
        {"private 0", Root("", NamedInfo("p", "7:privatei0e")), "&dn=p", false, false},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Title);
        const TLoaded Got = Load(Case.Document);
        ASSERT_TRUE(Got.Result);
        const TTorrentFile& T = *Got.Torrent;
        std::string Tail = Case.Tail;
        if (const size_t At = Tail.find("{hash}"); At != std::string::npos) Tail.replace(At, 6, T.InfoHash);
        EXPECT_EQ(T.FullMagnetLink(), T.MagnetLink() + Tail);
        EXPECT_EQ(T.LinkFindsNoPeers(false), Case.BareFindsNoPeers);
        EXPECT_EQ(T.LinkFindsNoPeers(true), Case.FullFindsNoPeers);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// What a torrent holds, packed for the list and the contents window

std::vector<std::string> Strings(const std::vector<std::string_view>& Views)
{
    return std::vector<std::string>(Views.begin(), Views.end());
}

TEST(TorrentContents, FilesAreTheLoadersWithTheirElementsAndPadMarks)
{
    const std::string Info =
        D({{"files", L({D({{"length", I(10)}, {"path", L({S("a\\b"), S("c.txt")})}}),
                        D({{"attr", S("p")}, {"length", I(6)}, {"path", L({S("x"), S("attr-pad")})}}),
                        D({{"length", I(5)}, {"path", L({S(".pad"), S("5")})}}),
                        D({{"length", I(4)}, {"path", L({S("_____padding_file_0_if you see this file")})}}),
                        D({{"attr", S("x")}, {"length", I(3)}, {"path", L({S("keep")})}}), D({{"path", L({S("gap")})}}),
                        D({{"length", I(1)}, {"path", L({})}}),
                        D({{"length", I(2)},
                           {"path", L({S("raw"), S("\xff.txt")})},
                           {"path.utf-8", L({S("utf"), S("\xD1\x84.txt")})}})})},
           {"name", S("folder")},
           {"piece length", I(32768)},
           {"pieces", S(Piece1)}});
    const TLoaded Got = Load(WithInfo(Info));
    ASSERT_TRUE(Got.Result);
    const TTorrentFile& T = *Got.Torrent;
    const TTorrentContents Contents = ContentsOf(T);
    struct TExpected {
        std::vector<std::string> Path, PathUtf8;
        bool Pad;
    };
    const std::vector<TExpected> Expected = {
        {{"a\\b", "c.txt"}, {}, false},  // a backslash inside a name splits nothing
        {{"x", "attr-pad"}, {}, true},
        {{".pad", "5"}, {}, true},
        {{"_____padding_file_0_if you see this file"}, {}, true},
        {{"keep"}, {}, false},
        {{"gap"}, {}, false},
        {{}, {}, false},
        {{"raw", "\xff.txt"}, {"utf", "\xD1\x84.txt"}, false}};
    ASSERT_EQ(Contents.FileCount(), int64_t(Expected.size()));
    size_t k = 0;
    Contents.ForEachFile([&](const TTorrentContentsFile& File) {
        SCOPED_TRACE(k);
        ASSERT_LT(k, T.Files.size());
        EXPECT_EQ(Strings(File.Path), Expected[k].Path);
        EXPECT_EQ(Strings(File.PathUtf8), Expected[k].PathUtf8);
        EXPECT_EQ(File.Pad, Expected[k].Pad);
        EXPECT_EQ(TTorrentContents::JoinedPath(File.Path), T.Files[k]->Path + T.Files[k]->Name);
        EXPECT_EQ(File.Length, T.Files[k]->Length);
        EXPECT_EQ(File.Offset, T.Files[k]->Offset);
        ++k;
    });
    EXPECT_EQ(k, Expected.size());

    // Read where they lie, without packing, the files are the same.
    const TTorrentContentsView View(T);
    ASSERT_EQ(View.FileCount(), int64_t(Expected.size()));
    k = 0;
    View.ForEachFile([&](const TTorrentContentsFile& File) {
        SCOPED_TRACE(k);
        ASSERT_LT(k, Expected.size());
        EXPECT_EQ(Strings(File.Path), Expected[k].Path);
        EXPECT_EQ(Strings(File.PathUtf8), Expected[k].PathUtf8);
        EXPECT_EQ(File.Pad, Expected[k].Pad);
        EXPECT_EQ(File.Length, T.Files[k]->Length);
        EXPECT_EQ(File.Offset, T.Files[k]->Offset);
        ++k;
    });
    EXPECT_EQ(k, Expected.size());
}

TEST(TorrentContents, FactsAndTheUtf8Variants)
{
    const std::string Info = D({{"length", I(700)},
                                {"name", S("movie.avi.torrent")},
                                {"name.utf-8", S("\xD1\x84.avi")},
                                {"piece length", I(16384)},
                                {"pieces", S(Piece1 + Piece1)},
                                {"private", I(1)}});
    const std::string Document = D({{"announce", S("http://a.example/")},
                                    {"announce-list", L({L({S("udp://one"), I(7)}), L({}), L({S("http://two")})})},
                                    {"comment", S("plain")},
                                    {"comment.utf-8", S("\xD1\x84")},
                                    {"created by", S("mktorrent 1.1")},
                                    {"creation date", I(1700000000)},
                                    {"encoding", S("UTF-8")},
                                    {"info", Info},
                                    {"url-list", L({S("https://seed.example/"), I(3)})}});
    const TLoaded Got = Load(Document);
    ASSERT_TRUE(Got.Result);
    const TTorrentFile& T = *Got.Torrent;
    const TTorrentContents Contents = ContentsOf(T);
    const TTorrentFacts F = Contents.Facts();
    EXPECT_EQ(F.Name, "movie.avi");
    EXPECT_EQ(F.NameUtf8, "\xD1\x84.avi");
    EXPECT_EQ(F.Comment, "plain");
    EXPECT_EQ(F.CommentUtf8, "\xD1\x84");
    EXPECT_EQ(F.CreatedBy, "mktorrent 1.1");
    EXPECT_EQ(F.Announce, "http://a.example/");
    EXPECT_EQ(F.Encoding, "UTF-8");
    EXPECT_EQ(F.InfoHash, T.InfoHashBytes);
    EXPECT_TRUE(F.InfoHashV2.empty());
    EXPECT_EQ(F.TotalLength, 700);
    EXPECT_EQ(F.PieceCount, 2);
    EXPECT_EQ(F.PieceLength, 16384);
    EXPECT_EQ(F.FileCount, 1);
    EXPECT_TRUE(F.Private);
    EXPECT_FALSE(F.MultiFile);
    EXPECT_TRUE(F.HasCreationDate);
    EXPECT_EQ(F.CreationDate, T.CreationDate);
    // The tiers hold what the loader's flat list holds: no integer, no empty tier.
    ASSERT_EQ(F.Tiers.size(), 2u);
    EXPECT_EQ(Strings(F.Tiers[0]), std::vector<std::string>{"udp://one"});
    EXPECT_EQ(Strings(F.Tiers[1]), std::vector<std::string>{"http://two"});
    EXPECT_EQ(F.ShownName(), "\xD1\x84.avi");
    EXPECT_EQ(F.ShownComment(), "\xD1\x84");
    EXPECT_EQ(Strings(F.WebSeeds), std::vector<std::string>{"https://seed.example/"});
    // A single file is named by the torrent, its UTF-8 name beside it.
    Contents.ForEachFile([&](const TTorrentContentsFile& File) {
        EXPECT_EQ(Strings(File.Path), std::vector<std::string>{"movie.avi"});
        EXPECT_EQ(Strings(File.PathUtf8), std::vector<std::string>{"\xD1\x84.avi"});
    });
}

TEST(TorrentContents, ATierOfTheWrongKindIsSkippedAlone)
{
    // The second tier is no list: it is skipped, the tiers around it stay, and a
    // tier's repeats and empty trackers are left out as the loader leaves them out.
    const TLoaded Got =
        Load(D({{"announce", S("http://a.example/")},
                {"announce-list", L({L({S("udp://one"), S(""), S("udp://one")}), S("not a tier"), L({S("udp://x")})})},
                {"info", SingleInfo()}}));
    ASSERT_TRUE(Got.Result);
    // The facts are views: the contents must outlive them.
    const TTorrentContents Contents = ContentsOf(*Got.Torrent);
    const TTorrentFacts F = Contents.Facts();
    ASSERT_EQ(F.Tiers.size(), 2u);
    EXPECT_EQ(Strings(F.Tiers[0]), std::vector<std::string>{"udp://one"});
    EXPECT_EQ(Strings(F.Tiers[1]), std::vector<std::string>{"udp://x"});
    EXPECT_TRUE(TTorrentContents().Facts().Name.empty());
    EXPECT_EQ(TTorrentContents().FileCount(), 0);
}
