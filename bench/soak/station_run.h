#pragma once
// One run of the station program: its configuration, its start, its output
// handed to the log, its memory sampled, and at the end a stop by SIGTERM. The
// run ends when every planned frame went out and every upload ended, when
// nothing moved for two minutes, or when the station ended by itself.

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

struct RunResult {
    bool exitedEarly = false; // the station ended before the run did
    bool hang = false;        // nothing moved for too long
    bool aliveAtEnd = false;
    bool exitClean = false; // stopped by SIGTERM with exit status 0
    ProcessMemory peak;
    std::vector<std::pair<std::uint64_t, long>> rssAt; // frames sent, RSS in kB
    double seconds = 0;
    QByteArray standardError;
};

class StationRun {
public:
    // The station's files go to `dir`.
    StationRun(const Plan& plan, FakeModem& modem, StationLog& log, QString dir);

    // The station's configuration, pointing at the modem and the two servers.
    bool writeConfig(quint16 serverPort, quint16 backupPort);
    // False when the program cannot be started; `result` holds the run otherwise.
    bool run(const QString& binary, RunResult& result);

private:
    const Plan& plan_;
    FakeModem& modem_;
    StationLog& log_;
    QString dir_;
    QString configPath_;
};

} // namespace soak
