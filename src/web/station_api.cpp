#include "web/station_api.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "base/qt_text.h"
#include "base/safe_text.h"
#include "base/utc_time.h"
#include "base/version.h"
#include "decode/beacon_table.h"
#include "station/station.h"
#include "station/store_and_forward.h"
#include "store/station_database.h"
#include "web/link_json.h"
#include "web/query_values.h"

namespace varne4::web {
namespace {

constexpr UploadServer kServers[] = {UploadServer::Server, UploadServer::Backup};

QByteArray compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

QString latin1Text(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// Every key of the query is one this answer knows, and none comes twice.
std::optional<QString> unknownOrRepeated(const QUrlQuery& query, std::initializer_list<const char*> known) {
    const auto items = query.queryItems(QUrl::FullyDecoded);
    for (const auto& [key, value] : items) {
        bool ok = false;
        for (const char* k : known)
            ok = ok || key == QLatin1String(k);
        if (!ok) return QStringLiteral("unknown parameter: ") + key.left(40);
        if (query.allQueryItemValues(key).size() > 1) return QStringLiteral("repeated parameter: ") + key;
    }
    return std::nullopt;
}

std::string value(const QUrlQuery& query, const char* key) {
    return query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded).toStdString();
}

void appendNumber(QByteArray& out, double v) {
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, p - buf);
}

void appendNumber(QByteArray& out, std::int64_t v) {
    char buf[24];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, p - buf);
}

// The fixed captions of a slot; they are ASCII and hold no quotes.
void appendCaption(QByteArray& out, const char* key, std::string_view text) {
    out += '"';
    out += key;
    out += "\":\"";
    out.append(text.data(), static_cast<qsizetype>(text.size()));
    out += '"';
}

struct Points {
    QByteArray times, values;
    int count = 0;
    void add(std::int64_t t, double v) {
        if (count++ > 0) {
            times += ',';
            values += ',';
        }
        appendNumber(times, t);
        appendNumber(values, v);
    }
};

} // namespace

Answer errorAnswer(int status, const QString& text) { return {status, compact(QJsonObject{{"error", text}})}; }

StationApi::StationApi(Station& station, const LinkActivity& link, QObject* parent)
    : QObject(parent), station_(station), link_(link) {
    // Anything the state shows changed: the next request builds it anew.
    const auto dirty = [this] { stateDirty_ = true; };
    connect(&station, &Station::panelUpdated, this, dirty);
    connect(&station, &Station::counterLineUpdated, this, dirty);
    connect(&station, &Station::linkStateChanged, this, dirty);
    connect(&station, &Station::transferStatesChanged, this, dirty);
    connect(&station, &Station::statusLine, this, dirty);
    connect(&station, &Station::hexMonitorLine, this, dirty);
    connect(&station, &Station::chartRefreshRequested, this, dirty);
}

std::int64_t StationApi::nowMs() const { return unixMillis(station_.clock().utcNow()); }

QJsonArray StationApi::uploadCounts() {
    // Counting what waits in a large backlog takes the database a moment: counted
    // again only every few seconds, however many ask.
    if (countsAge_.isValid() && countsAge_.elapsed() < countsMs_) return counts_;
    StoreAndForward& uploads = station_.uploads();
    QJsonArray counts;
    for (UploadServer s : kServers)
        counts.append(QJsonObject{{"server", QLatin1String(uploadServerName(s))},
                                  {"configured", uploads.hasServer(s)},
                                  {"waiting", static_cast<double>(uploads.waiting(s))},
                                  {"resting", uploads.sender(s).resting()}});
    counts_ = counts;
    countsAge_.start();
    return counts_;
}

