// velmora-cli run as a program: plain links, JSON Lines, failures on standard
// error, exit statuses and the usage errors.

#include <gtest/gtest.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Bencode.h"
#include "TestSupport.h"
#ifdef _WIN32
#include "Win32Text.h"
#endif

namespace {

namespace fs = std::filesystem;

// The system's words for a file that is not there.
#ifdef _WIN32
const std::string NoSuchFile = SystemErrorText(ERROR_FILE_NOT_FOUND);
#else
const std::string NoSuchFile = "No such file or directory";
#endif

std::string S(std::string_view Text)
{
    return Bencode::String(Text);
}

// A single-file torrent; Extra is spliced into the root after "announce".
std::string Torrent(std::string_view Name, const std::string& Extra = "")
{
    return "d8:announce" + S("http://t.example/a") + Extra + "4:infod6:lengthi700e4:name" + S(Name) +
           "12:piece lengthi16384e6:pieces" + S(std::string(20, '\x01')) + "ee";
}

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
    std::vector<std::string> OutLines() const { return Lines(Out); }
    std::vector<std::string> ErrLines() const { return Lines(Err); }
    static std::vector<std::string> Lines(const std::string& Text)
    {
        std::vector<std::string> Result;
        std::istringstream In(Text);
        for (std::string Line; std::getline(In, Line);) Result.push_back(Line);
        return Result;
    }
};

// Name, in UTF-8, inside Folder, as the program is given it (a narrow name in a
// Windows path is read in the ANSI code page instead).
std::string Inside(const fs::path& Folder, const std::string& Name)
{
    return Folder.string() + static_cast<char>(fs::path::preferred_separator) + Name;
}

std::string ReadAll(const fs::path& Path)
{
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = fs::temp_directory_path() / (std::string("velmora cli ") + std::to_string(::getpid()) + " " +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::string Write(const std::string& Name, const std::string& Bytes)
    {
        const fs::path Path = Dir / Name;
        std::ofstream(Path, std::ios::binary) << Bytes;
        return Path.string();
    }

    std::string Program = VelmoraCli();

    // Input, when given, is what the program reads on standard input; Env holds
    // assignments put before the command, as a shell reads them.
    TRun Run(const std::vector<std::string>& Args, const std::string* Input = nullptr, const std::string& Env = "")
    {
        const TProgramRun Ran = RunProgram(Program, Args, Dir.string(), Input, Env);
        TRun Result;
        Result.Status = Ran.Status;
        Result.Out = Ran.Out;
        Result.Err = Ran.Err;
        return Result;
    }

    fs::path Dir;
};

// SHA-1 of the info bytes of Torrent(), as Python's hashlib computes them.
const char* const MovieHash = "47f4c351a259b3e483c11b41f0aa57b97bae65e2";

TEST_F(Cli, PrintsOneLinkPerFileInOrder)
{
    const std::string A = Write("a.torrent", Torrent("movie.avi"));
    const std::string B = Write("b.torrent", Torrent("other"));
    const TRun R = Run({A, B, A});
    EXPECT_EQ(R.Status, 0);
    EXPECT_EQ(R.Err, "");
    const auto Lines = R.OutLines();
    ASSERT_EQ(Lines.size(), 3u);
    EXPECT_EQ(Lines[0], std::string("magnet:?xt=urn:btih:") + MovieHash);
    EXPECT_NE(Lines[1], Lines[0]);
    EXPECT_EQ(Lines[1].size(), 60u);
    EXPECT_EQ(Lines[2], Lines[0]);
}

TEST_F(Cli, FailuresGoToStandardErrorAndTheOthersGoOn)
{
    const std::string Good = Write("good.torrent", Torrent("movie.avi"));
    const std::string NoInfo = Write("noinfo.torrent", "d8:announce1:xe");
    const std::string Garbage = Write("garbage.torrent", "not bencode");
    const std::string WholeTorrent = Torrent("movie.avi");
    const std::string Cut = Write("cut.torrent", WholeTorrent.substr(0, WholeTorrent.size() - 2));
    const std::string Missing = (Dir / "missing.torrent").string();
    const TRun R = Run({NoInfo, Good, Missing, Garbage, Cut});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.OutLines(), std::vector<std::string>{std::string("magnet:?xt=urn:btih:") + MovieHash});
    const auto Err = R.ErrLines();
    ASSERT_EQ(Err.size(), 4u);
    EXPECT_NE(Err[0].find(NoInfo), std::string::npos);
    EXPECT_NE(Err[0].find("Corrupt File: Missing \"info\" segment"), std::string::npos);
    EXPECT_NE(Err[1].find("Cannot open file \"" + Missing + "\". "), std::string::npos);
    EXPECT_NE(Err[2].find(Garbage), std::string::npos);
    EXPECT_NE(Err[2].find("Error parsing file; does not appear to be valid bencoded metainfo"), std::string::npos);
    EXPECT_NE(Err[3].find(Cut), std::string::npos);
    EXPECT_NE(Err[3].find("Corrupt File: \"info\" segment is truncated"), std::string::npos);

    // A name that could steer the terminal or disguise itself reaches standard error
    // visibly escaped: the message stays one line that shows every byte of the name.
    const struct {
        const char* Name;
        const char* Shown;
    } Names[] = {
        {"csi\x9b"
         "2J",
         "csi<0x9B>2J"},  // a raw C1 byte, no UTF-8
        {"csi\xc2\x9b"
         "2J",
         "csi<U+009B>2J"},  // U+009B as UTF-8
        {"esc\x1b[2Jdel\x7f", "esc<U+001B>[2Jdel<U+007F>"},
        {"line\nbreak\rtab\t", "line<U+000A>break<U+000D>tab<U+0009>"},
        {"invoice\xe2\x80\xae"
         "fdp.exe",
         "invoice<U+202E>fdp.exe"},  // right-to-left override
        {"iso\xe2\x81\xa6late\xe2\x81\xa9", "iso<U+2066>late<U+2069>"},
        {"tag\xf3\xa0\x80\x81", "tag<U+E0001>"},
        {"cut\xe2\x80", "cut<0xE2><0x80>"},
        {"\xef\xbb\xbf"
         "bom",
         "<U+FEFF>bom"},
        {"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 \xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb",
         "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 \xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb"},
    };
    for (const auto& Row : Names) {
        SCOPED_TRACE(Row.Shown);
#ifdef _WIN32
        // A Windows command line is UTF-16 and a Windows name holds no control
        // character: such a name cannot reach the program there.
        std::wstring Wide;
        if (!Utf8ToWide(Row.Name, Wide) ||
            std::any_of(Wide.begin(), Wide.end(), [](wchar_t C) { return C < 0x20 || C == 0x7F; }))
            continue;
#endif
        const TRun Hostile = Run({Inside(Dir, Row.Name)});
        EXPECT_EQ(Hostile.Status, 1);
        EXPECT_EQ(Hostile.Err,
                  "velmora-cli: Cannot open file \"" + Inside(Dir, Row.Shown) + "\". " + NoSuchFile + "\n");
    }
    // So does an unknown option.
#ifndef _WIN32  // raw bytes again
    EXPECT_NE(Run({"--\x9b\xc2\x9b"}).Err.find("unknown option '--<0x9B><U+009B>'\n"), std::string::npos);
#endif
}

