// The request-block codec on its own: queuing reads, terminating the block,
// scanning the server's reply.

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/bench_util.h"
#include "link/codec.h"

namespace skyfault::bench {
namespace {

using link::kBlockSize;
using link::QueuedRecord;
using link::RequestBlock;

// The most 4-byte reads that fit: each takes a 16-byte header and 4 bytes of
// data, and the terminator must still fit within the limit.
constexpr std::int64_t kValueSize = 4;
constexpr std::int64_t kMostReads =
    (link::kBlockSpaceLimit - link::kTerminatorSize) / (link::kReadHeaderSize + kValueSize);

// Queues `count` 4-byte reads; false when one did not fit.
bool QueueReads(RequestBlock& block, std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) {
        const auto key = static_cast<std::uint32_t>(i + 1);
        if (!block.AppendRead(0x0200u + static_cast<std::uint32_t>(i % 0x1000), kValueSize, key)) {
            return false;
        }
    }
    return true;
}

// Checks that exactly `count` reads fit when count is the most (one more is
// refused), so that the largest case really is the full block.
bool CheckCount(std::int64_t count) {
    std::vector<std::uint8_t> buffer(kBlockSize);
    RequestBlock block(buffer.data());
    if (!QueueReads(block, count)) {
        return false;
    }
    return count != kMostReads || !block.AppendRead(0x0200, kValueSize, 1);
}

void BM_CodecQueue(benchmark::State& state) {
    const std::int64_t count = state.range(0);
    if (!CheckCount(count)) {
        state.SkipWithError("the reads do not fit as expected");
        return;
    }
    std::vector<std::uint8_t> buffer(kBlockSize);
    RequestBlock block(buffer.data());
    QueueReads(block, count);  // the record list reaches its working size
    block.Clear();
    const std::uint64_t before = AllocationCount();
    for (auto _ : state) {
        block.Clear();
        QueueReads(block, count);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, AllocationCount() - before);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_CodecQueue)->Arg(1)->Arg(10)->Arg(100)->Arg(kMostReads);

// Terminating a queued block: the terminator and the hand-over of the queued
// records for the scan. Each measurement terminates a batch of blocks queued
// beforehand, outside the measured time; the count of measurements is fixed,
// since the untimed queuing would otherwise make the run very long.
void BM_CodecTerminate(benchmark::State& state) {
    const std::int64_t count = state.range(0);
    constexpr int kBatch = 16;
    std::vector<std::vector<std::uint8_t>> buffers(kBatch, std::vector<std::uint8_t>(kBlockSize));
    std::vector<RequestBlock> blocks(kBatch);
    std::vector<std::vector<QueuedRecord>> sent(kBatch);
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            blocks[i].Attach(buffers[i].data());
            QueueReads(blocks[i], count);
        }
        const std::uint64_t before = AllocationCount();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kBatch; ++i) {
            blocks[i].Terminate(sent[i]);  // as the link does: storage swapped, kept
        }
        const auto stop = std::chrono::steady_clock::now();
        allocations += AllocationCount() - before;
        benchmark::DoNotOptimize(sent.data());
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count() / kBatch);
    }
    ReportAllocations(state, allocations / kBatch);
}
BENCHMARK(BM_CodecTerminate)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Arg(kMostReads)
    ->UseManualTime()
    ->Iterations(4000);

// Scanning a reply of `count` 4-byte reads and delivering every value.
void BM_CodecScanReply(benchmark::State& state) {
    const std::int64_t count = state.range(0);
    std::vector<std::uint8_t> buffer(kBlockSize);
    RequestBlock block(buffer.data());
    QueueReads(block, count);
    const std::vector<QueuedRecord> sent = block.Terminate();
    // The server's reply: every read's data area holds its value.
    std::uint32_t position = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        link::PutLe32(buffer.data() + position + link::kReadHeaderSize,
                      static_cast<std::uint32_t>(i * 128));
        position += link::kReadHeaderSize + kValueSize;
    }
    std::vector<std::uint32_t> values(static_cast<std::size_t>(count) + 1);
    const link::DeliverFunction deliver = [&values](std::uint32_t key, const std::uint8_t* data,
                                                    std::uint32_t size) {
        std::memcpy(&values[key], data, size < 4 ? size : 4);
    };
    if (link::ScanReply(buffer.data(), sent, deliver) != link::ScanOutcome::kComplete) {
        state.SkipWithError("the reply does not scan");
        return;
    }
    const std::uint64_t before = AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(link::ScanReply(buffer.data(), sent, deliver));
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, AllocationCount() - before);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_CodecScanReply)->Arg(1)->Arg(10)->Arg(100)->Arg(kMostReads);

}  // namespace
}  // namespace skyfault::bench