Answer StationApi::state(const QUrlQuery& query) {
    if (auto bad = unknownOrRepeated(query, {})) return errorAnswer(400, *bad);
    if (!stateDirty_ && stateAge_.isValid() && stateAge_.elapsed() < 1000) return {200, stateBody_};
    if (stateAge_.isValid() && stateAge_.elapsed() < stateMs_) return {200, stateBody_};

    const FramePipeline& pipeline = station_.pipeline();
    const PanelState& panel = pipeline.panel();
    QJsonArray slotList;
    for (int i = 0; i < kPanelSlots; ++i)
        slotList.append(QJsonObject{{"slot", i},
                                    {"label", latin1(slotLabel(i))},
                                    {"unit", latin1(slotUnit(i))},
                                    {"text", latin1Text(panel.slotText[static_cast<std::size_t>(i)])}});
    QJsonArray messages;
    const std::size_t first =
        panel.messages.size() > kStateMessages ? panel.messages.size() - kStateMessages : std::size_t{0};
    for (std::size_t i = first; i < panel.messages.size(); ++i)
        messages.append(latin1Text(panel.messages[i]));

    const ValueHistory& history = pipeline.history();
    QJsonValue newest;
    if (!history.empty())
        if (const auto ms = stampMillis(history.newest().timestampText())) newest = static_cast<double>(*ms);

    QJsonObject state{
        {"now", static_cast<double>(nowMs())},
        {"station", QJsonObject{{"call", fromUtf8(station_.config().myCall)}, {"version", latin1(kProgramVersion)}}},
        {"panel", QJsonObject{{"beacon", latin1Text(panel.beaconLine)},
                              {"time", latin1Text(panel.timeLine)},
                              {"uptime", latin1Text(panel.uptimeText)},
                              {"slots", slotList},
                              {"messages", messages},
                              {"messageCount", static_cast<double>(panel.messages.size())}}},
        {"history", QJsonObject{{"size", static_cast<double>(history.size())}, {"newestMs", newest}}},
        {"counters", QJsonObject{{"rx", static_cast<double>(pipeline.rxCounter())},
                                 {"postOk", pipeline.postOkCounter()},
                                 {"line", fromUtf8(pipeline.counterLineText())}}},
        {"link", linkJson(station_, link_)},
        {"uploads", uploadCounts()},
        {"log", QJsonObject{{"lastId", static_cast<double>(station_.statusLog().lastId())}}},
        {"database", station_.database() != nullptr},
    };
    stateBody_ = compact(state);
    stateAge_.start();
    stateDirty_ = false;
    return {200, stateBody_};
}

Answer StationApi::history(const QUrlQuery& query) {
    if (auto bad = unknownOrRepeated(query, {"slot", "since", "from", "to"})) return errorAnswer(400, *bad);
    const auto slot = parseWhole(value(query, "slot"), 0, kHousekeepingSlots - 1);
    if (!slot) return errorAnswer(400, QStringLiteral("slot must be a number from 0 to 20"));
    const auto index = static_cast<std::size_t>(*slot);
    const bool range = query.hasQueryItem(QStringLiteral("from")) || query.hasQueryItem(QStringLiteral("to"));
    if (range && query.hasQueryItem(QStringLiteral("since")))
        return errorAnswer(400, QStringLiteral("since is for the history in memory; from and to for the database"));

    Points points;
    bool truncated = false;
    const char* source = "memory";
    std::int64_t from = 0, to = 0;
    if (!range) {
        std::optional<std::int64_t> since;
        if (query.hasQueryItem(QStringLiteral("since"))) {
            since = parseTimeValue(value(query, "since"));
            if (!since) return errorAnswer(400, QStringLiteral("since must be Unix ms or yyyy-mm-ddThh:mm[:ss] UTC"));
        }
        const ValueHistory& history = station_.pipeline().history();
        // With `since`, only the newest entries: found from the newest backwards.
        std::size_t start = 0;
        if (since) {
            start = history.size();
            while (start > 0) {
                const auto ms = stampMillis(history.at(start - 1).timestampText());
                if (ms && *ms <= *since) break;
                --start;
            }
        }
        for (std::size_t i = start; i < history.size(); ++i) {
            const HistoryEntry& e = history.at(i);
            if (const auto ms = stampMillis(e.timestampText())) points.add(*ms, e.values[index]);
        }
    } else {
        source = "database";
        const auto fromValue = query.hasQueryItem(QStringLiteral("from")) ? parseTimeValue(value(query, "from"))
                                                                          : std::optional<std::int64_t>(0);
        const auto toValue = query.hasQueryItem(QStringLiteral("to")) ? parseTimeValue(value(query, "to"))
                                                                      : std::optional<std::int64_t>(nowMs() + 1);
        if (!fromValue || !toValue)
            return errorAnswer(400, QStringLiteral("from and to must be Unix ms or yyyy-mm-ddThh:mm[:ss] UTC"));
        if (*fromValue >= *toValue) return errorAnswer(400, QStringLiteral("from must be before to"));
        from = *fromValue;
        to = *toValue;
        StationDatabase* db = station_.database();
        if (!db) return errorAnswer(404, QStringLiteral("this station keeps no database"));
        db->housekeeping(from, to, kMaxDatabasePoints + 1,
                         [&](std::int64_t timeMs, const std::array<double, kHousekeepingSlots>& values) {
                             if (points.count == kMaxDatabasePoints)
                                 truncated = true;
                             else
                                 points.add(timeMs, values[index]);
                         });
    }

    QByteArray out;
    out.reserve(points.times.size() + points.values.size() + 200);
    out += "{\"slot\":";
    appendNumber(out, *slot);
    out += ',';
    appendCaption(out, "label", slotLabel(static_cast<int>(*slot)));
    out += ',';
    appendCaption(out, "unit", slotUnit(static_cast<int>(*slot)));
    out += ",\"source\":\"";
    out += source;
    out += '"';
    if (range) {
        out += ",\"from\":";
        appendNumber(out, from);
        out += ",\"to\":";
        appendNumber(out, to);
        out += ",\"max\":";
        appendNumber(out, std::int64_t{kMaxDatabasePoints});
    }
    out += ",\"count\":";
    appendNumber(out, std::int64_t{points.count});
    out += ",\"truncated\":";
    out += truncated ? "true" : "false";
    out += ",\"t\":[" + points.times + "],\"v\":[" + points.values + "]}";
    return {200, out};
}

