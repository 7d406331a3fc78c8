#include "MagnetUri.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <utility>

#include "TorrentFile.h"

namespace {

constexpr char HexDigits[] = "0123456789abcdef";

bool IsAlphaNumeric(unsigned char Byte)
{
    return (Byte >= 'a' && Byte <= 'z') || (Byte >= 'A' && Byte <= 'Z') || (Byte >= '0' && Byte <= '9');
}

// The three byte sets of URL escaping, each a superset of the next: what a URL may
// hold unescaped, what a path keeps, what a parameter value keeps.
bool UrlSafe(unsigned char Byte)
{
    return IsAlphaNumeric(Byte) ||
           (Byte != 0 &&
            std::string_view("%+;?:@=&,$/-_!.~*()").find(static_cast<char>(Byte)) != std::string_view::npos);
}

bool PathSafe(unsigned char Byte)
{
    return IsAlphaNumeric(Byte) ||
           (Byte != 0 && std::string_view("/-_!.~*()").find(static_cast<char>(Byte)) != std::string_view::npos);
}

bool ValueSafe(unsigned char Byte)
{
    return IsAlphaNumeric(Byte) ||
           (Byte != 0 && std::string_view("-_!.~*()").find(static_cast<char>(Byte)) != std::string_view::npos);
}

// The length of Text once escaped: three bytes for every byte that Safe refuses.
template <class TSafe> size_t EscapedLength(std::string_view Text, TSafe Safe)
{
    size_t Length = Text.size();
    for (const char Char : Text)
        if (!Safe(static_cast<unsigned char>(Char))) Length += 2;
    return Length;
}

// Appends Text to Out with every byte that Safe refuses as "%xx"; Out is grown at
// most once, to its final size.
template <class TSafe> void AppendEscaped(std::string& Out, std::string_view Text, TSafe Safe)
{
    const size_t Start = Out.size();
    Out.resize(Start + EscapedLength(Text, Safe));
    char* To = Out.data() + Start;
    for (const char Char : Text) {
        const auto Byte = static_cast<unsigned char>(Char);
        if (Safe(Byte)) {
            *To++ = Char;
        } else {
            *To++ = '%';
            *To++ = HexDigits[Byte >> 4];
            *To++ = HexDigits[Byte & 15];
        }
    }
}

template <class TSafe> std::string Escape(std::string_view Text, TSafe Safe)
{
    std::string Out;
    AppendEscaped(Out, Text, Safe);
    return Out;
}

bool IsBlank(char Char)
{
    return Char == ' ' || Char == '\t' || Char == '\n' || Char == '\r' || Char == '\f' || Char == '\v';
}

std::string_view TrimLeadingBlanks(std::string_view Text)
{
    size_t Start = 0;
    while (Start < Text.size() && IsBlank(Text[Start])) ++Start;
    return Text.substr(Start);
}

// One UTF-8 sequence at the start of Text: its code point, or -1 when it is not
// well-formed, and how many bytes it takes. A malformed sequence takes the length
// its lead byte announces (at most what is left), so the bytes behind a bad lead
// go with it: that is how clients count them, and the "_" count must agree.
std::pair<int32_t, size_t> ReadCodePoint(std::string_view Text)
{
    const auto Lead = static_cast<unsigned char>(Text[0]);
    size_t Length = 1;
    if (Lead < 0x80) return {Lead, 1};
    if (Lead < 0xC0 || Lead >= 0xFC) return {-1, 1};
    if (Lead < 0xE0) {
        Length = 2;
    } else if (Lead < 0xF0) {
        Length = 3;
    } else if (Lead < 0xF8) {
        Length = 4;
    } else {
        Length = 5;
    }
    if (Length > Text.size()) return {-1, Text.size()};
    if (Length == 5 || Lead == 0xC0 || Lead == 0xC1 || Lead > 0xF4) return {-1, Length};
    for (size_t k = 1; k < Length; ++k) {
        const auto Byte = static_cast<unsigned char>(Text[k]);
        if (Byte < 0x80 || Byte > 0xBF) return {-1, Length};
    }
    const auto Second = static_cast<unsigned char>(Text[1]);
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((Lead == 0xE0 && Second < 0xA0) || (Lead == 0xED && Second > 0x9F) || (Lead == 0xF0 && Second < 0x90) ||
        (Lead == 0xF4 && Second > 0x8F)) {
        return {-1, Length};
    }
    int32_t Code = Lead & (0x7F >> Length);
    for (size_t k = 1; k < Length; ++k) Code = (Code << 6) | (static_cast<unsigned char>(Text[k]) & 0x3F);
    return {Code, Length};
}

// Characters that a name loses without a trace: path separators, NUL and the marks
// that turn the writing direction (they can disguise an extension).
bool IsDroppedFromName(int32_t Code)
{
    return Code == '/' || Code == '\\' || Code == 0 || Code == 0x200E || Code == 0x200F ||
           (Code >= 0x202A && Code <= 0x202E);
}

// The value of a run of decimal digits as the C library's atoi gives it here: the
// long saturates, and only its low 32 bits are kept.
int32_t PortValue(std::string_view Digits)
{
    int64_t Value = 0;
    for (const char Digit : Digits) {
        if (Value > (std::numeric_limits<int64_t>::max() - (Digit - '0')) / 10) {
            Value = std::numeric_limits<int64_t>::max();
            break;
        }
        Value = Value * 10 + (Digit - '0');
    }
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(Value)));
}

