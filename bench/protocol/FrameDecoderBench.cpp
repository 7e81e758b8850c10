// Decoding speed of FrameDecoder::FeedByte over long byte streams.
// Run: build-h1/bench/protocol/bench_protocol

#include "rangeview/protocol/FrameDecoder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// What the module sends in automatic output: back-to-back N = 3 frames with a slowly varying
// distance, and now and then a corrupted checksum or a stray byte between frames.
std::vector<std::uint8_t> RealisticStream(std::size_t frames)
{
    std::mt19937 rng(7);
    std::vector<std::uint8_t> stream;
    stream.reserve(frames * 9);
    std::array<std::uint8_t, rv::MeasurementFrame::MaxSize> out{};
    for (std::size_t k = 0; k < frames; ++k) {
        const double wave = 1500.0 + 1000.0 * std::sin(static_cast<double>(k) * 0.0628);
        const auto distance =
            static_cast<std::uint16_t>(wave + static_cast<double>(rng() % 21) - 10.0);
        const std::size_t size = rv::MeasurementFrame::ForReading(distance, 3).Encode(out);
        if (k % 97 == 0)
            out[size - 1] ^= 0x40;
        stream.insert(stream.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
        if (k % 211 == 0)
            stream.push_back(static_cast<std::uint8_t>(rng()));
    }
    return stream;
}

// Uniformly random bytes: almost never a frame, mostly the waiting branch.
std::vector<std::uint8_t> NoiseStream(std::size_t size)
{
    std::mt19937 rng(11);
    std::vector<std::uint8_t> stream(size);
    for (auto& b : stream)
        b = static_cast<std::uint8_t>(rng());
    return stream;
}

// Frames of the longest length: the checksum pass covers 259 bytes.
std::vector<std::uint8_t> LongFrameStream(std::size_t frames)
{
    rv::MeasurementFrame frame = rv::MeasurementFrame::ForReading(1234, 2);
    frame.Length = 255;
    std::array<std::uint8_t, rv::MeasurementFrame::MaxSize> out{};
    const std::size_t size = frame.Encode(out);
    std::vector<std::uint8_t> stream;
    for (std::size_t k = 0; k < frames; ++k)
        stream.insert(stream.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
    return stream;
}

void Decode(benchmark::State& state, const std::vector<std::uint8_t>& stream)
{
    rv::FrameDecoder decoder;
    std::uint64_t readings = 0;
    std::uint64_t distanceSum = 0;
    for (auto _ : state) {
        for (std::uint8_t b : stream) {
            if (auto reading = decoder.FeedByte(b)) {
                ++readings;
                distanceSum += reading->Distance;
            }
        }
        benchmark::DoNotOptimize(distanceSum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
    state.counters["readings"] =
        benchmark::Counter(static_cast<double>(readings), benchmark::Counter::kAvgIterations);
}

void BM_FeedByte_Realistic(benchmark::State& state)
{
    static const auto stream = RealisticStream(1 << 17); // about 1 MiB
    Decode(state, stream);
}
BENCHMARK(BM_FeedByte_Realistic);

void BM_FeedByte_Noise(benchmark::State& state)
{
    static const auto stream = NoiseStream(1 << 20);
    Decode(state, stream);
}
BENCHMARK(BM_FeedByte_Noise);

void BM_FeedByte_LongFrames(benchmark::State& state)
{
    static const auto stream = LongFrameStream(4096);
    Decode(state, stream);
}
BENCHMARK(BM_FeedByte_LongFrames);

} // namespace
