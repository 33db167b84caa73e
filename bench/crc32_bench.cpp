// CRC-32 throughput on 64 KiB buffers: this program's crc32 against zlib's crc32, in the same
// run. The goal is at least 1.5 times zlib's bytes per second. BM_Crc32Slicing/BM_Crc32Folded
// compare the two ways behind crc32 on short inputs, which sets where crc32 starts folding.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "serial/crc32.h"

namespace {

constexpr size_t kBufferSize = 64 * 1024;

std::vector<uint8_t> buffer() {
    std::vector<uint8_t> bytes(kBufferSize);
    uint32_t state = 0x12345678u;
    for (uint8_t& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

void BM_Crc32Ours(benchmark::State& run) {
    const std::vector<uint8_t> bytes = buffer();
    for (auto _ : run) {
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(shuttle::crc32(bytes.data(), bytes.size()));
    }
    run.SetBytesProcessed(static_cast<int64_t>(run.iterations() * bytes.size()));
}
BENCHMARK(BM_Crc32Ours)->MinTime(1.0);

void BM_Crc32Zlib(benchmark::State& run) {
    const std::vector<uint8_t> bytes = buffer();
    for (auto _ : run) {
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(::crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
    }
    run.SetBytesProcessed(static_cast<int64_t>(run.iterations() * bytes.size()));
}
BENCHMARK(BM_Crc32Zlib)->MinTime(1.0);

void BM_Crc32Slicing(benchmark::State& run) {
    const std::vector<uint8_t> bytes = buffer();
    const size_t length = static_cast<size_t>(run.range(0));
    for (auto _ : run) {
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(shuttle::crc32Slicing(bytes.data(), length));
    }
    run.SetBytesProcessed(static_cast<int64_t>(run.iterations() * length));
}
BENCHMARK(BM_Crc32Slicing)->Arg(64)->Arg(96)->Arg(112)->Arg(128)->Arg(256)->Arg(1024);

void BM_Crc32Folded(benchmark::State& run) {
    if (!shuttle::crc32FoldedAvailable()) {
        run.SkipWithError("no carry-less multiplication on this processor");
        return;
    }
    const std::vector<uint8_t> bytes = buffer();
    const size_t length = static_cast<size_t>(run.range(0));
    for (auto _ : run) {
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(shuttle::crc32Folded(bytes.data(), length));
    }
    run.SetBytesProcessed(static_cast<int64_t>(run.iterations() * length));
}
BENCHMARK(BM_Crc32Folded)->Arg(64)->Arg(96)->Arg(112)->Arg(128)->Arg(256)->Arg(1024);

// Both in the same loop, batch by batch in turn, so that both see the same machine; each
// batch is timed in this thread's CPU time and the fastest batch of each counts, which keeps
// other work on a shared machine out of the comparison. The ratio is ours / zlib in bytes per
// second (above 1: ours is faster).
double threadSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// A batch covers about 2 MiB however short the buffer, so that reading the clock stays small
// against the work timed.
template <class Crc>
double batchSeconds(const std::vector<uint8_t>& bytes, Crc crc) {
    const size_t batch = std::max<size_t>(32, (size_t(2) << 20) / bytes.size());
    const double start = threadSeconds();
    for (size_t i = 0; i < batch; ++i) {
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(crc(bytes.data(), bytes.size()));
    }
    return (threadSeconds() - start) / double(batch);
}

uint32_t ours(const uint8_t* data, size_t length) { return shuttle::crc32(data, length); }
uint32_t zlib(const uint8_t* data, size_t length) { return uint32_t(::crc32(0L, data, static_cast<uInt>(length))); }

void BM_Crc32Ratio(benchmark::State& run) {
    std::vector<uint8_t> bytes = buffer();
    bytes.resize(static_cast<size_t>(run.range(0)));
    if (ours(bytes.data(), bytes.size()) != zlib(bytes.data(), bytes.size())) {
        run.SkipWithError("the two CRCs differ");
        return;
    }
    double bestOurs = 1e30, bestZlib = 1e30;
    for (auto _ : run) {
        bestOurs = std::min(bestOurs, batchSeconds(bytes, ours));
        bestZlib = std::min(bestZlib, batchSeconds(bytes, zlib));
    }
    run.counters["ours_GBps"] = double(bytes.size()) / bestOurs / 1e9;
    run.counters["zlib_GBps"] = double(bytes.size()) / bestZlib / 1e9;
    run.counters["ratio"] = bestZlib / bestOurs;
}
// 64 KiB buffers, and 64 bytes: the size of a link frame.
BENCHMARK(BM_Crc32Ratio)->Arg(kBufferSize)->Arg(64)->MinTime(2.0);

}  // namespace