// A web seed with blanks or other unsafe bytes in its path gets that path escaped;
// every other URL, one that does not parse included, stays as it is.
std::string EncodeWebSeed(std::string_view Url)
{
    const auto Unchanged = [&] { return std::string(Url); };
    const size_t Start = Url.size() - TrimLeadingBlanks(Url).size();
    const size_t Colon = Url.find(':');
    if (Colon == std::string_view::npos || Url.size() < Colon + 3 || Url[Colon + 1] != '/' || Url[Colon + 2] != '/') {
        return Unchanged();
    }
    const std::string_view Protocol = Url.substr(Start, Colon - Start);
    size_t Position = Colon + 3;
    const auto FindFrom = [&](char Char, size_t From) {
        const size_t Found = Url.find(Char, From);
        return Found == std::string_view::npos ? Url.size() : Found;
    };
    const size_t At = FindFrom('@', Position);
    const size_t AuthColon = FindFrom(':', Position);
    const size_t End = std::min({FindFrom('/', Position), FindFrom('?', Position), FindFrom('#', Position)});

    std::string_view Auth;
    if (At < Url.size() && AuthColon < Url.size() && AuthColon < At && At < End) {
        Auth = Url.substr(Position, At - Position);
        Position = At + 1;
    }
    std::string_view Host;
    size_t PortAt;
    if (Position < Url.size() && Url[Position] == '[') {
        const size_t Bracket = FindFrom(']', Position);
        if (Bracket == Url.size()) return Unchanged();
        // The brackets are not written back, which spoils an IPv6 address; clients
        // that take the link will expect exactly this.
        Host = Url.substr(Position + 1, Bracket - Position - 1);
        PortAt = FindFrom(':', Bracket);
    } else {
        PortAt = FindFrom(':', Position);
        Host = Url.substr(Position, std::min(PortAt, End) - Position);
    }
    bool HasPort = false;
    int32_t Port = -1;
    if (PortAt < End) {
        const std::string_view Digits = Url.substr(PortAt + 1, End - PortAt - 1);
        if (!std::all_of(Digits.begin(), Digits.end(), [](char C) { return C >= '0' && C <= '9'; })) {
            return Unchanged();
        }
        Port = PortValue(Digits);
        HasPort = Port != -1;
    }
    const std::string_view Path = Url.substr(End);
    if (std::all_of(Path.begin(), Path.end(), [](char C) { return UrlSafe(static_cast<unsigned char>(C)); })) {
        return Unchanged();
    }
    // A path that is missing, or begins with the query or the fragment, gets its "/".
    const bool Slash = Path.empty() || Path.front() == '?' || Path.front() == '#';
    std::string Out;
    Out.reserve(Protocol.size() + 3 + Auth.size() + 1 + Host.size() + 12 + 1 + EscapedLength(Path, PathSafe));
    Out += Protocol;
    Out += "://";
    if (!Auth.empty()) {
        Out += Auth;
        Out += '@';
    }
    Out += Host;
    if (HasPort) {
        Out += ':';
        Out += std::to_string(Port);
    }
    if (Slash) Out += '/';
    AppendEscaped(Out, Path, PathSafe);
    return Out;
}

}  // namespace

