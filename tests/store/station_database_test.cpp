#include "store/station_database.h"

#include <gtest/gtest.h>

#include "sim/sample_recording.h"
#include "store/database_backlog.h"
#include "support/test_support.h"

using namespace varne4;
using test::ByteVector;

namespace {

constexpr DateTime kNow{2026, 12, 7, 10, 0, 0, 0};
const std::int64_t kNowMs = unixMillis(kNow);

struct Db {
    test::ScratchFolder folder;
    std::filesystem::path path = folder / "OK1ABC.sqlite";
    std::unique_ptr<StationDatabase> db = StationDatabase::open(path, kNow).db;
};

// A frame record as the station makes it for a satellite frame with uploads to both servers.
FrameRecord satellite(const ByteVector& data, std::int64_t timeMs, FrameOrigin origin = FrameOrigin::Agw) {
    FrameRecord r;
    r.timeMs = timeMs;
    r.origin = origin;
    r.data = data;
    r.satellite = true;
    r.type = BeaconDecoder::classify(std::span(data).subspan(1));
    r.ax25 = std::span(data).subspan(1);
    r.uploadBody = "frame=" + std::to_string(timeMs);
    r.toServer = r.toBackup = true;
    r.queuedMs = kNowMs;
    return r;
}

} // namespace

TEST(StationDatabase, KeepsFramesBeaconsAndUploadsAcrossReopening) {
    Db d;
    ASSERT_TRUE(d.db);
    HousekeepingSample hk;
    hk.voltageA = 7612;
    const ByteVector hkFrame = withPortByte(makeHousekeepingFrame(hk));
    FrameRecord r = satellite(hkFrame, kNowMs - 5000);
    const std::array<double, kHousekeepingSlots> values{1, 2, 3};
    r.housekeeping = &values;
    EXPECT_EQ(d.db->record(r).uploads, 2);
    const ByteVector other = withPortByte(makeStationFrame("CQ", "OK1ABC", "", "hello"));
    FrameRecord o;
    o.timeMs = kNowMs - 4000;
    o.data = other;
    EXPECT_TRUE(d.db->record(o).stored);
    ASSERT_TRUE(d.db->flush().ok());
    d.db.reset();

    auto again = StationDatabase::open(d.path, kNow);
    ASSERT_TRUE(again.db) << again.problem;
    EXPECT_TRUE(again.problem.empty());
    std::vector<std::pair<std::int64_t, double>> seen;
    again.db->newestHousekeeping(10, [&](std::int64_t t, const auto& v) { seen.emplace_back(t, v[2]); });
    EXPECT_EQ(seen, (std::vector<std::pair<std::int64_t, double>>{{kNowMs - 5000, 3.0}}));
    const auto frames = again.db->newestFrames(BeaconType::Housekeeping, 5);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].data, hkFrame);
    EXPECT_EQ(again.db->waitingUploads(), 2);
    EXPECT_EQ(again.db->waitingUploads(UploadServer::Backup), 1);
}

// Importing a log twice, or the station's own log, must not store or upload again.
TEST(StationDatabase, AnImportedFrameSeenBeforeIsKnown) {
    Db d;
    const ByteVector frame = withPortByte(makeMessageFrame("hello"));
    EXPECT_TRUE(d.db->record(satellite(frame, kNowMs)).stored); // live
    const struct {
        const char* behaviour;
        std::int64_t timeMs;
        ByteVector data;
        bool known;
    } cases[] = {
        {"same bytes and time: the station's own log", kNowMs, frame, true},
        {"same bytes, another time: heard again", kNowMs + 1, frame, false},
        {"another frame at the same time", kNowMs, withPortByte(makeMessageFrame("hellp")), false},
        {"that second import now known too", kNowMs + 1, frame, true},
    };
    for (const auto& c : cases) {
        const RecordOutcome out = d.db->record(satellite(c.data, c.timeMs, FrameOrigin::Import));
        EXPECT_EQ(out.known, c.known) << c.behaviour;
        EXPECT_EQ(out.stored, !c.known) << c.behaviour;
        EXPECT_EQ(out.uploads, c.known ? 0 : 2) << c.behaviour;
    }
}

