// One housekeeping frame through the desktop station with 10,000 history entries
// and the chart on screen: decode, panel, chart (and, in the second case, paint).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QChartView>
#include <QTemporaryDir>

#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

#include "decode/beacon_table.h"
#include "intake/frame_pipeline.h"
#include "station/station.h"
#include "ui/main_window.h"

namespace {

using namespace varne4;

std::vector<std::uint8_t> housekeepingFrame(std::uint8_t variation) {
    std::vector<std::uint8_t> f(kHousekeepingLength + 1, 0);
    std::copy(kSatelliteHeader.begin(), kSatelliteHeader.end(), f.begin());
    f[15] = 0xF0;
    f[kTypeOffset1] = 0x64;
    f[kTypeOffset2] = 0x64;
    for (const auto& field : housekeepingFields)
        f[field.offset] = static_cast<std::uint8_t>(variation + field.slot);
    return f;
}

struct Rig {
    Rig() : clock(DateTime{2024, 5, 6, 7, 8, 9, 10}), station(clock, format) {
        const auto config = std::filesystem::path(dir.path().toStdString()) / "online_conf.ini";
        std::ofstream(config, std::ios::binary) << "PORT=127.0.0.1:1\r\nMYCALL=BENCH\r\n";
        StationOptions options;
        options.configPath = config;
        options.uploadAllowed = false;
        window = std::make_unique<ui::MainWindow>(station, options, [](const QString&, const QString&) {});
        window->show();
        for (int i = 0; i < 10000; ++i) {
            clock.set(DateTime{2024, 5, 6, 7 + i / 3600 % 12, i / 60 % 60, i % 60, 0});
            std::vector<std::uint8_t> record{0x00};
            const auto frame = housekeepingFrame(static_cast<std::uint8_t>(i));
            record.insert(record.end(), frame.begin(), frame.end());
            station.takeImportedRecord(record);
        }
        window->flushChartRefresh();
        QCoreApplication::processEvents();
        live.push_back(0x00);
        const auto frame = housekeepingFrame(7);
        live.insert(live.end(), frame.begin(), frame.end());
    }
    // Each frame a second after the one before, as on the air: the time axis moves.
    void tick() {
        ++seconds;
        clock.set(DateTime{2024, 5, 7, seconds / 3600 % 24, seconds / 60 % 60, seconds % 60, 0});
    }
    ~Rig() {
        window.reset();
        station.shutDown();
    }

    QTemporaryDir dir;
    FixedClock clock;
    DisplayFormat format;
    Station station;
    std::unique_ptr<ui::MainWindow> window;
    std::vector<std::uint8_t> live;
    int seconds = 0;
};

Rig& rig() {
    static Rig r;
    return r;
}

void BM_HousekeepingFrame(benchmark::State& state) {
    Rig& r = rig();
    for (auto _ : state) {
        r.tick();
        r.station.takeLiveFrame(r.live);
        r.window->flushChartRefresh();
    }
    state.counters["history"] = static_cast<double>(r.station.pipeline().history().size());
}

void BM_HousekeepingFrameAndPaint(benchmark::State& state) {
    Rig& r = rig();
    auto* view = r.window->findChild<QChartView*>(QStringLiteral("MSChart1"));
    for (auto _ : state) {
        r.tick();
        r.station.takeLiveFrame(r.live);
        r.window->flushChartRefresh();
        view->viewport()->repaint();
    }
}

BENCHMARK(BM_HousekeepingFrame)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_HousekeepingFrameAndPaint)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
