#include "verifier.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

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
    writeServerRecords();
    const KissLogFigures kiss = readKissLog();
    const UploadFigures uploads = accountUploads();
    for (const auto& note : uploads.notes)
        std::printf("  %s\n", note.c_str());
    printFigures(kiss, uploads);
    return printChecks(kiss, uploads);
}

// "2026-12-07 05:48:04.239 backup 2 connection 2 200 OK frame 1234", in the station's
// time stamps, so a request can be found in its transcript.
void Verifier::writeServerRecords() const {
    QFile out(QDir(dir_).filePath(QStringLiteral("server_requests.txt")));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text)) return;
    const auto& byHex = log_.satelliteByHex();
    for (int t = 0; t < 2; ++t)
        for (std::size_t k = 0; k < servers_[t].requests.size(); ++k) {
            const ServerRequest& r = servers_[t].requests[k];
            const auto it = byHex.find(r.frameHex);
            const QString when = QDateTime::fromMSecsSinceEpoch(r.atMs, QTimeZone::utc())
                                     .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
            out.write(QStringLiteral("%1 %2 %3 connection %4 %5 frame %6\n")
                          .arg(when, QLatin1String(serverName(t)))
                          .arg(k + 1)
                          .arg(r.connection)
                          .arg(QLatin1String(answerName(r.answer)),
                               it == byHex.end() ? QStringLiteral("unknown") : QString::number(it->second))
                          .toUtf8());
        }
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

