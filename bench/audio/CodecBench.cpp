// Throughput of the per-block work of the player: G.711 decoding of a one-second block
// and the 8000 -> 44100 Hz conversion of channel mode.
#include "AcmStream.h"
#include "G711.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

static void BM_DecodeALawSecond(benchmark::State& state)
{
    std::vector<std::uint8_t> codes(8000);
    for (size_t i = 0; i < codes.size(); ++i)
        codes[i] = static_cast<std::uint8_t>(i * 37);
    std::vector<std::int16_t> pcm(8000);
    for (auto _ : state) {
        G711::DecodeALaw(codes.data(), pcm.data(), codes.size());
        benchmark::DoNotOptimize(pcm.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 8000);
}
BENCHMARK(BM_DecodeALawSecond);

static void BM_EncodeALawSecond(benchmark::State& state)
{
    std::vector<std::int16_t> pcm(8000);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(9000 * std::sin(static_cast<double>(i) * 0.3));
    std::vector<std::uint8_t> codes(8000);
    for (auto _ : state) {
        G711::EncodeALaw(pcm.data(), codes.data(), pcm.size());
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16000);
}
BENCHMARK(BM_EncodeALawSecond);

static void BM_Resample8000To44100Second(benchmark::State& state)
{
    std::unique_ptr<TAcmStream> s;
    TAcmStream::Open(s, PcmFormat(8000), PcmFormat(44100), 0);
    std::vector<std::int16_t> in(8000), out(44100);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<std::int16_t>(9000 * std::sin(static_cast<double>(i) * 0.3));
    tAcmStreamHeader h;
    h.pbSrc = reinterpret_cast<std::uint8_t*>(in.data());
    h.cbSrcLength = 16000;
    h.pbDst = reinterpret_cast<std::uint8_t*>(out.data());
    h.cbDstLength = 88200;
    s->PrepareHeader(h);
    bool first = true;
    for (auto _ : state) {
        s->Convert(h, first ? AcmConvert::Start : AcmConvert::BlockAlign);
        first = false;
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16000);
}
BENCHMARK(BM_Resample8000To44100Second);

BENCHMARK_MAIN();