TEST_F(Cli, UsageErrorsExitWith2)
{
    const std::string Good = Write("good.torrent", Torrent("movie.avi"));
    for (const auto& Args : std::vector<std::vector<std::string>>{
             {"--bogus", Good}, {Good, "-x"}, {}, {"--json"}, {"--"}, {"--full", "-r"}, {Good, "--files-from"}}) {
        SCOPED_TRACE(Args.empty() ? "(none)" : Args[0]);
        const TRun R = Run(Args);
        EXPECT_EQ(R.Status, 2);
        EXPECT_EQ(R.Out, "");
        EXPECT_NE(R.Err.find("Usage: velmora-cli"), std::string::npos);
    }
    EXPECT_NE(Run({"--bogus"}).Err.find("unknown option '--bogus'"), std::string::npos);
}

TEST_F(Cli, DoubleDashEndsTheOptions)
{
    Write("--json", Torrent("movie.avi"));
    const fs::path Previous = fs::current_path();
    fs::current_path(Dir);
    const TRun R = Run({"--", "--json"});
    fs::current_path(Previous);
    EXPECT_EQ(R.Status, 0);
    EXPECT_EQ(R.OutLines(), std::vector<std::string>{std::string("magnet:?xt=urn:btih:") + MovieHash});
}

TEST_F(Cli, HelpAndVersion)
{
    const TRun Help = Run({"--help"});
    EXPECT_EQ(Help.Status, 0);
    for (const char* Part : {"Usage: velmora-cli", "--json", "--version", "Exit status", "creation_date",
                             "info_hash_v2", "magnet:?xt=urn:btmh:1220", "--full", "--files-from", "--null",
                             "--recursive", "full_link", "private-without-tracker", "<U+XXXX>", "PATH_MAX", "<0xXX>"}) {
        EXPECT_NE(Help.Out.find(Part), std::string::npos) << Part;
    }
    const TRun Version = Run({"--version"});
    EXPECT_EQ(Version.Status, 0);
    EXPECT_EQ(Version.Out.rfind("velmora-cli ", 0), 0u);
    EXPECT_EQ(Version.OutLines().size(), 1u);
}