// All of the upload accounting is here: what the servers saw, what the station
// printed of their answers, and what its database says after the stop. The two
// senders run on their own and try every failed transfer again, so a frame may
// reach a server more than once; what must hold is that each reached both, that
// every answer the station printed is one a server gave for that frame, and that
// a frame the station had a 200 for never went to that server again.
Verifier::UploadFigures Verifier::accountUploads() const {
    UploadFigures f;
    const auto& byHex = log_.satelliteByHex();
    f.frames = byHex.size();
    const auto indexOf = [&byHex](const std::string& hex) -> std::optional<std::uint64_t> {
        const auto it = byHex.find(hex);
        return it == byHex.end() ? std::nullopt : std::optional(it->second);
    };
    const auto note = [&f](std::uint64_t& counter, std::uint64_t shown, std::string text) {
        if (++counter <= shown) f.notes.push_back(std::move(text));
    };

    // What the servers saw, frame by frame.
    struct Seen {
        std::uint64_t requests = 0, posted = 0;
        std::uint64_t lastRequest = 0; // its number
    };
    std::array<std::unordered_map<std::uint64_t, Seen>, 2> seen;
    for (int t = 0; t < 2; ++t) {
        const auto& requests = servers_[t].requests;
        f.requests[t] = requests.size();
        for (std::size_t k = 0; k < requests.size(); ++k) {
            const auto index = indexOf(requests[k].frameHex);
            if (!index) {
                ++f.unknownAtServer;
                continue;
            }
            Seen& s = seen[t][*index];
            ++s.requests;
            s.posted += requests[k].posted;
            s.lastRequest = k + 1;
        }
        for (const auto& [index, s] : seen[t]) {
            f.posted[t] += s.posted > 0;
            f.postedAgain[t] += s.posted > 1;
            f.receivedAgain[t] += s.requests > 1;
        }
    }
    std::vector<std::uint64_t> frames; // in the order sent
    for (const auto& [hex, index] : byHex)
        frames.push_back(index);
    std::sort(frames.begin(), frames.end());
    std::uint64_t missing = 0;
    for (const std::uint64_t index : frames) {
        bool both = true;
        for (int t = 0; t < 2; ++t) {
            const auto it = seen[t].find(index);
            if (it != seen[t].end() && it->second.posted > 0) continue;
            both = false;
            note(missing, 5, "not posted: frame " + std::to_string(index) + " to the " + serverName(t));
        }
        f.bothPosted += both;
    }

    // Every answer the station printed, beside the request its headers name.
    std::array<std::vector<bool>, 2> printed{std::vector<bool>(servers_[0].requests.size()),
                                             std::vector<bool>(servers_[1].requests.size())};
    std::array<std::unordered_set<std::uint64_t>, 2> okFrames;
    for (const AnswerLine& a : log_.answers()) {
        const int t = a.server;
        const auto& requests = servers_[t].requests;
        const bool ok = a.status >= 200 && a.status < 300;
        const ServerRequest* r = a.request >= 1 && a.request <= requests.size() ? &requests[a.request - 1] : nullptr;
        const bool sameFrame = r && a.frame && indexOf(r->frameHex) == a.frame;
        const bool sameAnswer = r && (ok ? r->posted : a.status == 500 && r->answer == Answer::Status500);
        if (!sameFrame || !sameAnswer || printed[t][a.request - 1]) {
            note(f.misattributed, 10,
                 std::string(ok && r && !r->posted ? "success without a post" : "answer the server did not give") +
                     ": request " + std::to_string(a.request) + " of the " + serverName(t) + ", station said \"" +
                     a.line + "\"" + (r ? std::string(", the server: ") + answerName(r->answer) : std::string()));
            continue;
        }
        printed[t][a.request - 1] = true;
        if (!ok) {
            ++f.errorAnswers[t];
            continue;
        }
        ++f.okReceived[t];
        // Settled as sent: a later request for the frame, or a second 200, means it went out again.
        if (!okFrames[t].insert(*a.frame).second || seen[t][*a.frame].lastRequest != a.request)
            note(f.resentAfterOk, 10,
                 "sent again after its 200: frame " + std::to_string(*a.frame) + " to the " + serverName(t));
    }
    // Whole 200 answers the station did not print: its transfer had failed first (a time-out
    // at its end) and it tried again, or the HTTP client, after an answer cut in its header,
    // sent the frame twice more within the transfer and took the later answer. Harmless
    // either way, but the first few are worth a look.
    constexpr qint64 kWithinTransferMs = 500; // well under the shortest back-off
    std::uint64_t lostShown = 0;
    for (int t = 0; t < 2; ++t) {
        const auto& requests = servers_[t].requests;
        for (std::size_t k = 0; k < printed[t].size(); ++k) {
            const ServerRequest& r = requests[k];
            if (!r.posted || printed[t][k]) continue;
            ++f.okNotReceived[t];
            const ServerRequest* before =
                k > 0 && requests[k - 1].frameHex == r.frameHex && r.atMs - requests[k - 1].atMs < kWithinTransferMs
                    ? &requests[k - 1]
                    : nullptr;
            f.okAfterCutHeader[t] += before && before->answer == Answer::CutInHeader;
            if (++lostShown <= 3)
                f.notes.push_back(
                    "whole 200 not printed by the station: request " + std::to_string(k + 1) + " of the " +
                    serverName(t) + " (" + answerName(r.answer) + ", connection " + std::to_string(r.connection) + ")" +
                    (before ? std::string(", right after ") + answerName(before->answer) : std::string()));
        }
    }

    // "server: nothing waiting, 1234 sent, 0 given up" or "server: 12 waiting (the oldest since ...), ..."
    static const QRegularExpression kBacklog(
        QStringLiteral("^(server|backup): (?:nothing|(\\d+)) waiting[^,]*, (\\d+) sent, (\\d+) given up"));
    if (run_.databaseExit == 0)
        for (const QByteArray& line : run_.databaseReport.split('\n')) {
            const auto m = kBacklog.match(QString::fromUtf8(line));
            if (!m.hasMatch()) continue;
            DatabaseBacklog& b = f.database[m.captured(1) == QLatin1String("server") ? 0 : 1];
            b.read = true;
            b.waiting = m.captured(2).toULongLong();
            b.sent = m.captured(3).toULongLong();
            b.givenUp = m.captured(4).toULongLong();
        }
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
    std::printf("  posted                 server %llu, backup %llu, both %llu of %llu satellite frames\n",
                u(uploads.posted[0]), u(uploads.posted[1]), u(uploads.bothPosted), u(uploads.frames));
    // A frame comes again when its transfer failed after the server had it (answer cut or
    // late), and when the HTTP client sends it again within one transfer after an answer
    // cut in its header; it is answered in full again when the earlier whole answer was lost.
    std::printf("  posted more than once  server %llu, backup %llu frames (came more than once: server %llu, "
                "backup %llu)\n",
                u(uploads.postedAgain[0]), u(uploads.postedAgain[1]), u(uploads.receivedAgain[0]),
                u(uploads.receivedAgain[1]));
    for (int t = 0; t < 2; ++t)
        std::printf("  %s requests        %llu: whole 200s printed %llu, not printed %llu (%llu right after "
                    "an answer cut in its header); error statuses printed %llu\n",
                    serverName(t), u(uploads.requests[t]), u(uploads.okReceived[t]), u(uploads.okNotReceived[t]),
                    u(uploads.okAfterCutHeader[t]), u(uploads.errorAnswers[t]));
    // A failure is tried again unless its upload was given up or still waited at the stop.
    const std::uint64_t notAgain = s.givenUp + s.keptAtStop;
    std::printf("  failed transfers       %llu (%llu with an error status), %llu of them tried again; "
                "%llu given up; rests after failures in a row: server %llu, backup %llu\n",
                u(s.failedOutcomes), u(s.failedAnswers),
                u(s.failedOutcomes > notAgain ? s.failedOutcomes - notAgain : 0), u(s.givenUp), u(s.rests[0]),
                u(s.rests[1]));
    std::printf("  failures without answer");
    for (const auto& [text, n] : log_.failureReasons())
        std::printf(" \"%s\" %llu;", text.c_str(), u(n));
    std::printf("\n");
    std::printf("  HTTP POST OK           %llu printed; %llu dropped from a full queue in memory\n", u(s.okOutcomes),
                u(s.drops));
    if (run_.drained)
        std::printf("  drain                  %.1f s from the last planned frame until both servers had every "
                    "satellite frame\n",
                    run_.drainSeconds);
    else
        std::printf("  drain                  not finished after %.1f s%s\n", run_.drainSeconds,
                    run_.drainStalled ? ": the station fell silent for two minutes" : "");
    std::printf("  station database      ");
    for (int t = 0; t < 2; ++t) {
        const DatabaseBacklog& b = uploads.database[t];
        if (b.read)
            std::printf(" %s: %llu waiting, %llu sent, %llu given up;", serverName(t), u(b.waiting), u(b.sent),
                        u(b.givenUp));
        else
            std::printf(" %s: not read;", serverName(t));
    }
    std::printf(" resumed at start %llu, left waiting at the stop %llu\n", u(s.resumed), u(s.keptAtStop));
    if (run_.databaseExit != 0)
        std::printf("  uploads command        exit %d: %s%s\n", run_.databaseExit,
                    run_.databaseReport.left(300).constData(), run_.databaseError.left(300).constData());
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
    const double sending = std::max(0.001, run_.seconds - run_.drainSeconds);
    std::printf("  wall time              %.1f s, %.0f frames/s while sending (the modem waited for the uploads "
                "%llu times)\n",
                run_.seconds, modem_.sent() / sending, u(m.backlogPauses));
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
    const QByteArray counterStart = QByteArray(texts::kLivePrefix.data(), texts::kLivePrefix.size()) +
                                    QByteArray::number(s.bodies) +
                                    QByteArray(texts::kPostOkSeparator.data(), texts::kPostOkSeparator.size());
    const bool isCounterLine = log_.lastLine().startsWith(counterStart);
    bool numberOk = false;
    const std::uint64_t postOk = log_.lastLine().mid(counterStart.size()).toULongLong(&numberOk);
    const std::uint64_t okReceived = uploads.okReceived[0] + uploads.okReceived[1];
    const auto databaseClean = [&] {
        for (int t = 0; t < 2; ++t) {
            const DatabaseBacklog& b = uploads.database[t];
            if (!b.read || b.waiting != 0 || b.givenUp != 0 || b.sent != uploads.frames) return false;
        }
        return s.keptAtStop == 0 && s.resumed == 0;
    };

    std::printf("\nchecks\n");
    check(!run_.exitedEarly && run_.aliveAtEnd, "the station is alive at the end");
    check(run_.exitClean, "SIGTERM stops it with exit status 0");
    check(isCounterLine, "its last line is the counter line, with every satellite frame it took");
    check(isCounterLine && numberOk && postOk == okReceived && s.okOutcomes == okReceived,
          "its POST OK counter equals the servers' whole 200 answers it received");
    check(!run_.hang, "no hang: the station kept taking frames and finishing uploads");
    check(modem_.allSent(), "every planned frame was sent");
    check(run_.peak.hwmKb < 0 || run_.peak.hwmKb < maxRssKb_, "peak memory under the limit (or not measurable here)");
    check(kiss.files == 1, "one KISS log");
    check(kiss.mismatches == 0 && kiss.logged == kiss.expectedLogged && kiss.stamps == kiss.expectedStamps,
          "the KISS log holds every frame taken, byte for byte, in order, each after a time stamp");
    if (kiss.firstMismatch) std::printf("       first difference at planned frame %llu\n", u(*kiss.firstMismatch));
    check(s.tooLongReported == m.tooLongSent, "every frame over 512 bytes reported as dropped");
    check(s.shortReported == m.shortSatellitesSent, "every short satellite frame reported");
    check(s.bodies == m.satellitesSent + m.shortSatellitesSent && s.unknownBodies == 0 && s.repeatedBodies == 0,
          "every satellite frame taken as one (no near miss), its body printed once");
    check(run_.drained, "the backlog drained: both servers had every satellite frame before SIGTERM");
    check(uploads.bothPosted == uploads.frames && uploads.unknownAtServer == 0 && s.drops == 0,
          "every satellite frame posted to both servers");
    check(s.givenUp == 0, "no upload given up (the servers never refuse a frame itself)");
    check(uploads.misattributed == 0 && s.untaggedAnswers == 0,
          "every answer it printed is one a server gave for that frame, printed once (no success without a post)");
    check(uploads.resentAfterOk == 0, "no frame went to a server again once the station had its 200");
    check(run_.databaseExit == 0 && databaseClean(),
          "its database after the stop: nothing waiting, none given up, every satellite frame sent to each server, "
          "nothing resumed at its start");
    check(s.protocolErrors == m.badHeaders && m.faultsKeptLink == 0, "every bad header closed the link");
    check(m.unexpectedLosses == 0, "the link closed only when the modem made it");
    return failures;
}

} // namespace soak
