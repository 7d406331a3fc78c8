// The bencode writer of the tests, benchmarks and fuzz harnesses: values become
// their bytes here, so that every torrent a test builds is built one way. Standard
// library only, so that the core tests can use it as well as the Qt ones.
//
// Lists and dictionaries take values that are already encoded, which lets a test
// put any bytes (a malformed value, a non-canonical integer) where a value goes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Bencode {

// "<length>:<bytes>".
inline std::string String(std::string_view Bytes)
{
    return std::to_string(Bytes.size()) + ':' + std::string(Bytes);
}

// "i<decimal>e".
inline std::string Int(int64_t Value)
{
    return 'i' + std::to_string(Value) + 'e';
}

// "l<items>e", the items as given.
inline std::string List(const std::vector<std::string>& Items)
{
    std::string Out = "l";
    for (const std::string& Item : Items) Out += Item;
    return Out + 'e';
}

// "d<key><value>...e" with the keys sorted by their bytes, as the format asks.
inline std::string Dict(const std::map<std::string, std::string>& Entries)
{
    std::string Out = "d";
    for (const auto& [Key, Value] : Entries) Out += String(Key) + Value;
    return Out + 'e';
}

// A dictionary whose entries stand in the order given: unsorted or repeated keys,
// which real files have and which are hashed as written.
inline std::string DictAsGiven(const std::vector<std::pair<std::string, std::string>>& Entries)
{
    std::string Out = "d";
    for (const auto& [Key, Value] : Entries) Out += String(Key) + Value;
    return Out + 'e';
}

}  // namespace Bencode
