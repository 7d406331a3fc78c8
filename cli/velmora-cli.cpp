// velmora-cli: the magnet link of every .torrent file named, for scripts and for
// checking the core against real files.

#include <cerrno>
#include <climits>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "CliPlatform.h"
#include "FolderWalk.h"
#include "Streams.h"
#include "TextCodec.h"
#include "TorrentContents.h"
#include "TorrentFile.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0"
#endif

namespace {

constexpr const char* ProgramName = "velmora-cli";

constexpr const char* UsageText = "Usage: velmora-cli [--json] [--full] [-r] [--files-from LIST [-0]] [--] FILE...\n";

constexpr const char* HelpText = R"(Usage: velmora-cli [OPTION]... [--] FILE...
       velmora-cli [OPTION]... --files-from LIST
       velmora-cli --help
       velmora-cli --version

Print the magnet link of each BitTorrent metainfo file (.torrent) named.

The link is formed from the info hash: the SHA-1 of the bytes of the file's
"info" dictionary exactly as they stand in the file, never of a re-encoding,
so a file with unsorted keys or other irregularities gets the link that its
swarm uses. A v2-only torrent ("meta version" 2 and no "pieces") has no v1
swarm; its link carries the SHA-256 of the same bytes as a multihash.

Options:
  --json       Print one JSON object per file instead of the bare links.
  --full       Print the full link: the hash, then the torrent's name (dn=),
               its trackers (tr=, the tiers of "announce-list" in order, or
               "announce") and its web seeds (ws=, "url-list"), escaped as
               libtorrent writes them. Without it the link is the hash alone.
  --files-from LIST
               Also read the paths of files from LIST, one per line ("-" for
               standard input), so that any number of files needs no argument
               list. Empty lines are skipped; a CR before the line feed is
               dropped. The files are loaded as the paths are read. A line
               longer than the longest path (PATH_MAX) is an error of its own.
  -0, --null   The paths in every LIST end with a NUL byte instead of a line
               feed (as find -print0 writes them).
  -r, --recursive
               A folder named (as an argument or in a LIST) stands for every
               file below it whose name ends in ".torrent" (any letter case),
               in sorted order: each folder's entries sorted by name, byte for
               byte, sub-folders entered where they sort. Links to folders are
               not followed. Without it a folder is an error.
  --help, -h   Print this text and exit.
  --version    Print the program's version and exit.
  --           End of options: every later argument is a file, even one
               that begins with "-".
Options may stand anywhere before "--". The files are read in the order
given; a LIST's files stand where the option stands. Each file is printed as
soon as it is loaded, so memory stays the same however many files there are.

Plain output:
  For each file, its magnet link on a line of its own on standard output:
    magnet:?xt=urn:btih:<40 lower-case hex digits>      (v1 and hybrid)
    magnet:?xt=urn:btmh:1220<64 lower-case hex digits>  (v2 only)
  A file that fails (see below) prints no link; instead one line on
  standard error names the file and the reason, and the other files go on.
  In every line on standard error, control characters, DEL, C1 controls,
  direction marks and other invisible characters of a name appear as
  <U+XXXX>, and bytes that are not UTF-8 as <0xXX>.
  A private torrent whose link names no tracker (any private torrent
  without --full) gets a warning line on standard error: clients find the
  peers of a private torrent only through its trackers.

JSON output (--json):
  One JSON object per file on a line of its own (JSON Lines), in order.
  All text is UTF-8; bytes of the file that are not valid UTF-8 appear as
  U+FFFD. Fields, in this order:
    file           the path as given
    loaded         whether the metainfo could be read (true/false)
    errors         the loader's messages, in order (also for loaded files)
    warnings       [{"code", "text"}]: what the user should know of a file
                   that gave its link. The codes: "private-without-tracker"
                   (the link in use, the full one with --full, finds no
                   peers) and "skipped-wrong-kind" (a key outside "info",
                   or a tier or tracker of "announce-list", of the wrong
                   kind was skipped; its text is the message in errors)
    link           the magnet link, or null when there is no hash
    full_link      the full link (see --full), or null when there is no hash
    info_hash      SHA-1 of the info bytes, 40 hex digits, or ""
    info_hash_v2   SHA-256 of the info bytes when "meta version" is 2,
                   64 hex digits, or ""
    meta_version   the integer "meta version" of the info dictionary, 0
                   when absent
    title          the torrent's name (a trailing ".torrent" removed); here
                   and in comment and files, the "name.utf-8",
                   "comment.utf-8" and "path.utf-8" variants where they stand
    size           total length of all files in bytes
    file_count     number of files
    piece_length   bytes per piece
    piece_count    number of piece hashes
    comment        the torrent's comment
    encoding       the text encoding the torrent declares
    private        whether the torrent is private (true/false)
    multi_file     whether the torrent lists several files (true/false)
    announce       the announce URL
    trackers       every tracker of "announce-list", tiers flattened; an
                   empty one and a repeat within its tier left out
    creation_date  the creation date in UTC, ISO 8601, such as
                   "2038-01-19T03:14:07Z", or null when there is none or
                   it lies outside the years 1 to 9999
    files          [{"path", "length", "offset"}]: each file's relative
                   path, its folders separated by "\", its size in bytes
                   and where it begins in the torrent's byte stream
  A file that cannot be opened gives {"file": ..., "error": ...} instead.

A file fails when it cannot be opened, when its metainfo cannot be read, or
when it yields no info hash (no "info" dictionary, or one cut short). A folder
that cannot be read fails the same way. A LIST that cannot be opened or read
to its end (a device such as /dev/zero, or a megabyte without a path) is
reported like a file; the arguments after it go on.

Exit status:
  0  every file gave a magnet link (warnings do not count)
  1  at least one file failed, or the output could not be written (the run
     ends at the first failed write)
  2  usage error: an unknown option, or no file named; or a LIST that could
     not be read to its end

Examples:
  velmora-cli file.torrent                       the link of one file
  velmora-cli --full file.torrent                with name and trackers
  velmora-cli ~/Downloads/*.torrent > links.txt  all links of a folder
  velmora-cli -r ~/Downloads > links.txt         the same, sub-folders too
  find . -name '*.torrent' -print0 | velmora-cli -0 --files-from -
                                 every torrent below a folder, any names
  velmora-cli --json *.torrent | jq -r .title    each torrent's title
)";

// Standard output is collected here and written in large pieces: per-file
// writes would cost a system call each on a run over thousands of files.
class TOutput {
public:
    TOutput() { FBuffer.reserve(FlushSize + 4096); }
    std::string& Buffer() { return FBuffer; }
    // The first pieces are small, so that a reader that has gone (as after "| head
    // -1") is found out after a few files, not after a megabyte of links.
    void MaybeFlush()
    {
        if (FBuffer.size() < FFlushAt) return;
        Flush();
        FFlushAt = std::min(FFlushAt * 2, FlushSize);
    }
    bool Flush()
    {
        if (!FBuffer.empty()) {
            if (std::fwrite(FBuffer.data(), 1, FBuffer.size(), stdout) != FBuffer.size()) Failed(errno);
            FBuffer.clear();
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) Failed(errno);
        return !FFailed;
    }
    // Once a write has failed (the reader has gone), nothing more can reach it: the
    // run ends instead of loading the rest for no one.
    bool Failed() const { return FFailed; }
    // The system's text for the first failed write.
    const char* FailureText() const { return std::strerror(FErrno); }

private:
    static constexpr size_t FlushSize = 1 << 20;
    size_t FFlushAt = 4096;
    std::string FBuffer;
    bool FFailed = false;
    int FErrno = 0;

    void Failed(int Error)
    {
        if (!FFailed) FErrno = Error;
        FFailed = true;
    }
};

// A line on standard error; standard output is flushed first so that the two
// keep their order on a terminal. The text names files and quotes torrents: what
// could move the cursor, send the terminal a command or turn the line around
// stands as a visible escape, and a line break in a name does not split the line.
void ErrorLine(TOutput& Out, std::string_view Text)
{
    Out.Flush();
    const std::string Line = std::string(ProgramName) + ": " + VisibleText(Text) + '\n';
    std::fwrite(Line.data(), 1, Line.size(), stderr);
}

// Writes Text to standard output and gives the exit status: 1, with a message, when
// it did not all get there. A write that failed early leaves nothing for the flush
// to fail on, so the stream's error mark is asked too.
int PrintText(const char* Text)
{
    std::fputs(Text, stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "%s: cannot write the output: %s\n", ProgramName, std::strerror(errno));
    return 1;
}

int UsageError(const std::string& Message)
{
    std::string Text = std::string(ProgramName) + ": " + VisibleText(Message) + "\n" + UsageText +
                       "Try 'velmora-cli --help' for more information.\n";
    std::fwrite(Text.data(), 1, Text.size(), stderr);
    return 2;
}

// Days since 1899-12-30 as "YYYY-MM-DDThh:mm:ssZ", to the nearest second.
std::string IsoDate(double DateTime)
{
    const long long Seconds = std::llround((DateTime - 25569.0) * 86400.0);
    long long Days = Seconds / 86400;
    long long Rest = Seconds % 86400;
    if (Rest < 0) {
        Rest += 86400;
        --Days;
    }
    // Civil date from a day count since 1970-01-01 (proleptic Gregorian).
    const long long z = Days + 719468;
    const long long Era = (z >= 0 ? z : z - 146096) / 146097;
    const long long DayOfEra = z - Era * 146097;
    const long long YearOfEra = (DayOfEra - DayOfEra / 1460 + DayOfEra / 36524 - DayOfEra / 146096) / 365;
    const long long DayOfYear = DayOfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
    const long long MonthIndex = (5 * DayOfYear + 2) / 153;
    const long long Day = DayOfYear - (153 * MonthIndex + 2) / 5 + 1;
    const long long Month = MonthIndex < 10 ? MonthIndex + 3 : MonthIndex - 9;
    const long long Year = YearOfEra + Era * 400 + (Month <= 2 ? 1 : 0);

    char Text[64];
    std::snprintf(Text, sizeof Text, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(Year), static_cast<int>(Month),
                  static_cast<int>(Day), static_cast<int>(Rest / 3600), static_cast<int>(Rest / 60 % 60),
                  static_cast<int>(Rest % 60));
    return Text;
}

std::string JoinedErrors(const TTorrentFile& Torrent)
{
    std::string Text;
    for (const auto& Message : Torrent.Errors) {
        if (!Text.empty()) Text += "; ";
        Text += Utf16ToUtf8(Message);
    }
    return Text.empty() ? "no info hash" : Text;
}

void AppendJson(TOutput& Out, const nlohmann::ordered_json& Object)
{
    Out.Buffer() += Object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    Out.Buffer() += '\n';
    Out.MaybeFlush();
}

// Clients find the peers of a private torrent only through its trackers.
constexpr const char* PrivateWithoutTrackerCode = "private-without-tracker";
constexpr const char* PrivateWithoutTrackerText =
    "private torrent, but the link names no tracker: a client cannot find its peers";
// A key of the wrong kind outside "info" was skipped; the load went on.
constexpr const char* SkippedWrongKindCode = "skipped-wrong-kind";

nlohmann::ordered_json TorrentJson(const std::string& FileName, bool Loaded, bool Full, const TTorrentFile& Torrent)
{
    using Json = nlohmann::ordered_json;
    Json Errors = Json::array();
    for (const auto& Message : Torrent.Errors) Errors.push_back(Utf16ToUtf8(Message));
    Json Warnings = Json::array();
    if (Torrent.LinkFindsNoPeers(Full)) {
        Warnings.push_back(Json{{"code", PrivateWithoutTrackerCode}, {"text", PrivateWithoutTrackerText}});
    }
    for (const auto& Message : Torrent.Skipped) {
        Warnings.push_back(Json{{"code", SkippedWrongKindCode}, {"text", Utf16ToUtf8(Message)}});
    }
    // What the torrent holds comes from the one description that the window shows
    // too, read from the loaded torrent without packing it first.
    const TTorrentContentsView Contents(Torrent);
    const TTorrentFacts Facts = Contents.Facts();
    Json Trackers = Json::array();
    for (const auto& Tier : Facts.Tiers)
        for (const std::string_view Tracker : Tier) Trackers.push_back(SanitizeUtf8(Tracker));
    Json Files = Json::array();
    Contents.ForEachFile([&](const TTorrentContentsFile& File) {
        Json Entry = Json::object();
        Entry["path"] = SanitizeUtf8(TTorrentContents::JoinedPath(File.PathUtf8.empty() ? File.Path : File.PathUtf8));
        Entry["length"] = File.Length;
        Entry["offset"] = File.Offset;
        Files.push_back(std::move(Entry));
    });

    Json Object = Json::object();
    Object["file"] = ValidUtf8(FileName);  // every byte of the name, a leading mark too
    Object["loaded"] = Loaded;
    Object["errors"] = std::move(Errors);
    Object["warnings"] = std::move(Warnings);
    // No hash, no link: null rather than a link that names no swarm.
    const bool HasLink = Torrent.HasLinkHash();
    Object["link"] = HasLink ? Json(Torrent.MagnetLink()) : Json();
    Object["full_link"] = HasLink ? Json(Torrent.FullMagnetLink()) : Json();  // escaped to ASCII
    Object["info_hash"] = BytesToHex(Facts.InfoHash, 999);
    Object["info_hash_v2"] = BytesToHex(Facts.InfoHashV2, 999);
    Object["meta_version"] = Facts.MetaVersion;
    Object["title"] = SanitizeUtf8(Facts.ShownName());
    Object["size"] = Facts.TotalLength;
    Object["file_count"] = Facts.FileCount;
    Object["piece_length"] = Facts.PieceLength;
    Object["piece_count"] = Facts.PieceCount;
    Object["comment"] = SanitizeUtf8(Facts.ShownComment());
    Object["encoding"] = SanitizeUtf8(Facts.Encoding);
    Object["private"] = Facts.Private;
    Object["multi_file"] = Facts.MultiFile;
    Object["announce"] = SanitizeUtf8(Facts.Announce);
    Object["trackers"] = std::move(Trackers);
    Object["creation_date"] = Facts.HasCreationDate ? Json(IsoDate(Facts.CreationDate)) : Json();
    Object["files"] = std::move(Files);
    return Object;
}

struct TOptions {
    bool Json = false;
    bool Full = false;
    bool Recursive = false;
    bool Null = false;  // the lists' paths end in NUL
};

// One command-line argument: a path, or a list of paths to read.
struct TSource {
    std::string Text;
    bool IsList = false;
};

// Loads and prints one file at a time, in the order the paths arrive: nothing of a
// file outlives its turn, so a run over a million files takes no more memory than
// one over a single file.
class TRunner {
public:
    explicit TRunner(const TOptions& Options) : FOptions(Options) {}

    void Source(const TSource& Source)
    {
        if (Source.IsList) {
            List(Source.Text);
        } else {
            Path(Source.Text);
        }
    }

    // Whether the run must end now: the output can no longer be written.
    bool Stopped() const { return FOut.Failed(); }

    // The exit status; the output is written.
    int Finish()
    {
        int Status = FListFailed ? 2 : FAnyFailed ? 1 : 0;
        if (!FOut.Flush()) {
            std::fprintf(stderr, "%s: cannot write the output: %s\n", ProgramName, FOut.FailureText());
            Status = 1;
        }
        return Status;
    }

private:
    TOptions FOptions;
    TOutput FOut;
    // One model serves every file: each load starts from a clean object and keeps
    // its buffers.
    TTorrentFile FTorrent;
    bool FAnyFailed = false;
    bool FListFailed = false;  // a list could not be read to its end

    void Fail(const std::string& FileName, const std::string& Message)
    {
        FAnyFailed = true;
        if (FOptions.Json) {
            nlohmann::ordered_json Object = nlohmann::ordered_json::object();
            Object["file"] = ValidUtf8(FileName);
            Object["error"] = ValidUtf8(Message);
            AppendJson(FOut, Object);
        } else {
            ErrorLine(FOut, Message);
        }
    }

    void Path(const std::string& FileName)
    {
        if (FOptions.Recursive) {
            if (IsFolder(FileName)) {
                Folder(FileName);
                return;
            }
        }
        File(FileName);
    }

    void File(const std::string& FileName)
    {
        std::unique_ptr<TFileStream> Stream;
        try {
            Stream = std::make_unique<TFileStream>(FileName);
        } catch (const std::exception& Error) {
            Fail(FileName, Error.what());
            return;
        }

        const bool Loaded = FTorrent.LoadFromStream(*Stream);
        Stream.reset();
        const bool Ok = Loaded && FTorrent.HasLinkHash();
        if (!Ok) FAnyFailed = true;
        if (FOptions.Json) {
            AppendJson(FOut, TorrentJson(FileName, Loaded, FOptions.Full, FTorrent));
        } else if (Ok) {
            FOut.Buffer() += FOptions.Full ? FTorrent.FullMagnetLink() : FTorrent.MagnetLink();
            FOut.Buffer() += '\n';
            FOut.MaybeFlush();
            if (FTorrent.LinkFindsNoPeers(FOptions.Full)) {
                ErrorLine(FOut, FileName + ": warning: " + PrivateWithoutTrackerText);
            }
        } else {
            ErrorLine(FOut, FileName + ": " + JoinedErrors(FTorrent));
        }
    }

    // Every file below Dir whose name ends in ".torrent", in sorted order; an
    // unreadable folder fails and its contents are skipped.
    void Folder(const std::string& Dir)
    {
        TTorrentFolderWalk Walk(Dir);
        for (TTorrentFolderWalk::TFound Found; !Stopped() && Walk.Next(Found);) {
            if (Found.Error) {
                Fail(Found.Path, "Cannot read folder \"" + Found.Path + "\". " + Found.Error.message());
            } else {
                File(Found.Path);
            }
        }
    }

    // A list that cannot be read to its end fails the run as a whole (exit status 2):
    // the files it would have named are unknown.
    void ListFail(const std::string& ListName, const std::string& Message)
    {
        Fail(ListName, Message);
        FListFailed = true;
    }

    // The paths of a list file ("-": standard input), each loaded as soon as it is
    // read. A line takes at most the longest path in memory, however long it is;
    // a longer one is an error of its own. A list must end: a device is refused,
    // and so is a stream that goes on for MaxBytesWithoutPath bytes without naming
    // a path (the endless zeros of /dev/zero through a pipe, with or without -0).
    void List(const std::string& ListName)
    {
        const bool Stdin = ListName == "-";
        const int Fd = Stdin ? STDIN_FILENO : OpenForReading(ListName);
        if (Fd < 0) {
            // Where a folder cannot be opened at all, it is still no list to read.
            const char* What = errno == EISDIR ? "Cannot read file \"" : "Cannot open file \"";
            ListFail(ListName, What + ListName + "\". " + std::strerror(errno));
            return;
        }
        std::string Why = ListKindError(Fd);
        if (Why.empty()) Why = ReadList(ListName, Fd);
        if (!Stdin) ::close(Fd);
        if (!Why.empty() && !Stopped()) ListFail(ListName, "Cannot read file \"" + ListName + "\". " + Why);
    }

    // Why the open list is no list of paths: what is neither a regular file, a
    // pipe, a socket nor a terminal is a device, which may give bytes for ever.
    // The null device is an empty list.
    static std::string ListKindError(int Fd)
    {
        struct stat Status {};
        if (::fstat(Fd, &Status) != 0) return std::strerror(errno);
        if (S_ISDIR(Status.st_mode)) return std::strerror(EISDIR);
        if (S_ISREG(Status.st_mode) || S_ISFIFO(Status.st_mode) || S_ISSOCK(Status.st_mode) || ::isatty(Fd)) return {};
        struct stat Null {};
        if (S_ISCHR(Status.st_mode) && ::stat("/dev/null", &Null) == 0 && S_ISCHR(Null.st_mode) &&
            Null.st_rdev == Status.st_rdev)
            return {};
        return "Not a regular file, a pipe or a terminal";
    }

    // The longest path the system opens (PATH_MAX counts the closing NUL), and how
    // far a list may go without naming one before it is taken for no list at all.
    static constexpr size_t MaxPathBytes = PATH_MAX - 1;
    static constexpr size_t MaxBytesWithoutPath = size_t(1) << 20;

    // Reads the list's lines and loads each path; the reason when the list could
    // not be read to its end, else empty.
    std::string ReadList(const std::string& ListName, int Fd)
    {
        const char End = FOptions.Null ? '\0' : '\n';
        std::string Line;        // the line's first MaxPathBytes + 1 bytes at most
        size_t LineBytes = 0;    // the whole line's length
        size_t WithoutPath = 0;  // bytes since the last line that was not empty
        size_t LineNumber = 1;
        std::vector<char> Buffer(size_t(1) << 16);
        Line.reserve(MaxPathBytes + 1);
        for (;;) {
            const ssize_t Got = ::read(Fd, Buffer.data(), Buffer.size());
            if (Got < 0) {
                if (errno == EINTR) continue;
                return std::strerror(errno);
            }
            if (Got == 0) break;
            const char* Pos = Buffer.data();
            const char* const Stop = Pos + Got;
            while (Pos < Stop) {
                const char* Delimiter = static_cast<const char*>(std::memchr(Pos, End, size_t(Stop - Pos)));
                const char* PieceEnd = Delimiter ? Delimiter : Stop;
                const size_t Piece = size_t(PieceEnd - Pos);
                Line.append(Pos, std::min(Piece, MaxPathBytes + 1 - Line.size()));
                LineBytes += Piece;
                WithoutPath += Piece + (Delimiter ? 1 : 0);
                if (WithoutPath > MaxBytesWithoutPath) {
                    return std::to_string(MaxBytesWithoutPath) + " bytes without a path: not a list of paths";
                }
                Pos = Delimiter ? Delimiter + 1 : Stop;
                if (!Delimiter) break;
                ListLine(ListName, LineNumber++, Line, LineBytes, WithoutPath);
                if (Stopped()) return {};
            }
        }
        if (LineBytes > 0) ListLine(ListName, LineNumber, Line, LineBytes, WithoutPath);
        return {};
    }

    // One line of a list, its end taken off: a path to load, an empty line to skip,
    // or an error of its own. Line holds its first bytes, LineBytes says how many
    // it had; both start afresh for the next line.
    void ListLine(const std::string& ListName, size_t Number, std::string& Line, size_t& LineBytes, size_t& WithoutPath)
    {
        if (!FOptions.Null && !Line.empty() && Line.back() == '\r' && LineBytes == Line.size()) {
            Line.pop_back();
            --LineBytes;
        }
        const auto LineFail = [&](const std::string& Why) {
            Fail(ListName, "Cannot read line " + std::to_string(Number) + " of file \"" + ListName + "\". " + Why);
        };
        if (LineBytes > MaxPathBytes) {
            LineFail(std::string(std::strerror(ENAMETOOLONG)) + " (" + std::to_string(LineBytes) +
                     " bytes; a path takes at most " + std::to_string(MaxPathBytes) + ")");
        } else if (Line.find('\0') != std::string::npos) {
            // The system would take the path as ending at the NUL: another file.
            LineFail("A path holds no NUL byte (a list whose paths end with NUL bytes needs -0)");
        } else if (!Line.empty()) {
            Path(Line);
        }
        if (!Line.empty()) WithoutPath = 0;
        Line.clear();
        LineBytes = 0;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    SetUpStandardStreams();
    const std::vector<std::string> Args = ProgramArguments(argc, argv);
    const size_t Count = Args.size();
    TOptions Options;
    bool OptionsEnded = false;
    std::vector<TSource> Sources;
    for (size_t i = 0; i < Count; ++i) {
        const std::string_view Arg = Args[i];
        if (OptionsEnded || Arg.size() < 2 || Arg[0] != '-') {
            Sources.push_back(TSource{std::string(Arg), false});
        } else if (Arg == "--") {
            OptionsEnded = true;
        } else if (Arg == "--json") {
            Options.Json = true;
        } else if (Arg == "--full") {
            Options.Full = true;
        } else if (Arg == "-r" || Arg == "--recursive") {
            Options.Recursive = true;
        } else if (Arg == "-0" || Arg == "--null") {
            Options.Null = true;
        } else if (Arg == "--files-from") {
            if (i + 1 >= Count) return UsageError("option '--files-from' needs a file");
            Sources.push_back(TSource{Args[++i], true});
        } else if (Arg.substr(0, 13) == "--files-from=") {
            Sources.push_back(TSource{std::string(Arg.substr(13)), true});
        } else if (Arg == "--help" || Arg == "-h") {
            return PrintText(HelpText);
        } else if (Arg == "--version") {
            return PrintText("velmora-cli " VELMORA_VERSION "\n");
        } else {
            return UsageError("unknown option '" + std::string(Arg) + "'");
        }
    }
    if (Sources.empty()) return UsageError("no file named");

    TRunner Runner(Options);
    for (const TSource& Source : Sources) {
        if (Runner.Stopped()) break;
        Runner.Source(Source);
    }
    const int Status = Runner.Finish();
    // The model still holds the whole decoded tree of the last file. Tearing it
    // down object by object costs a quarter of the run on a torrent of 100,000
    // files, while the system takes the memory back at once; the output is
    // already written (standard error is unbuffered).
    std::_Exit(Status);
}
