// A second, independent model of the program's lenient bencode reading, written from
// its rules rather than from its code: the fuzz targets decode every input both ways
// and demand the same tree, the same stopping position and the same info extent.
//
// Rules modelled: one byte per structural read; a string length is a wrapping signed
// 32-bit number ended by any non-digit (consumed), a negative length gives an empty
// string, a length past the end takes only the bytes that remain; an integer takes
// digits and '-' (anywhere, sign only) wrapping modulo 2^64, ended by any other byte
// (consumed); a list skips elements that give no value and ends at 'e' or the end; a
// dictionary's key must start with a digit, 'e' closes it, the end of the stream
// leaves it partial, any other lead byte makes it none; a later key replaces the
// value of an earlier one in place; the empty key is dropped; nesting deeper than
// the program's limit makes the whole document none.
//
// The real extent of the root's "info" value is that of the value actually stored
// under "info", and it counts only when that value is a dictionary closed by its own
// 'e' inside the stream.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace reference {

struct Value {
    enum class TKind { String, Integer, List, Dictionary };
    TKind Kind = TKind::String;
    std::string Text;
    int64_t Integer = 0;
    std::vector<std::unique_ptr<Value>> Items;
    std::vector<std::pair<std::string, std::unique_ptr<Value>>> Entries;  // first-stored order
    bool Closed = false;                                                  // list or dictionary ended by its own 'e'
    int64_t Start = 0;                                                    // offset of the lead byte
    int64_t End = 0;                                                      // offset just behind the last byte consumed
};

struct InfoExtent {
    int64_t Start = 0;
    int64_t Length = 0;
};

class Decoder {
public:
    // The depth at which the model gives up. The program's own limit sits a little
    // below; documents whose depth falls between the two are reported as Uncertain.
    static constexpr int ModelLimit = 1003;
    static constexpr int UncertainFrom = 998;

    explicit Decoder(std::string_view Bytes) : FBytes(Bytes) {}

    // Decodes one value from the start.
    std::unique_ptr<Value> Decode()
    {
        FPos = 0;
        FDepth = FMaxDepth = 0;
        FAborted = false;
        auto Result = ReadValue();
        if (FAborted) Result.reset();
        return Result;
    }

    int64_t Position() const { return FPos; }
    bool Aborted() const { return FAborted; }
    // The nesting came close enough to the limit that the program may judge it either way.
    bool Uncertain() const { return !FAborted && FMaxDepth >= UncertainFrom; }

    // The extent that must be hashed: the stored "info" value of a root dictionary,
    // when it is a dictionary closed inside the stream.
    static std::optional<InfoExtent> RealInfoExtent(const Value* Root)
    {
        if (!Root || Root->Kind != Value::TKind::Dictionary) return std::nullopt;
        for (auto& [Key, Item] : Root->Entries)
            if (Key == "info") {
                if (Item->Kind != Value::TKind::Dictionary || !Item->Closed) return std::nullopt;
                return InfoExtent{Item->Start, Item->End - Item->Start};
            }
        return std::nullopt;
    }

private:
    std::string_view FBytes;
    int64_t FPos = 0;
    int FDepth = 0;
    int FMaxDepth = 0;
    bool FAborted = false;

    int Next()
    {
        if (FPos >= int64_t(FBytes.size())) return -1;
        return uint8_t(FBytes[size_t(FPos++)]);
    }
    static bool IsDigit(int B) { return B >= '0' && B <= '9'; }

    std::unique_ptr<Value> Make(Value::TKind Kind, int64_t Start)
    {
        auto V = std::make_unique<Value>();
        V->Kind = Kind;
        V->Start = Start;
        return V;
    }

