// The full magnet link: the hash parameters followed by the display name, the
// trackers and the web seeds, written the way libtorrent 2.0 writes them, so that a
// client given our link sees the same torrent as one given libtorrent's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a full link is made of; raw bytes as the metainfo holds them, viewed where
// the caller keeps them.
struct TMagnetParts {
    std::string_view InfoHash;    // 40 lowercase hex digits, or empty: no btih parameter
    std::string_view InfoHashV2;  // 64 lowercase hex digits, or empty: no btmh parameter
    std::string_view Name;        // the info dictionary's name, before any cleaning
    bool HasName = false;         // false: the torrent has no name, the link no dn
    // What stands for a name that cleaning leaves nothing of (such as ".."): the
    // SHA-1 of the info bytes in hex, also for a v2-only torrent, as libtorrent has it.
    std::string_view HashName;
    // Tiers of "announce-list" in order; when no tier holds a usable tracker,
    // Announce stands alone.
    std::vector<std::vector<std::string_view>> Tiers;
    std::string_view Announce;
    std::vector<std::string_view> WebSeeds;  // "url-list" entries in order
    bool SeveralFiles = false;               // a folder torrent of more than one file
};

// Percent-escapes every byte except letters, digits and -_!.~*() ; the hex digits
// are lower-case.
std::string EscapeMagnetValue(std::string_view Text);

// The name cleaned as a client cleans a folder or file name: "/", "\\", NUL and the
// direction-changing marks go, control characters and bytes that are not UTF-8
// become "_", a name of one or two dots becomes empty, and a name past 240 bytes is
// cut there, keeping an extension of up to nine bytes. Empty: the name is unusable.
std::string CleanDisplayName(std::string_view Name);

// The trackers in link order: the non-empty tiered ones with leading blanks cut,
// or else the lone announce URL.
std::vector<std::string_view> LinkTrackers(const TMagnetParts& Parts);
// The name the link carries (dn=), as libtorrent names the torrent: the cleaned
// name; "_" for an empty one; HashName for one that cleaning leaves nothing of;
// empty (no dn) when there is no name.
std::string LinkDisplayName(const TMagnetParts& Parts);

// The web seeds in link order: blanks and non-ASCII in a URL's path escaped, a "/"
// added for a torrent of several files, empty and repeated ones left out.
std::vector<std::string> LinkWebSeeds(const TMagnetParts& Parts);

// "magnet:?xt=urn:btih:…[&xt=urn:btmh:1220…][&dn=…][&tr=…]…[&ws=…]…", printable
// ASCII only. Without either hash it is the bare btih prefix with the rest.
std::string MakeFullMagnetLink(const TMagnetParts& Parts);
