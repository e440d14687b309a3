// The `history` and `uploads` commands: the built program on a station database.

#include <gtest/gtest.h>

#include <limits>

#include "app/store_commands.h"
#include "intake/frame_pipeline.h"
#include "sim/sample_recording.h"
#include "store/station_database.h"
#include "support/qt_support.h"

using namespace varne4;

namespace {

const char* const kSample = "samples/varne4_sample.kss";
constexpr std::int64_t kFirstMs = 1764338400000; // 2025-11-28 14:00:00 UTC

QList<QByteArray> linesOf(const QByteArray& out) {
    return out.isEmpty() ? QList<QByteArray>{} : out.chopped(1).split('\n');
}

// The sample's frames stored one a minute from kFirstMs, imported from `file`.
std::filesystem::path storeSample(const test::ScratchFolder& folder, const std::string& file = "pass.kss") {
    const auto path = folder / "T1.sqlite";
    auto opened = StationDatabase::open(path, test::kNow);
    EXPECT_TRUE(opened.db) << opened.problem;
    std::int64_t t = kFirstMs;
    for (const auto& frame : test::framesOf(std::filesystem::path(VARNE4_SOURCE_DIR) / kSample)) {
        FrameRecord r;
        r.timeMs = t;
        t += 60000;
        r.origin = FrameOrigin::Import;
        r.file = file;
        r.data = frame;
        r.satellite = isSatelliteFrame(std::span(frame).subspan(1));
        EXPECT_TRUE(opened.db->record(r).stored);
    }
    EXPECT_TRUE(opened.db->flush().ok());
    return path;
}

test::ProgramRun run(const QStringList& args) { return test::ProgramRun(args, QStringLiteral(VARNE4_SOURCE_DIR)); }

// The part of a decode line after where the frame was read and when.
QByteArray afterSource(const QByteArray& line) { return line.mid(line.indexOf(",\"beacon\":")); }

} // namespace

TEST(HistoryCommand, WritesTheStoredBeaconsAsDecodeWritesTheRecording) {
    test::ScratchFolder folder;
    const auto db = test::qPath(storeSample(folder));
    auto decoded = run({"decode", kSample});
    ASSERT_EQ(decoded.finish(), 0) << decoded.err.toStdString();
    for (const QString format : {"jsonl", "csv"}) {
        SCOPED_TRACE(format.toStdString());
        auto history = run({"history", "--db", db, "--format", format});
        ASSERT_EQ(history.finish(), 0) << history.err.toStdString();
        auto fromFile = run({"decode", "--format", format, kSample});
        ASSERT_EQ(fromFile.finish(), 0);
        const auto stored = linesOf(history.out), recorded = linesOf(fromFile.out);
        ASSERT_EQ(stored.size(), recorded.size());
        ASSERT_EQ(stored.size(), format == "csv" ? 28 : 36); // a header and 27 housekeeping rows; 36 frames
        for (qsizetype i = 0; i < stored.size(); ++i) {
            if (format == "csv") {
                // The time column is the stored time; the values are the recording's.
                EXPECT_EQ(stored[i].mid(stored[i].indexOf(',')), recorded[i].mid(recorded[i].indexOf(',')));
            } else {
                EXPECT_EQ(afterSource(stored[i]), afterSource(recorded[i]));
                EXPECT_TRUE(stored[i].startsWith("{\"file\":\"pass.kss\",\"recorded\":\"2025-11-28 "))
                    << stored[i].toStdString();
            }
        }
    }
}

TEST(HistoryCommand, KeepsToTheTimeRange) {
    test::ScratchFolder folder;
    const auto db = test::qPath(storeSample(folder));
    // Frames stand one a minute from 14:00; a range includes its start, not its end.
    constexpr std::int64_t kMinute = 60000, kNever = std::numeric_limits<std::int64_t>::max();
    struct Case {
        QStringList range;
        std::int64_t fromMs, toMs;
    };
    for (const auto& c : std::vector<Case>{{{"--from", "2025-11-28T14:10"}, kFirstMs + 10 * kMinute, kNever},
                                           {{"--from", "2025-11-28 14:10", "--to", "2025-11-28 14:40:00Z"},
                                            kFirstMs + 10 * kMinute,
                                            kFirstMs + 40 * kMinute},
                                           {{"--to", "2025-11-28T14:30:00.001"}, 0, kFirstMs + 30 * kMinute + 1},
                                           {{"--from", "2025-11-29"}, kFirstMs + 10 * 3600000, kNever}}) {
        SCOPED_TRACE(c.range.join(' ').toStdString());
        qsizetype expected = 0;
        std::int64_t t = kFirstMs;
        for (const auto& f : test::framesOf(std::filesystem::path(VARNE4_SOURCE_DIR) / kSample)) {
            if (isSatelliteFrame(std::span(f).subspan(1)) && t >= c.fromMs && t < c.toMs) ++expected;
            t += kMinute;
        }
        auto history = run(QStringList{"history", "--db", db} + c.range);
        ASSERT_EQ(history.finish(), 0) << history.err.toStdString();
        EXPECT_EQ(linesOf(history.out).size(), expected);
    }
}

