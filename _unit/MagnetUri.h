// The full magnet link: the hash parameters followed by the display name, the
// trackers and the web seeds, written the way libtorrent 2.0 writes them, so that a
// client given our link sees the same torrent as one given libtorrent's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a full link is made of; raw bytes as the metainfo holds them.
struct TMagnetParts {
    std::string InfoHash;    // 40 lowercase hex digits, or empty: no btih parameter
    std::string InfoHashV2;  // 64 lowercase hex digits, or empty: no btmh parameter
    std::string Name;        // the info dictionary's name, before any cleaning
    // Tiers of "announce-list" in order; when no tier holds a usable tracker,
    // Announce stands alone.
    std::vector<std::vector<std::string>> Tiers;
    std::string Announce;
    std::vector<std::string> WebSeeds;  // "url-list" entries in order
    bool SeveralFiles = false;          // a folder torrent of more than one file
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
std::vector<std::string> LinkTrackers(const TMagnetParts& Parts);

// The web seeds in link order: blanks and non-ASCII in a URL's path escaped, a "/"
// added for a torrent of several files, empty and repeated ones left out.
std::vector<std::string> LinkWebSeeds(const TMagnetParts& Parts);

// "magnet:?xt=urn:btih:…[&xt=urn:btmh:1220…][&dn=…][&tr=…]…[&ws=…]…", printable
// ASCII only. Without either hash it is the bare btih prefix with the rest.
std::string MakeFullMagnetLink(const TMagnetParts& Parts);