// The options that --help lists and those that the manual page's OPTIONS section
// lists are the same: an option added to one is added to the other.
TEST_F(Cli, HelpAndManualPageNameTheSameOptions)
{
    // Words that begin with "-" and hold only letters, digits and dashes, between
    // spaces, commas and quotes.
    auto OptionsIn = [](const std::string& Line, std::set<std::string>& Into) {
        std::string Word;
        for (const char c : Line + ' ') {
            if (c == ' ' || c == ',' || c == '"') {
                if (Word.size() > 1 && Word[0] == '-' &&
                    Word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-") ==
                        std::string::npos)
                    Into.insert(Word);
                Word.clear();
            } else {
                Word += c;
            }
        }
    };

    // --help: the lines of "Options:" that begin with an option, two spaces in.
    const TRun Help = Run({"--help"});
    ASSERT_EQ(Help.Status, 0);
    std::set<std::string> FromHelp;
    bool InOptions = false;
    for (const std::string& Line : Help.OutLines()) {
        if (Line == "Options:") {
            InOptions = true;
        } else if (InOptions && Line.rfind("  -", 0) == 0) {
            OptionsIn(Line.substr(0, Line.find("   ", 2)), FromHelp);
        } else if (InOptions && !Line.empty() && Line[0] != ' ') {
            break;
        }
    }

    // The page: the tag line after each .TP of its OPTIONS section, "\-" read as "-".
    std::istringstream Page(ReadAll(fs::path(VELMORA_SOURCE_DIR) / "cli" / "velmora-cli.1"));
    std::set<std::string> FromPage;
    InOptions = false;
    bool Tag = false;
    for (std::string Line; std::getline(Page, Line);) {
        if (Line.rfind(".SH", 0) == 0) {
            InOptions = Line == ".SH OPTIONS";
        } else if (InOptions && Line.rfind(".TP", 0) == 0) {
            Tag = true;
        } else if (Tag) {
            Tag = false;
            for (std::string::size_type At; (At = Line.find("\\-")) != std::string::npos;) Line.erase(At, 1);
            OptionsIn(Line.substr(Line.find(' ') + 1), FromPage);
        }
    }

    EXPECT_GE(FromHelp.size(), 9u);  // --json, --full, --files-from, -0, --null, -r, ...
    EXPECT_EQ(FromHelp, FromPage);
}

// Output that cannot be written (a reader that went away, as in "velmora-cli ... |
// head -0") ends with exit status 1, as the usage text and the manual say, not with
// the pipe's signal. It ends there: a long list is not loaded for no one, so the
// missing file at its end is never reached.
TEST_F(Cli, ClosedPipeExitsWith1)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs fork and the pipe's signal SIGPIPE, which Windows does not have";
#else
    const std::string Good = Write("good.torrent", Torrent("movie.mkv"));
    std::string Paths;
    for (int k = 0; k < 20000; ++k) Paths += Good + '\n';
    const std::string Never = (Dir / "never.torrent").string();
    const std::string Long = Write("long.txt", Paths + Never + '\n');
    const std::string ErrFile = (Dir / "stderr").string();
    const std::vector<std::vector<std::string>> Calls = {
        {Good}, {"--json", Good}, {"--help"}, {"--version"}, {"--files-from", Long}, {"--json", "--files-from", Long}};
    for (const auto& Args : Calls) {
        int Pipe[2];
        ASSERT_EQ(::pipe(Pipe), 0);
        ::close(Pipe[0]);
        const pid_t Child = ::fork();
        ASSERT_GE(Child, 0);
        if (Child == 0) {
            // As a shell starts it: the pipe's signal at its default.
            std::signal(SIGPIPE, SIG_DFL);
            ::dup2(Pipe[1], STDOUT_FILENO);
            std::vector<char*> Argv{const_cast<char*>(VELMORA_CLI)};
            for (const std::string& Arg : Args) Argv.push_back(const_cast<char*>(Arg.c_str()));
            Argv.push_back(nullptr);
            std::freopen(ErrFile.c_str(), "w", stderr);
            ::execv(VELMORA_CLI, Argv.data());
            ::_exit(127);
        }
        ::close(Pipe[1]);
        int Raw = 0;
        ASSERT_EQ(::waitpid(Child, &Raw, 0), Child);
        EXPECT_TRUE(WIFEXITED(Raw)) << Args.back() << ": ended by signal " << WTERMSIG(Raw);
        if (WIFEXITED(Raw)) {
            EXPECT_EQ(WEXITSTATUS(Raw), 1) << Args.back();
        }
        const std::string Err = ReadAll(ErrFile);
        EXPECT_EQ(Err.find("never.torrent"), std::string::npos) << Args.back();
        EXPECT_NE(Err.find("cannot write the output: Broken pipe"), std::string::npos) << Args.back() << Err;
    }
#endif
}

