#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace rv {

// The figures a scrape shows. One thread (the monitor's loop) writes them, any other reads them
// at any time: each is one atomic, so a scrape never waits for the loop nor the loop for it.
struct FleetMetrics {
    // Upper bounds of the reply-time histogram's buckets, in seconds.
    static constexpr std::array<double, 10> LatencyBounds{0.001, 0.002, 0.005, 0.01, 0.02,
                                                          0.05,  0.1,   0.2,   0.5,  1.0};

    std::atomic<std::uint64_t> Readings{0};
    std::atomic<std::uint64_t> Bytes{0};
    std::atomic<std::uint64_t> ChecksumDrops{0};
    std::atomic<std::uint64_t> SkippedBytes{0};
    std::atomic<std::uint64_t> Reconnects{0};
    std::atomic<std::int32_t> DistanceMm{-1}; // -1: no reading yet
    std::atomic<std::int32_t> Mode{-1};
    std::atomic<bool> LinkUp{false};
    // Per bucket, not cumulative; the last counts replies above the last bound.
    std::array<std::atomic<std::uint64_t>, LatencyBounds.size() + 1> LatencyBuckets{};
    std::atomic<std::uint64_t> LatencySumUs{0};

    // Writer only.
    void ObserveLatency(std::chrono::microseconds latency) noexcept;
    static void Bump(std::atomic<std::uint64_t>& counter, std::uint64_t by = 1) noexcept
    {
        counter.store(counter.load(std::memory_order_relaxed) + by, std::memory_order_relaxed);
    }
};

// What the text names besides the figures.
struct MetricsLabels {
    std::string Port;
    std::string Version;
    bool Mqtt = false;
    bool MqttConnected = false;
    std::uint64_t MqttDropped = 0;
};

// Prometheus' text exposition format (version 0.0.4).
std::string RenderMetrics(const FleetMetrics& metrics, const MetricsLabels& labels);

} // namespace rv