TEST(StationDatabase, HandsOutCommittedDueUploadsInArrivalOrder) {
    Db d;
    for (int i = 0; i < 5; ++i)
        d.db->record(satellite(withPortByte(makeMessageFrame("m")), kNowMs + i));
    DatabaseBacklog server(*d.db, UploadServer::Server);
    EXPECT_TRUE(server.due(0, kNowMs, 10).empty()) << "nothing is handed out before it is committed";
    ASSERT_TRUE(d.db->flush().ok());
    server.setCommittedUpTo(d.db->lastUploadId());
    auto jobs = server.due(0, kNowMs, 10);
    ASSERT_EQ(jobs.size(), 5u);
    EXPECT_TRUE(std::is_sorted(jobs.begin(), jobs.end(), [](auto& a, auto& b) { return a.id < b.id; }));
    EXPECT_EQ(jobs[0].body, "frame=" + std::to_string(kNowMs));

    // Sent, retried later, given up: only the waiting ones are due, when their time comes.
    jobs[0].attempts = jobs[1].attempts = jobs[2].attempts = 1;
    server.settle(jobs[0], UploadState::Sent, kNowMs, "HTTP/1.1 200 OK ");
    server.settle(jobs[1], UploadState::Retry, kNowMs + 30000, " 0: Connection refused");
    server.settle(jobs[2], UploadState::GivenUp, kNowMs, "HTTP/1.1 404 Not Found ");
    ASSERT_TRUE(d.db->flush().ok());
    auto ids = [](const std::vector<UploadJob>& js) {
        std::vector<std::int64_t> v;
        for (const auto& j : js)
            v.push_back(j.id);
        return v;
    };
    EXPECT_EQ(ids(server.due(0, kNowMs, 10)), (std::vector<std::int64_t>{jobs[3].id, jobs[4].id}));
    EXPECT_EQ(ids(server.due(jobs[3].id, kNowMs, 10)), (std::vector<std::int64_t>{jobs[4].id}));
    EXPECT_EQ(ids(server.due(0, kNowMs + 30000, 2)), (std::vector<std::int64_t>{jobs[1].id, jobs[3].id}));
    EXPECT_EQ(server.nextAttemptMs(), kNowMs);
    EXPECT_EQ(server.waiting(), 3);
    EXPECT_EQ(server.due(0, kNowMs + 30000, 10)[0].attempts, 1);

    const BacklogSummary s = d.db->backlog(UploadServer::Server);
    EXPECT_EQ(s.waiting, 3);
    EXPECT_EQ(s.sent, 1);
    EXPECT_EQ(s.givenUp, 1);
    EXPECT_EQ(s.oldestWaitingMs, kNowMs);
    EXPECT_EQ(s.lastError, "HTTP/1.1 404 Not Found ");
}

TEST(StationDatabase, ADamagedFileIsPutAsideAndANewOneMade) {
    const struct {
        const char* behaviour;
        std::string content;
        bool asideExpected;
    } cases[] = {
        {"not a database", std::string(8192, 'x'), true},
        {"a database of another program", "", true},
    };
    for (const auto& c : cases) {
        test::ScratchFolder folder;
        const auto path = folder / "X.sqlite";
        if (c.content.empty()) {
            sql::Database other;
            ASSERT_TRUE(other.open(path).ok());
            ASSERT_TRUE(other.exec("CREATE TABLE t (x); INSERT INTO t VALUES (1);").ok());
        } else {
            test::writeFile(path, c.content);
        }
        const auto opened = StationDatabase::open(path, kNow);
        ASSERT_TRUE(opened.db) << c.behaviour << ": " << opened.problem;
        EXPECT_NE(opened.problem.find("renamed to"), std::string::npos) << c.behaviour;
        EXPECT_TRUE(std::filesystem::exists(folder / "X.sqlite.corrupt-20261207100000")) << c.behaviour;
        EXPECT_TRUE(opened.db->record(satellite(withPortByte(makeMessageFrame("m")), kNowMs)).stored) << c.behaviour;
    }
}

TEST(StationDatabase, AFileOfANewerVersionIsLeftAlone) {
    test::ScratchFolder folder;
    const auto path = folder / "X.sqlite";
    {
        sql::Database newer;
        ASSERT_TRUE(newer.open(path).ok());
        ASSERT_TRUE(newer.exec("CREATE TABLE future (x); PRAGMA user_version = 99;").ok());
    }
    const auto opened = StationDatabase::open(path, kNow);
    EXPECT_FALSE(opened.db);
    EXPECT_NE(opened.problem.find("newer version"), std::string::npos) << opened.problem;
    EXPECT_EQ(test::fileNamesOf(folder.path()), std::vector<std::string>{"X.sqlite"});
}

TEST(StationDatabase, SatelliteFramesOfATimeRangeInTimeOrder) {
    Db d;
    for (std::int64_t t : {300, 100, 200, 400})
        d.db->record(satellite(withPortByte(makeMessageFrame(std::to_string(t))), kNowMs + t));
    FrameRecord other;
    other.timeMs = kNowMs + 150;
    const ByteVector otherData = withPortByte(makeStationFrame("CQ", "OK1ABC", "", "x"));
    other.data = otherData;
    d.db->record(other);
    std::vector<std::int64_t> times;
    d.db->satelliteFrames(kNowMs + 100, kNowMs + 400, [&](const StoredFrame& f) {
        times.push_back(f.timeMs - kNowMs);
        return true;
    });
    EXPECT_EQ(times, (std::vector<std::int64_t>{100, 200, 300}));
}