TEST_F(Cli, JsonHasEveryField)
{
    const std::string Info =
        "d5:filesl"
        "d6:lengthi10e4:pathl1:a5:b.txtee"
        "d6:lengthi5e4:pathl5:c.txtee"
        "e4:name6:folder12:piece lengthi32768e6:pieces" +
        S(std::string(40, '\x03')) + "7:privatei1ee";
    const std::string Document = "d8:announce" + S("http://t.example/a") +
                                 "13:announce-listll3:udpel4:http5:otheree7:comment" + S("see http://x.example") +
                                 "13:creation datei1700000000e" + "8:encoding5:UTF-84:info" + Info + "e";
    const std::string Path = Write("multi.torrent", Document);
    const TRun R = Run({"--json", Path});
    EXPECT_EQ(R.Status, 0);
    const auto Lines = R.OutLines();
    ASSERT_EQ(Lines.size(), 1u);
    const auto J = nlohmann::ordered_json::parse(Lines[0]);
    std::vector<std::string> Keys;
    for (const auto& Item : J.items()) Keys.push_back(Item.key());
    const std::vector<std::string> ExpectedKeys = {
        "file",         "loaded",       "errors",        "warnings", "link",    "full_link",
        "info_hash",    "info_hash_v2", "meta_version",  "title",    "size",    "file_count",
        "piece_length", "piece_count",  "comment",       "encoding", "private", "multi_file",
        "announce",     "trackers",     "creation_date", "files"};
    EXPECT_EQ(Keys, ExpectedKeys);
    EXPECT_EQ(J["file"], Path);
    EXPECT_EQ(J["loaded"], true);
    EXPECT_EQ(J["errors"], nlohmann::json::array());
    EXPECT_EQ(J["info_hash"].get<std::string>().size(), 40u);
    EXPECT_EQ(J["link"], "magnet:?xt=urn:btih:" + J["info_hash"].get<std::string>());
    EXPECT_EQ(J["full_link"], J["link"].get<std::string>() + "&dn=folder&tr=udp&tr=http&tr=other");
    // Private: the bare link in use finds no peers; with --full it names trackers.
    ASSERT_EQ(J["warnings"].size(), 1u);
    EXPECT_EQ(J["warnings"][0]["code"], "private-without-tracker");
    EXPECT_FALSE(J["warnings"][0]["text"].get<std::string>().empty());
    EXPECT_EQ(nlohmann::json::parse(Run({"--json", "--full", Path}).OutLines().at(0))["warnings"],
              nlohmann::json::array());
    EXPECT_EQ(J["info_hash_v2"], "");
    EXPECT_EQ(J["meta_version"], 0);
    EXPECT_EQ(J["title"], "folder");
    EXPECT_EQ(J["size"], 15);
    EXPECT_EQ(J["file_count"], 2);
    EXPECT_EQ(J["piece_length"], 32768);
    EXPECT_EQ(J["piece_count"], 2);
    EXPECT_EQ(J["comment"], "see http://x.example");
    EXPECT_EQ(J["encoding"], "UTF-8");
    EXPECT_EQ(J["private"], true);
    EXPECT_EQ(J["multi_file"], true);
    EXPECT_EQ(J["announce"], "http://t.example/a");
    EXPECT_EQ(J["trackers"], (nlohmann::json{"udp", "http", "other"}));
    EXPECT_EQ(J["creation_date"], "2023-11-14T22:13:20Z");
    ASSERT_EQ(J["files"].size(), 2u);
    EXPECT_EQ(J["files"][0]["path"], "a\\b.txt");
    EXPECT_EQ(J["files"][0]["length"], 10);
    EXPECT_EQ(J["files"][0]["offset"], 0);
    EXPECT_EQ(J["files"][1]["path"], "c.txt");
    EXPECT_EQ(J["files"][1]["length"], 5);
    EXPECT_EQ(J["files"][1]["offset"], 10);
}

TEST_F(Cli, JsonCreationDateIsRoundedToTheSecond)
{
    const std::vector<std::pair<std::string, nlohmann::json>> Cases = {
        {"13:creation datei2147483647e", "2038-01-19T03:14:07Z"},
        {"13:creation datei-2147483648e", "1901-12-13T20:45:52Z"},
        {"13:creation datei0e", "1970-01-01T00:00:00Z"},
        {"13:creation datei1e", "1970-01-01T00:00:01Z"},
        {"13:creation datei-1e", "1969-12-31T23:59:59Z"},
        {"13:creation datei951782400e", "2000-02-29T00:00:00Z"},
        {"13:creation datei1234567891e", "2009-02-13T23:31:31Z"},
        // All 64 bits count; what no calendar text can show is no date.
        {"13:creation datei2147483648e", "2038-01-19T03:14:08Z"},
        {"13:creation datei4294967296e", "2106-02-07T06:28:16Z"},
        {"13:creation datei253402300799e", "9999-12-31T23:59:59Z"},
        {"13:creation datei-62135596800e", "0001-01-01T00:00:00Z"},
        {"13:creation datei1452468725091e", nullptr},  // milliseconds
        {"13:creation datei253402300800e", nullptr},
        {"", nullptr},
    };
    std::vector<std::string> Args = {"--json"};
    for (size_t k = 0; k < Cases.size(); ++k) {
        Args.push_back(Write(std::to_string(k) + ".torrent", Torrent("n", Cases[k].first)));
    }
    const TRun R = Run(Args);
    EXPECT_EQ(R.Status, 0);
    const auto Lines = R.OutLines();
    ASSERT_EQ(Lines.size(), Cases.size());
    for (size_t k = 0; k < Cases.size(); ++k) {
        SCOPED_TRACE(Cases[k].first);
        EXPECT_EQ(nlohmann::json::parse(Lines[k])["creation_date"], Cases[k].second);
    }
}

