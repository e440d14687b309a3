#pragma once
// The end of a soak run: the figures, and the checks that nothing was lost. The
// KISS log is read back against the plan; the servers' records are set beside
// what the station reported of every upload.

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "flaky_server.h"
#include "station_run.h"

namespace soak {

class FakeModem;
class Plan;
class StationLog;

class Verifier {
public:
    Verifier(const Plan& plan, const FakeModem& modem, const StationLog& log,
             const std::array<ServerRecord, 2>& servers, const RunResult& run, QString dir, long maxRssKb);

    // Prints the figures and the checks; the number of checks that failed.
    int report();

private:
    // The KISS log against the frames the station took.
    struct KissLogFigures {
        std::size_t files = 0;
        std::uint64_t logged = 0, expectedLogged = 0, unreadable = 0;
        std::uint64_t stamps = 0, expectedStamps = 0, mismatches = 0;
        std::optional<std::uint64_t> firstMismatch; // planned frame index
    };
    // Every satellite frame the station took: posted to each server, or its failure reported.
    struct UploadFigures {
        std::array<std::uint64_t, 2> posted{}; // frames each server answered in full
        std::uint64_t bothPosted = 0;
        std::uint64_t failedReported = 0;
        std::uint64_t reachedAnyway = 0; // failure reported, yet the server answered in full
        std::uint64_t misreported = 0;   // success reported without a post
        std::uint64_t unaccounted = 0;   // neither posted nor reported as failed (misreported included)
        std::uint64_t unknownAtServer = 0;
        std::vector<std::string> notes; // the first cases worth a look
    };

    KissLogFigures readKissLog() const;
    UploadFigures accountUploads() const;
    void printFigures(const KissLogFigures& kiss, const UploadFigures& uploads) const;
    int printChecks(const KissLogFigures& kiss, const UploadFigures& uploads) const;

    const Plan& plan_;
    const FakeModem& modem_;
    const StationLog& log_;
    const std::array<ServerRecord, 2>& servers_;
    const RunResult& run_;
    QString dir_;
    long maxRssKb_;
};

} // namespace soak
