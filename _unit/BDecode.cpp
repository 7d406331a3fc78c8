#include "BDecode.h"

#include <algorithm>

// The decoder recurses once per level of nesting; every level passes its depth on
// so that a hostile document of a million 'l' bytes meets MaxNestingDepth instead
// of the end of the stack. Reaching the limit aborts the whole decode: each
// reader that sees the flag returns none at once, up to the root.

namespace {

struct TDecoder {
    TStream& Stream;
    TInfoExtent* InfoExtent = nullptr;  // where the root's "info" value lies, if wanted
    TInfoSink* InfoSink = nullptr;      // what receives its bytes, if wanted
    bool Aborted = false;
};

inline bool IsDigit(int C)
{
    return C >= '0' && C <= '9';
}

// A string body this long (the "pieces" of a big torrent) has its memory backed
// before it is read into.
constexpr int64_t LargeString = int64_t{4} << 20;
// A string body this long is copied in from the stream's own buffer, run by run,
// into room reserved for it: filling it with zeros first (resize) would write
// every byte of a 64 MB body twice.
constexpr int64_t LongString = int64_t{64} << 10;

std::unique_ptr<TObject> ReadValueLead(TDecoder& D, int Lead, int Depth);
std::unique_ptr<TObjectHash> ReadDictionaryAt(TDecoder& D, int Depth, bool* Closed);
std::unique_ptr<TObjectList> ReadListAt(TDecoder& D, int Depth);

// string: <length>:<bytes>. The length is read as a signed 32-bit number that
// wraps (done in unsigned arithmetic); the byte that ends it is consumed unseen.
// The result is the number of body bytes to take. A wrapped negative length takes
// nothing. A length past the end of the stream takes what remains, so a few bytes
// that declare 2 GiB cost a few bytes.
int64_t ReadBodyLength(TStream& Stream, int32_t LengthSoFar)
{
    uint32_t Length = static_cast<uint32_t>(LengthSoFar);
    int C;
    while (IsDigit(C = Stream.ReadByte())) Length = Length * 10u + static_cast<uint32_t>(C - '0');
    const int32_t Declared = static_cast<int32_t>(Length);
    if (Declared <= 0) return 0;
    return std::min<int64_t>(Declared, Stream.Remaining());
}

// Bytes receives the body; it is read in place, so a scalar's string is filled
// where it will stay.
void ReadStringBody(TStream& Stream, int32_t LengthSoFar, std::string& Bytes)
{
    const int64_t Take = ReadBodyLength(Stream, LengthSoFar);
    Bytes.clear();
    if (Take <= 0) return;
    if (Take < LongString) {
        Bytes.resize(static_cast<size_t>(Take));
        const int64_t Got = Stream.Read(Bytes.data(), Take);
        if (Got != Take) Bytes.resize(static_cast<size_t>(std::max<int64_t>(Got, 0)));
        return;
    }
    Bytes.reserve(static_cast<size_t>(Take));
    // The allocation is fresh memory from the system: have it backed in one go
    // before the first write touches it.
    if (Take >= LargeString) PopulateBuffer(Bytes.data(), static_cast<size_t>(Take));
    for (int64_t Left = Take; Left > 0;) {
        const std::string_view Run = Stream.ReadView(Left);
        if (Run.empty()) break;
        Bytes.append(Run);
        Left -= static_cast<int64_t>(Run.size());
    }
}

std::unique_ptr<TIntString> ReadScalarString(TStream& Stream, int32_t LengthSoFar)
{
    auto Scalar = std::make_unique<TIntString>();
    ReadStringBody(Stream, LengthSoFar, Scalar->StringValue);
    return Scalar;
}

// integer: i<digits>e. Every '-' makes it negative; the byte that ends it is
// consumed unseen. Arithmetic modulo 2^64, done unsigned.
int64_t ReadIntegerDigits(TStream& Stream)
{
    uint64_t Value = 0;
    bool Negative = false;
    for (;;) {
        const int C = Stream.ReadByte();
        if (IsDigit(C))
            Value = Value * 10u + static_cast<uint64_t>(C - '0');
        else if (C == '-')
            Negative = true;
        else
            break;
    }
    if (Negative) Value = 0u - Value;
    return static_cast<int64_t>(Value);
}

// One value whose lead byte has been read already. Depth is the nesting level a
// list or dictionary starting here would have (the root is level 1).
std::unique_ptr<TObject> ReadValueLead(TDecoder& D, int Lead, int Depth)
{
    if (IsDigit(Lead)) return ReadScalarString(D.Stream, Lead - '0');
    switch (Lead) {
    case 'i': return std::make_unique<TIntString>(ReadIntegerDigits(D.Stream));
    case 'l': return ReadListAt(D, Depth);
    case 'd': return ReadDictionaryAt(D, Depth, nullptr);
    default: return nullptr;  // starts no value; the byte stays consumed
    }
}

// list: l<values>e. An element that yields none is left out and reading goes on
// with the next byte; the end of the stream ends the list with what it holds.
std::unique_ptr<TObjectList> ReadListAt(TDecoder& D, int Depth)
{
    if (Depth > MaxNestingDepth) {
        D.Aborted = true;
        return nullptr;
    }
    auto List = std::make_unique<TObjectList>();
    for (;;) {
        const int Lead = D.Stream.ReadByte();
        if (Lead < 0 || Lead == 'e') break;
        // Dispatching on the byte just read is the same as stepping back over it
        // and reading the value afresh, without the seek.
        std::unique_ptr<TObject> Item = ReadValueLead(D, Lead, Depth + 1);
        if (D.Aborted) return nullptr;
        if (Item) List->Add(std::move(Item));
    }
    // The unused end of a grown array is never written, so it costs address space
    // only; shrinking it would copy the array and, for the moment of the copy,
    // hold it twice.
    return List;
}

// dictionary: d<string key><value>...e. A key must begin with a digit: any other
// byte but 'e' where a key should begin makes the whole dictionary none. The end
// of the stream ends it with what it holds. Closed reports whether its own 'e'
// was read.
std::unique_ptr<TObjectHash> ReadDictionaryAt(TDecoder& D, int Depth, bool* Closed)
{
    if (Closed) *Closed = false;
    if (Depth > MaxNestingDepth) {
        D.Aborted = true;
        return nullptr;
    }
    TStream& Stream = D.Stream;
    auto Dictionary = std::make_unique<TObjectHash>();
    int Lead;
    std::string Key;
    while (IsDigit(Lead = Stream.ReadByte())) {
        ReadStringBody(Stream, Lead - '0', Key);
        const int64_t Start = Stream.Position();

        const bool IsInfo = Key == "info";
        const bool Tapped = IsInfo && Depth == 1 && D.InfoExtent && D.InfoSink;
        if (Tapped) {
            D.InfoSink->Begin();
            Stream.StartTap(*D.InfoSink);
        }
        bool ValueClosed = false;
        std::unique_ptr<TObject> Value;
        const int ValueLead = Stream.ReadByte();
        if (ValueLead == 'd')
            Value = ReadDictionaryAt(D, Depth + 1, &ValueClosed);
        else if (ValueLead >= 0)
            Value = ReadValueLead(D, ValueLead, Depth + 1);
        const bool Passed = Tapped && Stream.StopTap();
        if (D.Aborted) return nullptr;

        if (IsInfo && Depth == 1 && Value && D.InfoExtent) {
            // The real extent, for the info hash: the entries below can be
            // replaced by the document's own keys, this cannot.
            D.InfoExtent->Start = Start;
            D.InfoExtent->Length = Stream.Position() - Start;
            D.InfoExtent->Complete = ValueClosed;
            D.InfoExtent->Passed = Passed;
        } else if (Tapped) {
            // The sink now holds bytes of a value that the extent does not describe.
            D.InfoExtent->Passed = false;
        }
        if (Value && !Key.empty()) Dictionary->Put(Key, std::move(Value));
        if (IsInfo) {
            // The start as a signed 32-bit number widened again, the length as the
            // 64-bit difference from it.
            const int64_t Start32 = static_cast<int32_t>(static_cast<uint32_t>(Start));
            Dictionary->Put("_info_start", std::make_unique<TIntString>(Start32));
            Dictionary->Put("_info_length", std::make_unique<TIntString>(Stream.Position() - Start32));
        }
    }
    if (Lead == 'e') {
        if (Closed) *Closed = true;
        return Dictionary;
    }
    if (Lead < 0) return Dictionary;
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// TObjectItems

TObjectItems::~TObjectItems()
{
    clear();
    if (FCapacity > InlineCapacity) ::operator delete(FHeap);
}

void TObjectItems::clear()
{
    value_type* Items = data();
    for (uint32_t I = 0; I < FCount; ++I) Items[I].~value_type();
    FCount = 0;
}

void TObjectItems::Grow(size_t Capacity)
{
    if (Capacity > UINT32_MAX) throw std::bad_alloc();
    Move(std::max<size_t>(Capacity, 8));
}

void TObjectItems::shrink_to_fit()
{
    if (FCapacity > InlineCapacity && FCount < FCapacity) Move(FCount);
}

void TObjectItems::Move(size_t Capacity)
{
    value_type* From = data();
    const bool Inline = Capacity <= InlineCapacity;
    value_type* To = Inline ? nullptr : static_cast<value_type*>(::operator new(Capacity * sizeof(value_type)));
    if (Inline) {
        // Back from an array into the object: the heap pointer shares its bytes
        // with the inline slots, so keep it aside first.
        value_type* Heap = FHeap;
        for (uint32_t I = 0; I < FCount; ++I) {
            value_type Item(std::move(Heap[I]));
            Heap[I].~value_type();
            new (FInline + I) value_type(std::move(Item));
        }
        ::operator delete(Heap);
        FCapacity = InlineCapacity;
        return;
    }
    for (uint32_t I = 0; I < FCount; ++I) {
        new (To + I) value_type(std::move(From[I]));
        From[I].~value_type();
    }
    if (FCapacity > InlineCapacity) ::operator delete(FHeap);
    FHeap = To;
    FCapacity = static_cast<uint32_t>(Capacity);
}

// ---------------------------------------------------------------------------
// Entry points

namespace {

std::unique_ptr<TObject> ReadRoot(TDecoder& D)
{
    const int Lead = D.Stream.ReadByte();
    if (Lead < 0) return nullptr;
    std::unique_ptr<TObject> Value = ReadValueLead(D, Lead, 1);
    if (D.Aborted) return nullptr;
    return Value;
}

}  // namespace

std::unique_ptr<TObject> ReadValue(TStream& Stream)
{
    TDecoder D{Stream};
    return ReadRoot(D);
}

std::unique_ptr<TObject> ReadValue(TStream& Stream, TInfoExtent& InfoExtent, TInfoSink* Sink)
{
    InfoExtent = TInfoExtent();
    TDecoder D{Stream, &InfoExtent, Sink};
    std::unique_ptr<TObject> Value = ReadRoot(D);
    // The extent went with a root dictionary that turned out broken.
    if (!Value) InfoExtent = TInfoExtent();
    return Value;
}

std::unique_ptr<TObjectHash> ReadDictionary(TStream& Stream)
{
    TDecoder D{Stream};
    std::unique_ptr<TObjectHash> Value = ReadDictionaryAt(D, 1, nullptr);
    if (D.Aborted) return nullptr;
    return Value;
}

std::unique_ptr<TObjectList> ReadList(TStream& Stream)
{
    TDecoder D{Stream};
    std::unique_ptr<TObjectList> Value = ReadListAt(D, 1);
    if (D.Aborted) return nullptr;
    return Value;
}

std::unique_ptr<TIntString> ReadString(TStream& Stream, int32_t LengthSoFar)
{
    return ReadScalarString(Stream, LengthSoFar);
}

std::unique_ptr<TIntString> ReadInteger(TStream& Stream)
{
    return std::make_unique<TIntString>(ReadIntegerDigits(Stream));
}

void ReadStringBytes(TStream& Stream, int32_t LengthSoFar, std::string& Bytes)
{
    ReadStringBody(Stream, LengthSoFar, Bytes);
}

void SkipStringBytes(TStream& Stream, int32_t LengthSoFar)
{
    const int64_t Take = ReadBodyLength(Stream, LengthSoFar);
    if (Take > 0) Stream.Seek(Take, TSeekOrigin::soCurrent);
}

int64_t ReadIntegerValue(TStream& Stream)
{
    return ReadIntegerDigits(Stream);
}

std::string BytesToHex(std::string_view Bytes, int MaxCount)
{
    static constexpr char Digits[] = "0123456789abcdef";
    const size_t Count = std::min(Bytes.size(), static_cast<size_t>(std::max(MaxCount, 0)));
    std::string Text(2 * Count, '\0');
    for (size_t I = 0; I < Count; ++I) {
        const auto B = static_cast<unsigned char>(Bytes[I]);
        Text[2 * I] = Digits[B >> 4];
        Text[2 * I + 1] = Digits[B & 0x0F];
    }
    return Text;
}
