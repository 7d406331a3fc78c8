// Throughput of SHA-1 and SHA-256 on both compression paths, one 16 KiB message
// at a time (initialize, one Transform, Complete), the unit that
// `openssl speed -bytes 16384` times, so the figures compare directly.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "MessageDigests.h"

namespace {

constexpr int32_t MessageSize = 16384;

void HashMessages(benchmark::State& State, TMessageDigestClass Class, TShaImplementation Path)
{
    if (Path == TShaImplementation::Hardware && !ShaHardwareAvailable()) {
        State.SkipWithError("this processor has no SHA extensions");
        return;
    }
    SetShaImplementation(Path);
    std::vector<uint8_t> Message(MessageSize);
    std::mt19937 Random(1);
    for (auto& B : Message) B = uint8_t(Random());
    auto Digest = Class();
    for (auto _ : State) {
        Digest->Initialize();
        Digest->Transform(Message.data(), MessageSize);
        Digest->Complete();
        benchmark::DoNotOptimize(Digest->Digest());
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * MessageSize);
    SetShaImplementation(TShaImplementation::Auto);
}

}  // namespace

int main(int argc, char** argv)
{
    struct {
        const char* Name;
        TMessageDigestClass Class;
        TShaImplementation Path;
    } const Cases[] = {
        {"sha1/portable", &TSHA1::Create, TShaImplementation::Portable},
        {"sha1/hardware", &TSHA1::Create, TShaImplementation::Hardware},
        {"sha256/portable", &TSHA256::Create, TShaImplementation::Portable},
        {"sha256/hardware", &TSHA256::Create, TShaImplementation::Hardware},
    };
    for (const auto& C : Cases) {
        const auto Class = C.Class;
        const auto Path = C.Path;
        benchmark::RegisterBenchmark(C.Name, [Class, Path](benchmark::State& S) { HashMessages(S, Class, Path); });
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