TEST(HistoryCommand, RefusesWhatItCannotRead) {
    test::ScratchFolder folder;
    test::writeFile(folder / "junk.sqlite", std::string(4096, 'x'));
    struct Case {
        QStringList args;
        int status;
        const char* said;
    };
    for (const auto& c : std::vector<Case>{
             {{"--from", "yesterday"}, 2, "--from \"yesterday\" is no UTC time"},
             {{"--to", "2026-02-30"}, 2, "is no UTC time"},
             {{"--format", "xml"}, 2, "unknown format \"xml\""},
             {{"--from"}, 2, "usage: varne4-decoder history"},
             {{"--db", test::qPath(folder / "none.sqlite")}, 1, "none.sqlite"},
             {{"--db", test::qPath(folder / "junk.sqlite")}, 1, "junk.sqlite"},
         }) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        auto history = run(QStringList{"history"} + c.args);
        EXPECT_EQ(history.finish(), c.status);
        EXPECT_TRUE(history.err.contains(c.said)) << history.err.toStdString();
        EXPECT_TRUE(history.out.isEmpty());
    }
    // A database the command could not read is left as it was: it may be the station's.
    EXPECT_EQ(test::readFile(folder / "junk.sqlite"), test::ByteVector(4096, 'x'));
    EXPECT_FALSE(std::filesystem::exists(folder / "none.sqlite"));
}

TEST(UtcTimeArgument, ReadsDatesAndTimesAndRefusesTheRest) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> ms;
    };
    for (const auto& c : std::vector<Case>{
             {"2025-11-28", kFirstMs - 14 * 3600000},
             {"2025-11-28T14:00", kFirstMs},
             {"2025-11-28 14:00:05", kFirstMs + 5000},
             {"2025-11-28 14:00:05.250 UTC", kFirstMs + 5250},
             {"2025-11-28T14:00:05Z", kFirstMs + 5000},
             {"2024-02-29", 1709164800000},
             {"2025-02-29", std::nullopt},
             {"2025-11-28T24:00", std::nullopt},
             {"2025-11-28T14", std::nullopt},
             {"2025-11-28 14:00 CET", std::nullopt},
             {"28.11.2025", std::nullopt},
             {"2025-1-28", std::nullopt},
             {"", std::nullopt},
         }) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseUtcTime(c.text), c.ms);
    }
}

TEST(UploadsCommand, SaysWhatWaitsForEachServer) {
    test::ScratchFolder folder;
    const auto path = folder / "U1.sqlite";
    {
        auto opened = StationDatabase::open(path, test::kNow);
        ASSERT_TRUE(opened.db) << opened.problem;
        const auto frame = withPortByte(makeHousekeepingFrame({}));
        FrameRecord r;
        r.timeMs = kFirstMs;
        r.data = frame;
        r.satellite = true;
        r.uploadBody = "noradID=99931";
        r.toServer = r.toBackup = true;
        r.queuedMs = kFirstMs;
        ASSERT_EQ(opened.db->record(r).uploads, 2);
        ASSERT_TRUE(opened.db->flush().ok());
    }
    auto uploads = run({"uploads", "--db", test::qPath(path)});
    ASSERT_EQ(uploads.finish(), 0) << uploads.err.toStdString();
    const auto lines = linesOf(uploads.out);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("1 waiting (the oldest since 2025-11-28 14:00:00 UTC), 0 sent, 0 given up"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("1 waiting")) << lines[1].toStdString();
    EXPECT_NE(lines[0], lines[1]); // each line names its server

    // A full disk is a failure, and said.
    if (!QFile::exists("/dev/full")) return;
    for (const char* command : {"uploads", "history"}) {
        QProcess full;
        full.setStandardOutputFile(QStringLiteral("/dev/full"));
        full.start(QStringLiteral(VARNE4_BINARY), {command, "--db", test::qPath(path)});
        ASSERT_TRUE(full.waitForFinished(10000));
        EXPECT_EQ(full.exitCode(), 1) << command;
        EXPECT_TRUE(full.readAllStandardError().contains("cannot write the output")) << command;
    }

    // Without --db: the database a station run with the same --config and --data keeps.
    test::ScratchFolder settings;
    test::writeFile(settings / "online_conf.ini", "PORT=127.0.0.1:1\r\nMYCALL=U1\r\n");
    auto byConfig =
        run({"uploads", "--config", test::qPath(settings / "online_conf.ini"), "--data", test::qPath(folder.path())});
    EXPECT_EQ(byConfig.finish(), 0) << byConfig.err.toStdString();
    EXPECT_EQ(byConfig.out, uploads.out);
    auto besideConfig = run({"uploads", "--config", test::qPath(settings / "online_conf.ini")});
    EXPECT_EQ(besideConfig.finish(), 1);
    EXPECT_TRUE(besideConfig.err.contains("U1.sqlite")) << besideConfig.err.toStdString();
}