TEST_F(Cli, JsonIsValidUtf8WhateverTheBytes)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs a file name with a raw 0xFF byte, which Windows names (UTF-16) cannot hold";
#endif
    const std::string Path = Write(
        "bad\xff"
        "name.torrent",
        Torrent("a\xff"
                "b",
                "7:comment3:\xc3\x28x"));
    const TRun R = Run({"--json", Path});
    EXPECT_EQ(R.Status, 0);
    const auto Lines = R.OutLines();
    ASSERT_EQ(Lines.size(), 1u);
    nlohmann::json J;
    ASSERT_NO_THROW(J = nlohmann::json::parse(Lines[0]));  // the parser rejects bad UTF-8
    EXPECT_EQ(J["title"],
              "a\xef\xbf\xbd"
              "b");
    EXPECT_EQ(J["comment"], "\xef\xbf\xbd(x");
    EXPECT_EQ(J["file"], (Dir / "bad\xef\xbf\xbdname.torrent").string());
    EXPECT_EQ(J["files"][0]["path"],
              "a\xef\xbf\xbd"
              "b");

    // A name that begins with a byte-order mark keeps it: without it, "file" would
    // name another file. So for one that loads, one that cannot be opened and one
    // from a list.
    const std::string Bom = "\xef\xbb\xbf";
    Write(Bom + "bom.torrent", Torrent("movie.avi"));
    const std::string List = Bom + "gone.torrent\n";
    const fs::path Previous = fs::current_path();
    fs::current_path(Dir);
    const TRun Marked = Run({"--json", Bom + "bom.torrent", Bom + "missing.torrent", "--files-from", "-"}, &List);
    fs::current_path(Previous);
    const auto MarkedLines = Marked.OutLines();
    ASSERT_EQ(MarkedLines.size(), 3u);
    EXPECT_EQ(nlohmann::json::parse(MarkedLines[0])["file"], Bom + "bom.torrent");
    EXPECT_EQ(nlohmann::json::parse(MarkedLines[0])["info_hash"], MovieHash);
    EXPECT_EQ(nlohmann::json::parse(MarkedLines[1])["file"], Bom + "missing.torrent");
    EXPECT_EQ(nlohmann::json::parse(MarkedLines[2])["file"], Bom + "gone.torrent");
}

// Keys outside "info" of the wrong kind cost nothing but a warning; the
// "….utf-8" variants are what the JSON shows; a name that cleaning empties is
// named after the hash under --full.
TEST_F(Cli, LenientKeysUtf8VariantsAndCleanedNames)
{
    const std::string Info =
        "d5:filesl"
        "d6:lengthi10e4:pathl2:\x93\xfa"
        "5:a.txte10:path.utf-8l6:日本5:a.txteee"
        "4:name2:\x93\xfa"
        "10:name.utf-8" +
        S("日本語") + "12:piece lengthi16384e6:pieces" + S(std::string(20, '\x01')) + "e";
    const struct {
        const char* Title;
        std::string Document;
        std::vector<std::string> Codes;
    } Cases[] = {
        {"flat announce-list",
         "d8:announce" + S("http://t.example/a") + "13:announce-listl3:udp4:httpe4:info" + Info + "e",
         {"skipped-wrong-kind"}},
        {"announce a dictionary",
         "d8:announced3:url1:xe7:commentle4:info" + Info + "e",
         {"skipped-wrong-kind", "skipped-wrong-kind"}},
        {"utf-8 variants",
         "d8:announce1:x7:comment2:\x83\x65"
         "13:comment.utf-8" +
             S("コメント") + "4:info" + Info + "e",
         {}},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Title);
        const std::string Path = Write("t.torrent", Case.Document);
        const TRun Plain = Run({Path});
        EXPECT_EQ(Plain.Status, 0) << Plain.Err;
        ASSERT_EQ(Plain.OutLines().size(), 1u);
        const TRun R = Run({"--json", Path});
        EXPECT_EQ(R.Status, 0);
        const auto J = nlohmann::json::parse(R.OutLines().at(0));
        EXPECT_EQ(J["link"], Plain.OutLines()[0]);
        std::vector<std::string> Codes;
        for (const auto& Warning : J["warnings"]) {
            Codes.push_back(Warning["code"]);
            // Each warning is a message of the load as well.
            EXPECT_NE(std::find(J["errors"].begin(), J["errors"].end(), Warning["text"]), J["errors"].end());
        }
        EXPECT_EQ(Codes, Case.Codes);
        EXPECT_EQ(J["title"], "日本語");
        EXPECT_EQ(J["files"][0]["path"], "日本\\a.txt");
    }
    const auto Utf8 = nlohmann::json::parse(Run({"--json", Write("u.torrent", Cases[2].Document)}).OutLines().at(0));
    EXPECT_EQ(Utf8["comment"], "コメント");

    // "..", cleaned away: dn= is the info hash, as libtorrent writes it.
    const std::string Dots = Write("dots.torrent", Torrent(".."));
    const TRun Full = Run({"--full", Dots});
    EXPECT_EQ(Full.Status, 0);
    const auto Hash = nlohmann::json::parse(Run({"--json", Dots}).OutLines().at(0))["info_hash"].get<std::string>();
    EXPECT_EQ(Full.OutLines(), std::vector<std::string>{"magnet:?xt=urn:btih:" + Hash + "&dn=" + Hash +
                                                        "&tr=http%3a%2f%2ft.example%2fa"});
}

