#pragma once
// What the station printed, and from it the fate of every upload. Transfers run
// one at a time in arrival order, server before backup, so the n-th outcome line
// belongs to the n-th transfer of the bodies still queued.

#include <QByteArray>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace soak {

// What the station said of one transfer.
struct TransferReport {
    bool ok = false;
    std::string line; // as printed
};

struct StationCounts {
    std::uint64_t lines = 0;
    std::uint64_t bodies = 0;        // upload bodies of satellite frames the modem sent
    std::uint64_t unknownBodies = 0; // bodies of frames that are no satellite frame of the plan
    std::uint64_t drops = 0;         // dropped from a full upload queue
    std::uint64_t okOutcomes = 0, failedOutcomes = 0;
    std::uint64_t strayOutcomes = 0; // outcomes with no transfer waiting
    std::uint64_t tooLongReported = 0, shortReported = 0;
    std::uint64_t protocolErrors = 0, reconnects = 0, connections = 0, linkErrors = 0;
};

class StationLog {
public:
    // (frame index, 0 the server / 1 the backup)
    using TransferKey = std::pair<std::uint64_t, int>;

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
    // Transfers of the bodies printed so far that have not ended yet.
    std::int64_t pendingTransfers() const;
    std::optional<std::uint64_t> lastBody() const { return lastBody_; }
    const QByteArray& lastLine() const { return lastLine_; }

    const std::unordered_map<std::string, std::uint64_t>& satelliteByHex() const { return satelliteByHex_; }
    const std::map<TransferKey, TransferReport>& transfers() const { return transfers_; }
    bool wasDropped(std::uint64_t index) const { return dropped_.count(index) > 0; }

private:
    void outcome(bool ok, std::string_view line);

    StationCounts counts_;
    QByteArray partial_;
    std::unordered_map<std::string, std::uint64_t> satelliteByHex_;
    std::optional<std::uint64_t> lastBody_;
    QByteArray lastLine_;
    std::map<TransferKey, TransferReport> transfers_;
    std::unordered_set<std::uint64_t> dropped_; // frames whose transfers never began
    std::deque<std::uint64_t> waiting_;         // bodies whose transfers have not begun
    std::optional<TransferKey> current_;
};

} // namespace soak