std::string EscapeMagnetValue(std::string_view Text)
{
    return Escape(Text, ValueSafe);
}

std::string CleanDisplayName(std::string_view Name)
{
    constexpr size_t CutAt = 240;
    std::string Out;
    size_t Added = 0;
    size_t Dots = 0;
    bool KeptExtension = false;
    for (size_t i = 0; i < Name.size();) {
        const auto [Code, Length] = ReadCodePoint(Name.substr(i));
        if (Code >= 0 && IsDroppedFromName(Code)) {
            i += Length;
            continue;
        }
        if (Code < 32) {
            Out += '_';
            ++Added;
            i += Length;
            continue;
        }
        Out.append(Name.substr(i, Length));
        Added += Length;
        if (Code == '.') ++Dots;
        if (Added >= CutAt && !KeptExtension) {
            // Past the limit only an extension among the last nine bytes, after this
            // character, is still written.
            size_t Dot = 0;
            const size_t Floor = std::max(Name.size() >= 10 ? Name.size() - 10 : 0, i);
            for (size_t j = Name.size() - 1; j > Floor; --j) {
                if (Name[j] == '.') {
                    Dot = j;
                    break;
                }
            }
            if (Dot == 0) break;
            KeptExtension = true;
            i = Dot;
            continue;
        }
        i += Length;
    }
    if (Added == Dots && Added <= 2) return {};
    return Out;
}

std::vector<std::string_view> LinkTrackers(const TMagnetParts& Parts)
{
    std::vector<std::string_view> Trackers;
    for (const auto& Tier : Parts.Tiers) {
        for (const auto& Url : Tier) {
            const std::string_view Trimmed = TrimLeadingBlanks(Url);
            if (!Trimmed.empty()) Trackers.push_back(Trimmed);
        }
    }
    if (Trackers.empty()) {
        const std::string_view Trimmed = TrimLeadingBlanks(Parts.Announce);
        if (!Trimmed.empty()) Trackers.push_back(Trimmed);
    }
    return Trackers;
}

std::string LinkDisplayName(const TMagnetParts& Parts)
{
    if (!Parts.HasName) return {};
    // Cleaning an empty name gives "_"; one that cleaning empties (dots, separators
    // and direction marks only) is named after its hash instead.
    if (Parts.Name.empty()) return "_";
    std::string Name = CleanDisplayName(Parts.Name);
    if (Name.empty()) Name = Parts.HashName;
    return Name;
}

std::vector<std::string> LinkWebSeeds(const TMagnetParts& Parts)
{
    std::vector<std::string> Seeds;
    std::set<std::string, std::less<>> Seen;
    for (const auto& Url : Parts.WebSeeds) {
        if (Url.empty()) continue;
        std::string Seed = EncodeWebSeed(Url);
        if (Parts.SeveralFiles && Seed.back() != '/') Seed += '/';
        if (Seen.insert(Seed).second) Seeds.push_back(std::move(Seed));
    }
    return Seeds;
}

std::string MakeFullMagnetLink(const TMagnetParts& Parts)
{
    if (Parts.InfoHash.empty() && Parts.InfoHashV2.empty()) return {};
    const std::string Name = LinkDisplayName(Parts);
    const std::vector<std::string_view> Trackers = LinkTrackers(Parts);
    const std::vector<std::string> Seeds = LinkWebSeeds(Parts);
    constexpr std::string_view Btih = "xt=urn:btih:", Btmh = "xt=urn:btmh:1220";

    // The link is measured first and then written into one buffer of its final
    // size: a link of hundreds of megabytes costs its length and nothing more.
    size_t Size = std::string_view("magnet:?").size();
    if (!Parts.InfoHash.empty()) Size += Btih.size() + Parts.InfoHash.size();
    if (!Parts.InfoHashV2.empty()) Size += 1 + Btmh.size() + Parts.InfoHashV2.size();
    if (!Name.empty()) Size += 4 + EscapedLength(Name, ValueSafe);
    for (const auto Tracker : Trackers) Size += 4 + EscapedLength(Tracker, ValueSafe);
    for (const auto& Seed : Seeds) Size += 4 + EscapedLength(Seed, ValueSafe);

    std::string Link;
    Link.reserve(Size);
    Link += "magnet:?";
    if (!Parts.InfoHash.empty()) {
        Link += Btih;
        Link += Parts.InfoHash;
    }
    if (!Parts.InfoHashV2.empty()) {
        if (!Parts.InfoHash.empty()) Link += '&';
        Link += Btmh;
        Link += Parts.InfoHashV2;
    }
    if (!Name.empty()) {
        Link += "&dn=";
        AppendEscaped(Link, Name, ValueSafe);
    }
    for (const auto Tracker : Trackers) {
        Link += "&tr=";
        AppendEscaped(Link, Tracker, ValueSafe);
    }
    for (const auto& Seed : Seeds) {
        Link += "&ws=";
        AppendEscaped(Link, Seed, ValueSafe);
    }
    return Link;
}

