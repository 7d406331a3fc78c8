// The running copy's reader of hand-off messages on arbitrary bytes arriving in
// pieces of arbitrary sizes: no crash, no sanitizer report, never more bytes taken
// than offered or wanted, never stuck, and every message it yields is exactly the
// bytes it took for it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "OnlyOne.h"

namespace {

void Check(bool Condition, const char* What)
{
    if (Condition) return;
    std::fprintf(stderr, "fuzz_handoff: %s\n", What);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    if (Size == 0) return 0;
    // The first byte chooses how the connection splits the rest into reads.
    const unsigned Split = Data[0];
    std::string_view Bytes(reinterpret_cast<const char*>(Data) + 1, Size - 1);

    THandOffDecoder Decoder;
    std::string Message;  // the bytes taken for the message being read
    unsigned Step = 0;
    while (!Bytes.empty() && Decoder.State() != THandOffDecoder::TState::Bad) {
        const size_t Offer = std::min<size_t>(Bytes.size(), Split == 0 ? Bytes.size() : 1 + (Split * ++Step) % 97);
        const size_t Taken = Decoder.Feed(Bytes.substr(0, Offer));
        Check(Taken <= Offer, "took more bytes than offered");
        Message.append(Bytes.substr(0, Taken));
        Bytes.remove_prefix(Taken);
        if (Decoder.State() == THandOffDecoder::TState::Ready) {
            Check(Decoder.Wanted() == 0, "wants bytes while a message is ready");
            const THandOffMessage M = Decoder.Take();
            Check(M.Text.size() <= HandOffMaxText, "a text beyond the limit");
            Check(M.Kind != THandOffKind::Forward || M.Text.empty(), "a forward with a text");
            Check(EncodeHandOff(M.Kind, M.Text) == Message, "the message is not the bytes taken for it");
            Check(Decoder.AtMessageStart(), "not at a message start after Take");
            Message.clear();
        } else if (Decoder.State() == THandOffDecoder::TState::NeedMore) {
            Check(Taken > 0, "stuck: wants more but took nothing");
        }
    }
    return 0;
}