TEST_F(Cli, JsonReportsFailuresToo)
{
    const std::string NoInfo = Write("noinfo.torrent", "d8:announce1:xe");
    const std::string Missing = (Dir / "missing.torrent").string();
    const std::string Good = Write("good.torrent", Torrent("movie.avi"));
    const TRun R = Run({"--json", NoInfo, Missing, Good});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "");
    const auto Lines = R.OutLines();
    ASSERT_EQ(Lines.size(), 3u);
    const auto First = nlohmann::json::parse(Lines[0]);
    EXPECT_EQ(First["loaded"], true);
    EXPECT_EQ(First["errors"], (nlohmann::json{"Corrupt File: Missing \"info\" segment"}));
    // No hash, no link of either kind.
    EXPECT_EQ(First["link"], nullptr);
    EXPECT_EQ(First["full_link"], nullptr);
    EXPECT_EQ(First["info_hash"], "");
    EXPECT_EQ(First["creation_date"], nullptr);
    const auto Second = nlohmann::ordered_json::parse(Lines[1]);
    EXPECT_EQ(Second.size(), 2u);
    EXPECT_EQ(Second["file"], Missing);
    EXPECT_EQ(Second["error"].get<std::string>().rfind("Cannot open file \"" + Missing + "\". ", 0), 0u);
    EXPECT_EQ(nlohmann::json::parse(Lines[2])["info_hash"], MovieHash);
}

TEST_F(Cli, V2OnlyTorrentGetsTheBtmhLink)
{
    const std::string Root(32, '\xab');
    const std::string Leaf7 = "d0:d6:lengthi7e11:pieces root" + S(Root) + "ee";
    const std::string Info = "d9:file treed5:c.bin" + Leaf7 + "3:dird5:a.txt" + "d0:d6:lengthi100e11:pieces root" +
                             S(Root) + "ee" + "5:b.txt" + "d0:d6:lengthi50e11:pieces root" + S(Root) + "ee" +
                             "ee12:meta versioni2e4:name4:test12:piece lengthi16384ee";
    const std::string Path = Write("v2.torrent", "d8:announce3:abc4:info" + Info + "e");
    // SHA-256 of Info, as Python's hashlib and libtorrent compute it.
    const std::string V2 = "065ec0dc4390f16fdd08f02b9da220476af76fc6421bc7ccd52055df59f17f91";

    const TRun Plain = Run({Path});
    EXPECT_EQ(Plain.Status, 0);
    EXPECT_EQ(Plain.Err, "");
    EXPECT_EQ(Plain.OutLines(), std::vector<std::string>{"magnet:?xt=urn:btmh:1220" + V2});

    const TRun Json = Run({"--json", Path});
    EXPECT_EQ(Json.Status, 0);
    const auto J = nlohmann::json::parse(Json.OutLines().at(0));
    EXPECT_EQ(J["link"], "magnet:?xt=urn:btmh:1220" + V2);
    EXPECT_EQ(J["info_hash_v2"], V2);
    EXPECT_EQ(J["meta_version"], 2);
    EXPECT_EQ(J["errors"], nlohmann::json::array());
    EXPECT_EQ(J["size"], 157);
    EXPECT_EQ(J["file_count"], 3);
    ASSERT_EQ(J["files"].size(), 3u);
    EXPECT_EQ(J["files"][1]["path"], "dir\\a.txt");
    EXPECT_EQ(J["files"][2]["offset"], 107);
}

TEST_F(Cli, ManyFilesInOneCall)
{
    std::vector<std::string> Args;
    std::vector<std::string> Expected;
    for (int k = 0; k < 300; ++k) {
        Args.push_back(Write(std::to_string(k) + ".torrent", Torrent(std::string("file ") + std::to_string(k))));
    }
    const TRun Once = Run({Args[0]});
    const TRun R = Run(Args);
    EXPECT_EQ(R.Status, 0);
    const auto Lines = R.OutLines();
    ASSERT_EQ(Lines.size(), Args.size());
    EXPECT_EQ(Lines[0] + "\n", Once.Out);
    for (const auto& Line : Lines) EXPECT_EQ(Line.rfind("magnet:?xt=urn:btih:", 0), 0u);
}

