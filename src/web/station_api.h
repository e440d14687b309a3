#pragma once
// The web view's JSON answers, read from the station and never written to it.
//
//   /api/state    panel, counters, link, upload backlog in short, newest log id
//   /api/history  ?slot=0..20 [&since=ms] | [&from=&to=]   one value over time
//   /api/log      [?after=id][&kind=error|link|upload|other][&limit=n]
//   /api/uploads  per server: address (no password), waiting, sent, given up, last error
//
// Answers that cost the station more than a glance (the state, the backlog
// counted in the database) are kept for a short while, so a hundred polling
// browsers cost no more than one.

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QObject>
#include <QUrlQuery>

#include <cstdint>
#include <unordered_map>

#include "web/query_values.h"

namespace varne4 {
class Station;
}

namespace varne4::web {

class LinkActivity;

struct Answer {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
};

class StationApi : public QObject {
    Q_OBJECT
public:
    // Points at most in one answer of the database's history; a longer range is cut
    // off at its end, and the answer says so.
    static constexpr int kMaxDatabasePoints = 10000;
    // Log lines in one answer, by default and at most.
    static constexpr int kLogLines = 200;
    static constexpr int kMaxLogLines = 2000;
    // Messages the state carries (the newest).
    static constexpr int kStateMessages = 20;

    StationApi(Station& station, const LinkActivity& link, QObject* parent = nullptr);

    Answer state(const QUrlQuery& query);
    Answer history(const QUrlQuery& query);
    Answer log(const QUrlQuery& query);
    Answer uploads(const QUrlQuery& query);

    // How long a built state or backlog answer is served again before it is built anew.
    void setCacheTimes(int stateMs, int backlogMs, int countsMs) {
        stateMs_ = stateMs;
        backlogMs_ = backlogMs;
        countsMs_ = countsMs;
    }

private:
    QJsonArray uploadCounts();
    std::int64_t nowMs() const;

    Station& station_;
    const LinkActivity& link_;
    int stateMs_ = 200, backlogMs_ = 5000, countsMs_ = 2000;
    QByteArray stateBody_;
    QElapsedTimer stateAge_;
    bool stateDirty_ = true;
    QByteArray backlogBody_;
    QElapsedTimer backlogAge_;
    QJsonArray counts_;
    QElapsedTimer countsAge_;
    // Each status-log line as JSON, made once: every browser asks for the same new lines.
    struct LogLine {
        LogKind kind;
        QByteArray json;
    };
    std::unordered_map<std::uint64_t, LogLine> logLines_;
};

// An answer with {"error": text}.
Answer errorAnswer(int status, const QString& text);

} // namespace varne4::web