Answer StationApi::log(const QUrlQuery& query) {
    if (auto bad = unknownOrRepeated(query, {"after", "kind", "limit"})) return errorAnswer(400, *bad);
    std::uint64_t after = 0;
    if (query.hasQueryItem(QStringLiteral("after"))) {
        const auto n = parseWhole(value(query, "after"), 0, INT64_MAX);
        if (!n) return errorAnswer(400, QStringLiteral("after must be a line id (a whole number)"));
        after = static_cast<std::uint64_t>(*n);
    }
    std::optional<LogKind> kind;
    if (query.hasQueryItem(QStringLiteral("kind"))) {
        const std::string name = value(query, "kind");
        kind = logKindNamed(name);
        if (!kind && name != "all")
            return errorAnswer(400, QStringLiteral("kind must be error, link, upload, other or all"));
    }
    std::int64_t limit = kLogLines;
    if (query.hasQueryItem(QStringLiteral("limit"))) {
        const auto n = parseWhole(value(query, "limit"), 1, kMaxLogLines);
        if (!n) return errorAnswer(400, QStringLiteral("limit must be a number from 1 to %1").arg(kMaxLogLines));
        limit = *n;
    }
    const StatusLog& log = station_.statusLog();
    // Lines the log no longer keeps leave the cache: its ids are those of the log's lines.
    if (log.size() == 0)
        logLines_.clear();
    else if (logLines_.size() > 2 * log.size() + 64) {
        std::uint64_t oldest = log.id(0);
        for (std::size_t i = 0; i < log.size(); ++i)
            oldest = std::min(oldest, log.id(i));
        std::erase_if(logLines_, [oldest](const auto& entry) { return entry.first < oldest; });
    }
    QByteArray lines;
    std::int64_t count = 0;
    bool more = false;
    // Newest first: ids count down from the top, save for a rare line put at the bottom.
    for (std::size_t i = 0; i < log.size(); ++i) {
        const std::uint64_t id = log.id(i);
        if (id <= after) continue;
        auto line = logLines_.find(id);
        if (line == logLines_.end()) {
            const std::string& text = log.line(i);
            const LogKind k = logKind(text);
            const QJsonObject o{{"id", static_cast<double>(id)},
                                {"kind", QLatin1String(logKindName(k))},
                                {"text", fromUtf8(escapeControls(redactUrlsIn(text)))}};
            line = logLines_.emplace(id, LogLine{k, compact(o)}).first;
        }
        if (kind && line->second.kind != *kind) continue;
        if (count == limit) {
            more = true;
            break;
        }
        if (count++ > 0) lines += ',';
        lines += line->second.json;
    }
    QByteArray out = "{\"lastId\":";
    appendNumber(out, static_cast<std::int64_t>(log.lastId()));
    out += ",\"more\":";
    out += more ? "true" : "false";
    out += ",\"lines\":[" + lines + "]}";
    return {200, out};
}

Answer StationApi::uploads(const QUrlQuery& query) {
    if (auto bad = unknownOrRepeated(query, {})) return errorAnswer(400, *bad);
    if (backlogAge_.isValid() && backlogAge_.elapsed() < backlogMs_) return {200, backlogBody_};
    StoreAndForward& uploads = station_.uploads();
    StationDatabase* db = station_.database();
    const Configuration& config = station_.config();
    QJsonArray servers;
    for (UploadServer s : kServers) {
        const std::string& url = s == UploadServer::Server ? config.server : config.serverBackup;
        QJsonObject o{
            {"server", QLatin1String(uploadServerName(s))}, {"url", fromUtf8(escapeControls(redactUrl(url)))},
            {"configured", uploads.hasServer(s)},           {"waiting", static_cast<double>(uploads.waiting(s))},
            {"resting", uploads.sender(s).resting()},       {"busy", uploads.sender(s).busy()}};
        if (db) {
            const BacklogSummary b = db->backlog(s);
            o.insert("oldestWaitingMs",
                     b.oldestWaitingMs ? QJsonValue(static_cast<double>(*b.oldestWaitingMs)) : QJsonValue());
            o.insert("givenUp", static_cast<double>(b.givenUp));
            o.insert("sent", static_cast<double>(b.sent));
            o.insert("lastError", fromUtf8(escapeControls(redactUrlsIn(b.lastError))));
        }
        servers.append(o);
    }
    backlogBody_ =
        compact(QJsonObject{{"now", static_cast<double>(nowMs())}, {"database", db != nullptr}, {"servers", servers}});
    backlogAge_.start();
    return {200, backlogBody_};
}

} // namespace varne4::web