// The ways to name many files: lists (lines or NUL-separated, from a file or
// standard input), folders with -r; the full link and the warning on the way.
TEST_F(Cli, BatchInputsAndTheFullLink)
{
    const std::string A = Write("a.torrent", Torrent("movie.avi"));
    const std::string Link = std::string("magnet:?xt=urn:btih:") + MovieHash;
    const std::string Full = Link + "&dn=movie.avi&tr=http%3a%2f%2ft.example%2fa";
    fs::create_directories(Dir / "tree" / "b" / "deep");
    fs::create_directories(Dir / "tree" / "A");
    Write("tree/b/deep/z.TORRENT", Torrent("z"));
    Write("tree/b/x.torrent", Torrent("x"));
    Write("tree/A/y.Torrent", Torrent("y"));
    Write("tree/a.torrent", Torrent("top"));
    Write("tree/notes.txt", "not a torrent");
    const std::string Tree = (Dir / "tree").string();
    const std::string List = Write("list.txt", A + "\r\n\n" + A + "\n");
    const std::string NulList = Write("list0", A + '\0' + A + '\0');
    // Private with no tracker at all: a warning whichever link is printed.
    const std::string Private = Write("p.torrent",
                                      "d4:infod6:lengthi700e4:name1:p12:piece lengthi16384e"
                                      "6:pieces" +
                                          S(std::string(20, '\x01')) + "7:privatei1eee");
    const std::string Missing = (Dir / "missing.txt").string();
    const std::string Stdin0 = A + '\0';

    const auto Titles = [](const TRun& R) {
        std::vector<std::string> Out;
        for (const auto& Line : R.OutLines()) Out.push_back(nlohmann::json::parse(Line)["title"]);
        return Out;
    };
    EXPECT_EQ(Run({"--files-from", List}).OutLines(), (std::vector<std::string>{Link, Link}));
    EXPECT_EQ(Run({"--full", "--files-from=" + List, A}).OutLines(), (std::vector<std::string>{Full, Full, Full}));
    EXPECT_EQ(Run({"-0", "--files-from", NulList}).OutLines(), (std::vector<std::string>{Link, Link}));
    EXPECT_EQ(Run({"--null", "--files-from", "-"}, &Stdin0).OutLines(), std::vector<std::string>{Link});
    // Each folder's entries in byte order ("A" before "a.torrent" before "b", "deep"
    // before "x.torrent"), any case of ".torrent".
    EXPECT_EQ(Titles(Run({"--json", "-r", Tree})), (std::vector<std::string>{"y", "top", "z", "x"}));
    const std::string TreeLine = Tree + "\n";
    EXPECT_EQ(Titles(Run({"--json", "--recursive", "--files-from", "-"}, &TreeLine)),
              (std::vector<std::string>{"y", "top", "z", "x"}));

    const TRun NoFolder = Run({Tree, A});
    EXPECT_EQ(NoFolder.Status, 1);
    EXPECT_EQ(NoFolder.OutLines(), std::vector<std::string>{Link});
    EXPECT_NE(NoFolder.Err.find(Tree), std::string::npos);

    // Lists that cannot be read to their end fail with status 2, lines that are no
    // path with 1; the run goes on with the next file either way, and nothing is
    // passed over without a word. A line takes no more memory than the longest path.
    const std::string Zeros(1100000, '\0');
    const std::string LongPath = std::string(PATH_MAX, 'x') + "\n";
    const struct {
        std::vector<std::string> Args;
        std::string Input;
        int Status;
        std::string Err;
        std::vector<std::string> Out;
    } Lists[] = {
        {{"--files-from", Missing}, "", 2, "Cannot open file \"" + Missing + "\". No such file or directory", {}},
        {{"--files-from", Dir.string()}, "", 2, "Cannot read file \"" + Dir.string() + "\". Is a directory", {}},
        {{"--files-from", "/dev/zero"}, "", 2, "Cannot read file \"/dev/zero\". Not a regular file, a pipe", {}},
        {{"-0", "--files-from", "/dev/zero"}, "", 2, "Cannot read file \"/dev/zero\". Not a regular file", {}},
        {{"--files-from", "/dev/null"}, "", 0, "", {}},
        // Endless zeros through a pipe: one line without end, or empty paths without end.
        {{"--files-from", "-"}, Zeros, 2, "Cannot read file \"-\". 1048576 bytes without a path", {}},
        {{"-0", "--files-from", "-"}, Zeros, 2, "Cannot read file \"-\". 1048576 bytes without a path", {}},
        {{"--files-from", "-"}, std::string(1 << 21, 'x') + '\n' + A + '\n', 2, "1048576 bytes without a path", {}},
        // Not too many empty lines before a path, then an over-long line: an error of
        // its own, and the next line is read.
        {{"-0", "--files-from", "-"},
         std::string(1000, '\0') + A + '\0' + std::string(5000, 'y') + '\0' + A + '\0',
         1,
         "Cannot read line 1002 of file \"-\". File name too long (5000 bytes; a path takes at most " +
             std::to_string(PATH_MAX - 1) + ")",
         {Link, Link}},
        {{"--files-from", "-"}, LongPath + A + "\n", 1, "Cannot read line 1 of file \"-\". File name too long", {Link}},
        // A NUL ends the name the system sees: "a.torrent" must not be loaded instead.
        {{"--files-from", "-"},
         A + std::string(1, '\0') + "tail\n",
         1,
         "Cannot read line 1 of file \"-\". A path holds no NUL",
         {}},
    };
    for (const auto& Row : Lists) {
        SCOPED_TRACE(Row.Args.back() + " " + Row.Input.substr(0, 20));
#ifdef _WIN32
        // POSIX devices.
        if (Row.Args.back().rfind("/dev/", 0) == 0) continue;
#endif
        std::vector<std::string> Args = Row.Args;
        Args.push_back(A);  // after the list: still loaded
        std::vector<std::string> Out = Row.Out;
        Out.push_back(Link);
        const TRun R = Run(Args, &Row.Input);
        EXPECT_EQ(R.Status, Row.Status);
        EXPECT_EQ(R.OutLines(), Out);
        EXPECT_EQ(R.ErrLines().size(), Row.Err.empty() ? 0u : 1u) << R.Err;
        EXPECT_NE(R.Err.find(Row.Err), std::string::npos) << R.Err;
    }

    for (const char* Mode : {"", "--full"}) {
        SCOPED_TRACE(Mode);
        std::vector<std::string> Args = {Private};
        if (*Mode) Args.insert(Args.begin(), Mode);
        const TRun Warned = Run(Args);
        EXPECT_EQ(Warned.Status, 0);
        ASSERT_EQ(Warned.OutLines().size(), 1u);
        EXPECT_EQ(Warned.OutLines()[0].find("&tr="), std::string::npos);
        ASSERT_EQ(Warned.ErrLines().size(), 1u);
        EXPECT_NE(Warned.Err.find(Private + ": warning: private torrent"), std::string::npos);
    }
}

