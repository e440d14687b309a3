#pragma once
// What the station printed, and from it the fate of the uploads. The senders of
// the two servers run independently and try failed transfers again, so an
// outcome line cannot be placed by its order. An answered transfer names itself:
// the station prints the answer's headers, and the servers' answers name the
// server, the request and the frame. A failed transfer without an answer (refused,
// cut, timed out) names nothing and is only counted.

#include <QByteArray>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace soak {

// An answer the station printed, as its headers name it.
struct AnswerLine {
    int server = 0;                     // 0 the server, 1 the backup
    std::uint64_t request = 0;          // its number in that server's record, from 1
    std::optional<std::uint64_t> frame; // planned frame index; none when the digest names no satellite frame
    int status = 0;
    std::string line; // as printed
};

struct StationCounts {
    std::uint64_t lines = 0;
    std::uint64_t bodies = 0;          // upload bodies of satellite frames the modem sent
    std::uint64_t unknownBodies = 0;   // bodies of frames that are no satellite frame of the plan
    std::uint64_t repeatedBodies = 0;  // a frame's body printed again
    std::uint64_t drops = 0;           // dropped from a full upload queue in memory
    std::uint64_t okOutcomes = 0;      // 2xx answers
    std::uint64_t failedOutcomes = 0;  // every other outcome line: each a failed transfer
    std::uint64_t failedAnswers = 0;   // of those, the ones with an answer (an error status)
    std::uint64_t untaggedAnswers = 0; // answers whose headers do not name the request
    std::uint64_t givenUp = 0;
    std::array<std::uint64_t, 2> rests{}; // "failed 3 times in a row", by server
    std::uint64_t resumed = 0;            // "resuming N uploads" at start
    std::uint64_t keptAtStop = 0;         // "N upload(s) waiting in the station database" at the stop
    std::uint64_t tooLongReported = 0, shortReported = 0;
    std::uint64_t protocolErrors = 0, reconnects = 0, connections = 0, linkErrors = 0;
};

class StationLog {
public:
    // A satellite frame the modem sent; its body is matched by the frame field.
    void expectSatellite(std::string frameHex, std::uint64_t index);

    // Bytes of the station's standard output, in any pieces.
    void feed(const QByteArray& bytes);
    // The end of the output: a last line without its line end counts too.
    void finish();
    // One whole line.
    void take(const QByteArray& line);

    const StationCounts& counts() const { return counts_; }
    std::uint64_t outcomes() const { return counts_.okOutcomes + counts_.failedOutcomes; }
    // Satellite frames sent for which the station printed a 2xx answer of `server`.
    std::uint64_t delivered(int server) const { return delivered_[server].size(); }
    // Uploads of the satellite frames sent that the station has not seen answered with a 2xx yet.
    std::int64_t uploadsBehind() const;
    std::optional<std::uint64_t> lastBody() const { return lastBody_; }
    const QByteArray& lastLine() const { return lastLine_; }

    const std::unordered_map<std::string, std::uint64_t>& satelliteByHex() const { return satelliteByHex_; }
    const std::vector<AnswerLine>& answers() const { return answers_; }
    // Failed transfers without an answer, by the station's words for them.
    const std::map<std::string, std::uint64_t>& failureReasons() const { return failureReasons_; }

private:
    void answered(std::string_view text);

    StationCounts counts_;
    QByteArray partial_;
    std::unordered_map<std::string, std::uint64_t> satelliteByHex_;
    std::unordered_map<std::string, std::uint64_t> satelliteByDigest_;
    std::unordered_set<std::uint64_t> bodySeen_;
    std::optional<std::uint64_t> lastBody_;
    QByteArray lastLine_;
    std::vector<AnswerLine> answers_;
    std::array<std::unordered_set<std::uint64_t>, 2> delivered_;
    std::map<std::string, std::uint64_t> failureReasons_;
};

} // namespace soak
