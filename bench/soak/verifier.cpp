#include "verifier.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <map>

#include "base/compat_texts.h"
#include "fake_modem.h"
#include "kisslog/kiss_file_reader.h"
#include "plan.h"
#include "station_log.h"

namespace soak {

namespace {

unsigned long long u(std::uint64_t v) { return static_cast<unsigned long long>(v); }

QStringList kissLogs(const QString& dir) { return QDir(dir).entryList({QStringLiteral("*.kss")}, QDir::Files); }

} // namespace

Verifier::Verifier(const Plan& plan, const FakeModem& modem, const StationLog& log,
                   const std::array<ServerRecord, 2>& servers, const RunResult& run, QString dir, long maxRssKb)
    : plan_(plan), modem_(modem), log_(log), servers_(servers), run_(run), dir_(std::move(dir)), maxRssKb_(maxRssKb) {}

int Verifier::report() {
    const KissLogFigures kiss = readKissLog();
    const UploadFigures uploads = accountUploads();
    for (const auto& note : uploads.notes)
        std::printf("  %s\n", note.c_str());
    printFigures(kiss, uploads);
    return printChecks(kiss, uploads);
}

// Read with the station's own reader. Every raw frame that fits the buffer leaves
// a time stamp and then the frame, in the order sent; an empty frame leaves its
// time stamp only.
Verifier::KissLogFigures Verifier::readKissLog() const {
    KissLogFigures k;
    const QStringList logs = kissLogs(dir_);
    k.files = static_cast<std::size_t>(logs.size());
    varne4::KissFileReader reader;
    const bool opened = logs.size() == 1 && reader.open(QDir(dir_).filePath(logs[0]).toStdString());
    std::uint64_t i = 0;
    const auto nextLogged = [&]() -> std::optional<PlannedFrame> {
        while (i < modem_.sent()) {
            PlannedFrame f = plan_.frame(i++);
            if (!Plan::fitsBuffer(f)) continue;
            ++k.expectedStamps;
            if (f.data.empty()) continue;
            ++k.expectedLogged;
            return f;
        }
        return std::nullopt;
    };
    while (opened) {
        auto item = reader.next();
        if (!item) break;
        if (item->kind == varne4::KissFileReader::Kind::TimeStamp) {
            ++k.stamps;
            continue;
        }
        const auto want = nextLogged();
        ++k.logged;
        bool same = false;
        if (item->kind == varne4::KissFileReader::Kind::Oversize) {
            ++k.unreadable; // every frame the link takes must read back: this counts as lost
        } else {
            same = want && std::equal(item->content.begin(), item->content.end(), want->data.begin(), want->data.end());
        }
        if (!same) {
            ++k.mismatches;
            if (!k.firstMismatch) k.firstMismatch = i - 1;
        }
    }
    while (nextLogged()) {
    }
    return k;
}

// All of the upload accounting is here: what the servers saw, then what the
// station reported, frame by frame. A transfer is tried once per server, so its
// one outcome line must agree with the server's record.
Verifier::UploadFigures Verifier::accountUploads() const {
    UploadFigures f;
    const auto& byHex = log_.satelliteByHex();

    // What the servers saw: which frames each answered in full.
    std::map<StationLog::TransferKey, bool> posted;
    for (int t = 0; t < 2; ++t)
        for (const auto& request : servers_[t].requests) {
            const auto it = byHex.find(request.frameHex);
            if (it == byHex.end()) {
                ++f.unknownAtServer;
                continue;
            }
            if (request.posted && !posted[{it->second, t}]) {
                posted[{it->second, t}] = true;
                ++f.posted[t];
            }
        }

    // What the station reported, beside it; frames dropped from a full queue never had a transfer.
    std::vector<std::pair<std::uint64_t, const std::string*>> frames; // in the order sent
    for (const auto& [hex, index] : byHex)
        frames.emplace_back(index, &hex);
    std::sort(frames.begin(), frames.end());
    for (const auto& [index, hex] : frames) {
        if (log_.wasDropped(index)) continue;
        bool both = true;
        for (int t = 0; t < 2; ++t) {
            const bool atServer = posted.count({index, t}) > 0;
            both = both && atServer;
            const auto it = log_.transfers().find({index, t});
            if (it == log_.transfers().end()) {
                ++f.unaccounted;
                continue;
            }
            const TransferReport& reported = it->second;
            const auto note = [&](const char* what) {
                f.notes.push_back(std::string(what) + ": frame " + std::to_string(index) + " to the " + serverName(t) +
                                  ", station said \"" + reported.line + "\"");
            };
            if (reported.ok && !atServer && ++f.misreported <= 10) note("success without a post");
            if (!reported.ok) {
                ++f.failedReported;
                // Harmless, but worth a look at the first few: what the server saw of it.
                if (atServer && ++f.reachedAnyway <= 3) {
                    note("failure reported, yet posted");
                    for (const auto& request : servers_[t].requests)
                        if (request.frameHex == *hex)
                            f.notes.push_back("    the server: " + std::string(answerName(request.answer)) +
                                              " on connection " + std::to_string(request.connection));
                }
            }
        }
        f.bothPosted += both;
    }
    f.unaccounted += f.misreported;
    return f;
}

void Verifier::printFigures(const KissLogFigures& kiss, const UploadFigures& uploads) const {
    const ModemCounts& m = modem_.counts();
    const StationCounts& s = log_.counts();
    std::printf("\nfigures\n");
    std::printf("  plan                  ");
    for (int c = 0; c < kFrameClassCount; ++c)
        std::printf(" %s %llu;", frameClassName(static_cast<FrameClass>(c)), u(m.byClass[c]));
    std::printf("\n");
    std::printf("  frames sent            %llu (%llu raw frames, %llu of other AGW kinds; %llu writes, %.1f MB)\n",
                u(modem_.sent()), u(m.rawSent), u(m.otherKindsSent), u(m.writes), m.bytesSent / 1e6);
    std::printf("  frames delivered       %llu raw frames taken (%llu too long, dropped and reported: %llu)\n",
                u(m.rawSent), u(m.tooLongSent), u(s.tooLongReported));
    std::printf("  frames logged          %llu of %llu expected (%llu unreadable); %llu time stamps of %llu\n",
                u(kiss.logged), u(kiss.expectedLogged), u(kiss.unreadable), u(kiss.stamps), u(kiss.expectedStamps));
    std::printf("  satellite frames       %llu (%llu short, reported: %llu); bodies in the log: %llu\n",
                u(m.satellitesSent + m.shortSatellitesSent), u(m.shortSatellitesSent), u(s.shortReported), u(s.bodies));
    std::printf("  posted                 server %llu, backup %llu, both %llu\n", u(uploads.posted[0]),
                u(uploads.posted[1]), u(uploads.bothPosted));
    // "Reached the server anyway": the client resent the request after a broken answer
    // and the server answered a resend in full, yet the transfer still failed.
    std::printf("  failures reported      %llu transfers (%llu of them reached the server anyway); "
                "%llu dropped from a full queue\n",
                u(uploads.failedReported), u(uploads.reachedAnyway), u(s.drops));
    std::printf("  unaccounted            %llu (success reported without a post: %llu)\n", u(uploads.unaccounted),
                u(uploads.misreported));
    for (int t = 0; t < 2; ++t) {
        std::printf("  %s answers        ", serverName(t));
        for (int a = 0; a < kAnswerCount; ++a)
            std::printf(" %s %llu;", answerName(static_cast<Answer>(a)), u(servers_[t].answers[a]));
        std::printf("\n");
    }
    std::printf("  link                   %llu bad headers -> %llu protocol errors; %llu modem restarts; "
                "%llu connections, %llu reconnect attempts, %llu link errors\n",
                u(m.badHeaders), u(s.protocolErrors), u(m.restarts), u(s.connections), u(s.reconnects),
                u(s.linkErrors));
    std::printf("  peak memory            VmHWM %ld kB, sampled RSS peak %ld kB; RSS by frames sent:", run_.peak.hwmKb,
                run_.peak.rssKb);
    for (const auto& [frames, kb] : run_.rssAt)
        std::printf(" %lluk:%ld", u(frames / 1000), kb / 1024);
    std::printf(" (MB)\n");
    std::printf("  wall time              %.1f s, %.0f frames/s (the modem waited for the uploads %llu times)\n",
                run_.seconds, modem_.sent() / run_.seconds, u(m.backlogPauses));
    std::printf("  last line              %s\n", log_.lastLine().constData());
    if (!run_.standardError.isEmpty())
        std::printf("  standard error         %s\n", run_.standardError.left(500).constData());
}

int Verifier::printChecks(const KissLogFigures& kiss, const UploadFigures& uploads) const {
    const ModemCounts& m = modem_.counts();
    const StationCounts& s = log_.counts();
    int failures = 0;
    const auto check = [&failures](bool ok, const char* what) {
        std::printf("  %-4s %s\n", ok ? "ok" : "FAIL", what);
        if (!ok) ++failures;
    };
    namespace texts = varne4::texts;
    const QByteArray counterLine =
        QByteArray(texts::kLivePrefix.data(), texts::kLivePrefix.size()) + QByteArray::number(s.bodies) +
        QByteArray(texts::kPostOkSeparator.data(), texts::kPostOkSeparator.size()) + QByteArray::number(s.okOutcomes);

    std::printf("\nchecks\n");
    check(!run_.exitedEarly && run_.aliveAtEnd, "the station is alive at the end");
    check(run_.exitClean, "SIGTERM stops it with exit status 0");
    check(log_.lastLine().startsWith(counterLine), "its last line is the counter line, matching what it reported");
    check(!run_.hang, "no hang: the station kept taking frames and finishing uploads");
    check(modem_.allSent(), "every planned frame was sent");
    check(run_.peak.hwmKb < 0 || run_.peak.hwmKb < maxRssKb_, "peak memory under the limit (or not measurable here)");
    check(kiss.files == 1, "one KISS log");
    check(kiss.mismatches == 0 && kiss.logged == kiss.expectedLogged && kiss.stamps == kiss.expectedStamps,
          "the KISS log holds every frame taken, byte for byte, in order, each after a time stamp");
    if (kiss.firstMismatch) std::printf("       first difference at planned frame %llu\n", u(*kiss.firstMismatch));
    check(s.tooLongReported == m.tooLongSent, "every frame over 512 bytes reported as dropped");
    check(s.shortReported == m.shortSatellitesSent, "every short satellite frame reported");
    check(s.bodies == m.satellitesSent + m.shortSatellitesSent && s.unknownBodies == 0,
          "every satellite frame taken as one (no near miss)");
    check(uploads.unaccounted == 0 && s.strayOutcomes == 0 && uploads.unknownAtServer == 0,
          "every satellite frame posted to both servers or its failure reported");
    check(s.protocolErrors == m.badHeaders && m.faultsKeptLink == 0, "every bad header closed the link");
    check(m.unexpectedLosses == 0, "the link closed only when the modem made it");
    return failures;
}

} // namespace soak
