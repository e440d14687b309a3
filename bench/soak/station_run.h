#pragma once
// One run of the station program: its configuration, its start, its output
// handed to the log, its memory sampled, and at the end a stop by SIGTERM and a
// look into its database. The run ends when every planned frame went out and
// every satellite frame reached both servers (the backlog drained), when the
// drain takes longer than allowed, when nothing moved for two minutes, or when
// the station ended by itself.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

#include "process_memory.h"

namespace soak {

class FakeModem;
class Plan;
class StationLog;
class TelemetryServers;

struct RunResult {
    bool exitedEarly = false; // the station ended before the run did
    bool hang = false;        // nothing moved for too long while the frames went out
    bool aliveAtEnd = false;
    bool exitClean = false;    // stopped by SIGTERM with exit status 0
    bool drained = false;      // every satellite frame reached both servers before the stop
    bool drainStalled = false; // after the last frame the station fell silent instead
    double drainSeconds = 0;   // from the last planned frame to the end of the run
    ProcessMemory peak;
    std::vector<std::pair<std::uint64_t, long>> rssAt; // frames sent, RSS in kB
    double seconds = 0;
    QByteArray standardError;
    // What "uploads --db" said of the station database after the stop; -1 when it did not end by itself.
    QByteArray databaseReport, databaseError;
    int databaseExit = -1;
};

class StationRun {
public:
    // The station's files go to `dir`; `drainLimitMs` is how long the uploads may
    // take to catch up after the last planned frame.
    StationRun(const Plan& plan, FakeModem& modem, StationLog& log, const TelemetryServers& servers, QString dir,
               qint64 drainLimitMs);

    // The station's configuration, pointing at the modem and the two servers. False
    // when it cannot be written, or when the folder holds files of an earlier run.
    bool writeConfig();
    // False when the program cannot be started; `result` holds the run otherwise.
    bool run(const QString& binary, RunResult& result);

private:
    bool drained() const;
    void readDatabase(const QString& program, RunResult& result) const;

    const Plan& plan_;
    FakeModem& modem_;
    StationLog& log_;
    const TelemetryServers& servers_;
    QString dir_;
    qint64 drainLimitMs_;
    QString configPath_;
};

} // namespace soak