#ifndef _WIN32
// A torrent several times the file stream's window, so that it is read in several
// pieces; Fill sets its piece bytes, so that two of them differ only in content.
std::string LargeTorrent(char Fill)
{
    const int Pieces = 64000;
    return "d8:announce" + S("http://t.example/a") + "4:infod6:lengthi" + std::to_string(int64_t(Pieces) * 16384) +
           "e4:name" + S("large") + "12:piece lengthi16384e6:pieces" + S(std::string(20 * Pieces, Fill)) + "ee";
}
#endif

// A torrent overwritten in place (same size, other content) between two reads of
// it: the link of those mixed bytes would belong to no file, so none is given.
TEST_F(Cli, FileRewrittenWhileReadGivesNoLink)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs a library preloaded with LD_PRELOAD to rewrite the file between two reads";
#else
    Program = VELMORA_CLI_DYNAMIC;  // the shim is preloaded, which a static program ignores
    const std::string Old = LargeTorrent('\x01');
    const std::string New = LargeTorrent('\x02');
    ASSERT_EQ(Old.size(), New.size());
    ASSERT_GT(Old.size(), 256u * 1024);
    const std::string Replacement = Write("replacement", New);
    const std::string Shim = std::string("LD_PRELOAD=") + ShellQuote(VELMORA_REWRITE_SHIM) +
                             " ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\" ";

    // The shim alone changes nothing.
    const std::string Untouched = Write("untouched.torrent", Old);
    const TRun Plain = Run({Untouched});
    const TRun Shimmed = Run({Untouched}, nullptr, Shim);
    EXPECT_EQ(Plain.Status, 0) << Plain.Err;
    EXPECT_EQ(Shimmed.Status, 0) << Shimmed.Err;
    EXPECT_EQ(Shimmed.Out, Plain.Out);
    const TRun NewRun = Run({Write("new.torrent", New)});
    ASSERT_EQ(NewRun.Status, 0) << NewRun.Err;

    // After the third read the pieces are read half old, half new; after the first
    // nearly all of the info bytes are the new file's.
    const struct {
        const char* After;
        bool Json;
    } Cases[] = {{"3", false}, {"3", true}, {"1", false}};
    for (const auto& Case : Cases) {
        const bool Json = Case.Json;
        SCOPED_TRACE(std::string("rewritten after read ") + Case.After + (Json ? ", --json" : ""));
        const std::string Target = Write("rewritten.torrent", Old);
        std::vector<std::string> Args;
        if (Json) Args.push_back("--json");
        Args.push_back(Target);
        const TRun R =
            Run(Args, nullptr,
                Shim + "VELMORA_REWRITE_AFTER=" + Case.After + " VELMORA_REWRITE_FILE=" + ShellQuote(Target) +
                    " VELMORA_REWRITE_WITH=" + ShellQuote(Replacement) + " ");
        EXPECT_EQ(ReadAll(Target), New);  // the rewrite did happen during the run
        EXPECT_EQ(R.Status, 1);
        const std::string Message = "The file changed while it was read";
        if (Json) {
            const auto J = nlohmann::json::parse(R.Out);
            EXPECT_EQ(J["link"], nullptr);
            EXPECT_EQ(J["full_link"], nullptr);
            EXPECT_EQ(J["info_hash"], "");
            EXPECT_NE(J["errors"].dump().find(Message), std::string::npos) << R.Out;
        } else {
            EXPECT_EQ(R.Out, "");
            EXPECT_NE(R.Err.find(Target + ": " + Message), std::string::npos) << R.Err;
        }
        // Neither the old file's link nor the new one's, nor any other.
        EXPECT_EQ(R.Out.find(Plain.Out.substr(0, 60)), std::string::npos);
        EXPECT_EQ(R.Out.find(NewRun.Out.substr(0, 60)), std::string::npos);
    }
#endif
}

}  // namespace
