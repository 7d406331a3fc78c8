// The decoder on arbitrary bytes: no crash, no sanitizer report, no exception, and
// the same tree, stopping position and info extent as the independent model of its
// rules.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "BDecode.h"
#include "Streams.h"
#include "TreeDump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
    TMemoryStream Stream = TMemoryStream::View(Bytes);
    TInfoExtent InfoExtent;
    std::unique_ptr<TObject> Value = ReadValue(Stream, InfoExtent);
    FUZZ_CHECK(Stream.Position() >= 0 && Stream.Position() <= int64_t(Size), "position %lld of %zu",
               static_cast<long long>(Stream.Position()), Size);

    reference::Decoder Model(Bytes);
    std::unique_ptr<reference::Value> Expected = Model.Decode();
    if (Model.Uncertain()) return 0;
    FUZZ_CHECK(bool(Value) == bool(Expected), "decoder gave %s, model gave %s", Value ? "a value" : "none",
               Expected ? "a value" : "none");
    if (!Expected) return 0;
    std::string Got, Want;
    Dump(*Value, Got);
    reference::Dump(*Expected, Want);
    FUZZ_CHECK(Got == Want, "trees differ\n  decoder: %.300s\n  model:   %.300s", Got.c_str(), Want.c_str());
    // The extent the loader hashes, as the decoder records it for the root.
    if (auto* Root = dynamic_cast<const TObjectHash*>(Value.get())) {
        std::optional<reference::InfoExtent> Extent = reference::Decoder::RealInfoExtent(Expected.get());
        const bool Recorded =
            InfoExtent.Start >= 0 && InfoExtent.Complete && dynamic_cast<const TObjectHash*>(Root->Find("info"));
        FUZZ_CHECK(Recorded == Extent.has_value(), "decoder %s a complete info extent, the model %s",
                   Recorded ? "records" : "has no", Extent ? "has one" : "has none");
        if (Extent)
            FUZZ_CHECK(InfoExtent.Start == Extent->Start && InfoExtent.Length == Extent->Length,
                       "info extent %lld+%lld, the model's %lld+%lld", static_cast<long long>(InfoExtent.Start),
                       static_cast<long long>(InfoExtent.Length), static_cast<long long>(Extent->Start),
                       static_cast<long long>(Extent->Length));
    } else {
        FUZZ_CHECK(InfoExtent.Start == -1 && InfoExtent.Length == -1 && !InfoExtent.Complete,
                   "info extent %lld+%lld beside a root that is no dictionary",
                   static_cast<long long>(InfoExtent.Start), static_cast<long long>(InfoExtent.Length));
    }
    FUZZ_CHECK(Stream.Position() == Model.Position(), "decoder stopped at %lld, model at %lld",
               static_cast<long long>(Stream.Position()), static_cast<long long>(Model.Position()));
    return 0;
}
