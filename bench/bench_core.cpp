// Throughput of the core: imported records through the pipeline and decoder,
// and the KISS record splitter on its own.

#include <benchmark/benchmark.h>

#include <vector>

#include "base/configuration.h"
#include "base/utc_time.h"
#include "decode/text_forms.h"
#include "intake/frame_pipeline.h"
#include "kisslog/kiss.h"
#include "sim/sample_recording.h"

namespace {

using namespace varne4;

// Records whose values differ from one to the next, as a real recording's do.
std::vector<std::vector<std::uint8_t>> housekeepingRecords(std::size_t count) {
    std::vector<std::vector<std::uint8_t>> records;
    HousekeepingSample s;
    for (std::size_t i = 0; i < count; ++i) {
        s.uptime = static_cast<std::int32_t>(100000 + 60 * i);
        s.rtc = 3973557600u + static_cast<std::uint32_t>(60 * i);
        s.currentA = static_cast<std::int16_t>(-400 + static_cast<int>(i * 37 % 1000));
        s.temps[0] = static_cast<std::int8_t>(i % 90 - 20);
        records.push_back(withPortByte(makeHousekeepingFrame(s)));
    }
    return records;
}

// Housekeeping beacons through TakeImportedRecord: satellite test, decoding into
// panel texts and history, upload body; nothing is sent.
void BM_ImportHousekeeping(benchmark::State& state) {
    Configuration config;
    config.myCall = "OK1ABC";
    config.qthLat = "50.1";
    config.qthLong = "14.4";
    const FixedClock clock{DateTime{2026, 11, 28, 14, 2, 0, 0}};
    const DisplayFormat format;
    PipelineEvents quiet;
    FramePipeline pipeline(config, clock, format, quiet);
    const auto records = housekeepingRecords(256);

    std::size_t i = 0;
    for (auto _ : state) {
        pipeline.TakeImportedRecord(records[i++ % records.size()]);
        benchmark::DoNotOptimize(pipeline.panel().slotText[20].data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["history"] = static_cast<double>(pipeline.history().size());
}
BENCHMARK(BM_ImportHousekeeping);

// Frames of other stations stop at the satellite test.
void BM_ImportOtherStation(benchmark::State& state) {
    Configuration config;
    const FixedClock clock{DateTime{2026, 11, 28, 14, 2, 0, 0}};
    const DisplayFormat format;
    PipelineEvents quiet;
    FramePipeline pipeline(config, clock, format, quiet);
    const auto record = withPortByte(makeStationFrame("APRS", "OK1ABC-9", "WIDE2-2", "!4903.50N/07201.75W>mobile"));
    for (auto _ : state)
        pipeline.TakeImportedRecord(record);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ImportOtherStation);

// Cutting a KISS log into records, in bytes per second.
void BM_SplitRecords(benchmark::State& state) {
    std::vector<std::uint8_t> log;
    for (int pass = 0; pass < 20; ++pass) {
        const auto part = makeSampleRecording(kSampleSeed + static_cast<unsigned>(pass), 3);
        log.insert(log.end(), part.begin(), part.end());
    }
    std::int64_t records = 0;
    for (auto _ : state) {
        kiss::RecordSplitter splitter;
        std::span<const std::uint8_t> input(log);
        while (auto r = splitter.next(input)) {
            benchmark::DoNotOptimize(r->content.data());
            ++records;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
    state.SetItemsProcessed(records);
}
BENCHMARK(BM_SplitRecords);

} // namespace

BENCHMARK_MAIN();