// The parts of TTorrentFile that only the full link needs live here, beside it.

namespace {

const std::string* StringOf(const TObject* Value)
{
    const auto* Scalar = dynamic_cast<const TIntString*>(Value);
    return Scalar && !Scalar->IsInteger ? &Scalar->StringValue : nullptr;
}

}  // namespace

void TTorrentFile::ReadLinkSources() noexcept
{
    LinkName = {};
    HasLinkName = false;
    TrackerTiers.clear();
    WebSeeds.clear();
    // Read as leniently as clients read them: an entry of the wrong kind is passed
    // over, never a reason to give no link. Empty trackers never reach the link, so
    // they are not kept: a tier of millions of them costs nothing.
    try {
        if (const auto* List = dynamic_cast<const TObjectList*>(Root->Find("announce-list"))) {
            for (const auto& Tier : List->Items) {
                const auto* Urls = dynamic_cast<const TObjectList*>(Tier.get());
                if (!Urls) continue;
                auto& Out = TrackerTiers.emplace_back();
                for (const auto& Url : Urls->Items) {
                    const std::string* Text = StringOf(Url.get());
                    if (Text && !Text->empty()) Out.push_back(*Text);
                }
            }
        }
        const TObject* Seeds = Root->Find("url-list");
        if (const std::string* Text = StringOf(Seeds)) {
            WebSeeds.push_back(*Text);
        } else if (const auto* List = dynamic_cast<const TObjectList*>(Seeds)) {
            for (const auto& Url : List->Items) {
                if (const std::string* Entry = StringOf(Url.get())) WebSeeds.push_back(*Entry);
            }
        }
        if (const auto* Info = dynamic_cast<const TObjectHash*>(Root->Find("info"))) {
            const std::string* Text = StringOf(Info->Find("name.utf-8"));
            if (!Text) Text = StringOf(Info->Find("name"));
            if (Text) {
                LinkName = *Text;
                HasLinkName = true;
            }
        }
    } catch (...) {
        // An allocation that fails leaves the link without its extras.
    }
}

TMagnetParts TTorrentFile::LinkParts() const
{
    TMagnetParts Parts;
    if (!IsV2Only()) Parts.InfoHash = InfoHash;
    Parts.InfoHashV2 = InfoHashV2;
    Parts.Name = LinkName;
    Parts.HasName = HasLinkName;
    Parts.HashName = InfoHash;
    Parts.Tiers = TrackerTiers;
    Parts.Announce = Announce;
    Parts.WebSeeds = WebSeeds;
    Parts.SeveralFiles = MultiFile && FileCount > 1;
    return Parts;
}

std::string TTorrentFile::FullMagnetLink() const
{
    return MakeFullMagnetLink(LinkParts());
}

bool TTorrentFile::HasLinkTracker() const
{
    // LinkTrackers without the copies: a tiered tracker that is not all blanks,
    // else the announce URL.
    for (const auto& Tier : TrackerTiers) {
        for (const auto& Url : Tier) {
            if (!TrimLeadingBlanks(Url).empty()) return true;
        }
    }
    return !TrimLeadingBlanks(Announce).empty();
}

bool TTorrentFile::LinkFindsNoPeers(bool FullLink) const
{
    return IsPrivate && (!FullLink || !HasLinkTracker());
}