    std::unique_ptr<Value> ReadValue()
    {
        int64_t Start = FPos;
        int B = Next();
        std::unique_ptr<Value> V;
        if (B < 0) return nullptr;
        if (IsDigit(B))
            V = ReadString(B - '0', Start);
        else if (B == 'i')
            V = ReadInteger(Start);
        else if (B == 'l' || B == 'd') {
            if (++FDepth > FMaxDepth) FMaxDepth = FDepth;
            if (FDepth > ModelLimit) {
                FAborted = true;
                return nullptr;
            }
            V = B == 'l' ? ReadList(Start) : ReadDictionary(Start);
            --FDepth;
        }
        if (FAborted) return nullptr;
        if (V) V->End = FPos;
        return V;
    }

    std::unique_ptr<Value> ReadString(uint32_t Length, int64_t Start)
    {
        for (;;) {
            int B = Next();
            if (!IsDigit(B)) break;
            Length = Length * 10u + uint32_t(B - '0');
        }
        auto V = Make(Value::TKind::String, Start);
        int32_t Declared = int32_t(Length);
        if (Declared > 0) {
            int64_t Take = std::min<int64_t>(Declared, int64_t(FBytes.size()) - FPos);
            V->Text.assign(FBytes.substr(size_t(FPos), size_t(Take)));
            FPos += Take;
        }
        return V;
    }

    std::unique_ptr<Value> ReadInteger(int64_t Start)
    {
        uint64_t Magnitude = 0;
        bool Negative = false;
        for (;;) {
            int B = Next();
            if (IsDigit(B))
                Magnitude = Magnitude * 10u + uint64_t(B - '0');
            else if (B == '-')
                Negative = true;
            else
                break;
        }
        if (Negative) Magnitude = 0u - Magnitude;
        auto V = Make(Value::TKind::Integer, Start);
        V->Integer = int64_t(Magnitude);
        return V;
    }

    std::unique_ptr<Value> ReadList(int64_t Start)
    {
        auto V = Make(Value::TKind::List, Start);
        for (;;) {
            int B = Next();
            if (B < 0) break;
            if (B == 'e') {
                V->Closed = true;
                break;
            }
            --FPos;
            auto Item = ReadValue();
            if (FAborted) return nullptr;
            if (Item) V->Items.push_back(std::move(Item));
        }
        return V;
    }

    std::unique_ptr<Value> ReadDictionary(int64_t Start)
    {
        auto V = Make(Value::TKind::Dictionary, Start);
        for (;;) {
            int B = Next();
            if (B < 0) return V;
            if (B == 'e') {
                V->Closed = true;
                return V;
            }
            if (!IsDigit(B)) return nullptr;
            auto Key = ReadString(uint32_t(B - '0'), FPos - 1);
            auto Item = ReadValue();
            if (FAborted) return nullptr;
            if (!Item || Key->Text.empty()) continue;
            bool Replaced = false;
            for (auto& [Existing, Slot] : V->Entries)
                if (Existing == Key->Text) {
                    Slot = std::move(Item);
                    Replaced = true;
                    break;
                }
            if (!Replaced) V->Entries.emplace_back(std::move(Key->Text), std::move(Item));
        }
    }
};

// A canonical text of a tree, for comparing two trees. The extent entries that the
// program's decoder may add under "_info_start" and "_info_length" are left out.
inline bool IsExtentKey(std::string_view Key)
{
    return Key == "_info_start" || Key == "_info_length";
}

inline void Dump(const Value& V, std::string& Out)
{
    switch (V.Kind) {
    case Value::TKind::String: Out += 's' + std::to_string(V.Text.size()) + ':' + V.Text; break;
    case Value::TKind::Integer: Out += 'i' + std::to_string(V.Integer) + 'e'; break;
    case Value::TKind::List:
        Out += 'l';
        for (auto& Item : V.Items) Dump(*Item, Out);
        Out += 'e';
        break;
    case Value::TKind::Dictionary:
        Out += 'd';
        for (auto& [Key, Item] : V.Entries) {
            if (IsExtentKey(Key)) continue;
            Out += std::to_string(Key.size()) + ':' + Key;
            Dump(*Item, Out);
        }
        Out += 'e';
        break;
    }
}

}  // namespace reference
