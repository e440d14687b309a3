// Soak rig: the real station program, headless, against a fake AGW modem and two
// telemetry servers that fail about one request in three. The modem sends a
// planned mix of frames (satellite beacons of every type, each numbered, other
// stations, near misses of the satellite header, too short and too long frames,
// AGW headers with absurd lengths, modem restarts) cut into random TCP writes.
// The station keeps every upload in its database and tries failed ones again;
// after the last frame the rig waits for the backlog to drain, stops the station
// with SIGTERM and reads its database. It checks that the station is alive and
// stops cleanly, that its KISS log holds every frame in order, that every
// satellite frame reached both servers, none was given up and nothing waits.
// Prints the figures; exit status 0 when every check holds, 1 when one fails, 2
// when the run cannot be set up.
//
//   build/bench/soak_rig --binary build/varne4-decoder [--frames N] [--seed S]
//                        [--sat-permille N] [--bad-header-every N] [--restart-every N]
//                        [--max-backlog N] [--max-rss-mb N] [--drain-minutes N] [--keep DIR]

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

#include "fake_modem.h"
#include "flaky_server.h"
#include "plan.h"
#include "station_log.h"
#include "station_run.h"
#include "verifier.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser cl;
    cl.addHelpOption();
    const QCommandLineOption binaryOpt("binary", "the station program", "path");
    const QCommandLineOption framesOpt("frames", "AGW frames to send", "n", "1000000");
    const QCommandLineOption seedOpt("seed", "plan seed", "n", "1");
    const QCommandLineOption satOpt("sat-permille", "satellite frames per 1000", "n", "10");
    const QCommandLineOption badOpt("bad-header-every", "frames between absurd headers (0: none)", "n", "25000");
    const QCommandLineOption restartOpt("restart-every", "frames between modem restarts (0: none)", "n", "200000");
    const QCommandLineOption backlogOpt("max-backlog", "satellite frames the uploads may lag behind", "n", "300");
    const QCommandLineOption keepOpt("keep", "keep the station's files in this folder", "dir");
    const QCommandLineOption memOpt("max-rss-mb", "peak memory allowed", "n", "200");
    const QCommandLineOption drainOpt("drain-minutes", "time the uploads have after the last frame", "n", "10");
    cl.addOptions({binaryOpt, framesOpt, seedOpt, satOpt, badOpt, restartOpt, backlogOpt, keepOpt, memOpt, drainOpt});
    cl.process(app);
    if (!cl.isSet(binaryOpt)) {
        std::fprintf(stderr, "--binary is required\n");
        return 2;
    }
    soak::PlanSettings settings;
    settings.frames = cl.value(framesOpt).toULongLong();
    settings.seed = cl.value(seedOpt).toULongLong();
    settings.satPermille = cl.value(satOpt).toInt();
    settings.badHeaderEvery = cl.value(badOpt).toULongLong();
    settings.restartEvery = cl.value(restartOpt).toULongLong();
    if (settings.frames == 0 || settings.satPermille < 1 || settings.satPermille > 800) {
        std::fprintf(stderr, "--frames must be positive and --sat-permille 1 to 800\n");
        return 2;
    }
    const soak::Plan plan(settings);

    QTemporaryDir tempDir;
    const QString dir = cl.isSet(keepOpt) ? cl.value(keepOpt) : tempDir.path();
    QDir().mkpath(dir);

    soak::TelemetryServers servers(settings.seed);
    soak::StationLog log;
    soak::FakeModem modem(plan, log, cl.value(backlogOpt).toULongLong());
    if (!servers.start() || !modem.listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 2;
    }
    soak::StationRun station(plan, modem, log, servers, dir, cl.value(drainOpt).toLongLong() * 60 * 1000);
    if (!station.writeConfig()) return 2;
    std::printf("soak: %llu frames, %d per mille satellite, seed %llu, files in %s\n",
                static_cast<unsigned long long>(settings.frames), settings.satPermille,
                static_cast<unsigned long long>(settings.seed), qPrintable(dir));
    std::fflush(stdout);
    soak::RunResult run;
    if (!station.run(cl.value(binaryOpt), run)) return 2;
    const auto seen = servers.stop();

    soak::Verifier verifier(plan, modem, log, seen, run, dir, cl.value(memOpt).toLong() * 1024);
    const int failures = verifier.report();
    std::printf("\n%s\n", failures == 0 ? "SOAK PASSED" : "SOAK FAILED");
    if (failures != 0 && !cl.isSet(keepOpt)) {
        tempDir.setAutoRemove(false);
        std::printf("files kept in %s\n", qPrintable(dir));
    }
    return failures == 0 ? 0 : 1;
}
