#pragma once
// The end of a soak run: the figures, and the checks that nothing was lost. The
// KISS log is read back against the plan; the servers' records are set beside
// what the station printed of every answer and what its database says.

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
    // The station's database as its uploads command described it after the stop.
    struct DatabaseBacklog {
        bool read = false; // the line was there and made sense
        std::uint64_t waiting = 0, sent = 0, givenUp = 0;
    };
    // Every satellite frame the station took: posted to each server, and what the
    // station made of each answer it got.
    struct UploadFigures {
        std::uint64_t frames = 0;              // satellite frames the station took
        std::array<std::uint64_t, 2> posted{}; // frames each server answered in full at least once
        std::uint64_t bothPosted = 0;
        std::array<std::uint64_t, 2> postedAgain{};   // frames answered in full more than once
        std::array<std::uint64_t, 2> receivedAgain{}; // frames that came more than once, whatever the answer
        std::array<std::uint64_t, 2> requests{};
        std::array<std::uint64_t, 2> okReceived{};       // whole 200 answers the station printed as 2xx
        std::array<std::uint64_t, 2> okNotReceived{};    // whole 200 answers it did not print
        std::array<std::uint64_t, 2> okAfterCutHeader{}; // of those, the ones right after an answer cut in its header
        std::array<std::uint64_t, 2> errorAnswers{};     // error statuses it printed
        std::uint64_t misattributed = 0; // an answer printed that the server did not give, or printed twice
        std::uint64_t resentAfterOk = 0; // a frame sent again after its 2xx was printed
        std::uint64_t unknownAtServer = 0;
        std::array<DatabaseBacklog, 2> database;
        std::vector<std::string> notes; // the first cases worth a look
    };

    // Every request the servers saw, one a line, beside the station's transcript.
    void writeServerRecords() const;
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
