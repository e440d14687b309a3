// The `decode` command end to end: the built program on real files.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <map>
#include <string>
#include <vector>

#include "app/sample_recording.h"
#include "decode/beacon_table.h"
#include "decode/text_forms.h"
#include "kisslog/kiss.h"
#include "kisslog/kiss_file_reader.h"
#include "test_support.h"

namespace varne4 {
namespace {

using test::ByteVector;

const char* const kSample = "samples/varne4_sample.kss";
// What the bundled sample holds; the generator test below keeps the file and these in step.
constexpr int kSampleHousekeeping = 27;
constexpr int kSampleMemoryChecks = 3;
constexpr int kSampleMessages = 6;
constexpr int kSampleSatelliteFrames = kSampleHousekeeping + kSampleMemoryChecks + kSampleMessages;

struct Run {
    int exitCode = -1;
    bool crashed = true;
    QByteArray out, err;
    QList<QByteArray> lines() const {
        QList<QByteArray> l = out.split('\n');
        if (!l.isEmpty() && l.back().isEmpty()) l.pop_back();
        return l;
    }
};

Run runDecoder(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setWorkingDirectory(QStringLiteral(VARNE4_SOURCE_DIR));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VARNE4_BINARY), QStringList{QStringLiteral("decode")} + args);
    Run run;
    if (!process.waitForStarted(30000) || !process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QJsonObject parseLine(const QByteArray& line) {
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(line, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << ": " << line.toStdString();
    EXPECT_TRUE(doc.isObject()) << line.toStdString();
    return doc.object();
}

// Little-endian 32-bit field of a frame given as "A2 82 60 ..." text.
std::uint32_t uint32At(const QString& frameText, int offset) {
    const auto pairs = frameText.split(' ');
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | pairs.at(offset + i).toUInt(nullptr, 16);
    return v;
}

TEST(DecodeCommand, WritesOneJsonObjectPerSatelliteFrame) {
    const auto run = runDecoder({kSample});
    ASSERT_FALSE(run.crashed);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QRegularExpression stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$)");
    const QRegularExpression frameText(R"(^([0-9A-F]{2} )*[0-9A-F]{2}$)");

    std::map<QString, int> perBeacon;
    std::vector<QString> messages;
    QString previousStamp;
    for (const auto& line : run.lines()) {
        const auto o = parseLine(line);
        SCOPED_TRACE(line.toStdString());
        EXPECT_EQ(o.value("file").toString(), kSample);
        const auto recorded = o.value("recorded").toString();
        EXPECT_TRUE(stamp.match(recorded).hasMatch());
        EXPECT_GE(recorded, previousStamp) << "file order";
        previousStamp = recorded;
        const auto frame = o.value("frame").toString();
        ASSERT_TRUE(frameText.match(frame).hasMatch());
        EXPECT_TRUE(frame.startsWith("A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03 "));
        const auto frameLength = (frame.size() + 1) / 3;

        const auto beacon = o.value("beacon").toString();
        ++perBeacon[beacon];
        if (beacon == "housekeeping") {
            EXPECT_EQ(o.value("beacon_line").toString(), "housekeeping beacon");
            const auto values = o.value("values").toArray();
            const auto texts = o.value("texts").toObject();
            ASSERT_EQ(values.size(), kHousekeepingSlots);
            ASSERT_EQ(texts.size(), kHousekeepingSlots);
            for (int slot = 0; slot < kHousekeepingSlots; ++slot) {
                EXPECT_TRUE(values.at(slot).isDouble()) << slot;
                EXPECT_TRUE(texts.value(QString::number(slot)).isString()) << slot;
            }
            // The sample's clock reads the time of reception, so the RTC shows its minute.
            EXPECT_EQ(texts.value("3").toString(), recorded.left(16));
            EXPECT_EQ(values.at(3).toDouble(), uint32At(frame, 31) / 60.0) << "stored values are exact";
            const auto uptime = static_cast<std::int32_t>(uint32At(frame, 27));
            EXPECT_EQ(values.at(2).toDouble(), uptime);
            EXPECT_EQ(texts.value("2").toString(), QString::number(uptime));
            EXPECT_EQ(o.value("uptime").toString().toStdString(), SecondsToDuration(uptime));
            EXPECT_EQ(texts.value("0").toString(), "60 sec");
        } else if (beacon == "memory check") {
            EXPECT_EQ(o.value("beacon_line").toString(), "memory check beacon");
            const auto texts = o.value("texts").toObject();
            ASSERT_EQ(texts.size(), 6);
            for (int slot = 21; slot <= 26; ++slot) EXPECT_TRUE(texts.value(QString::number(slot)).isString());
            EXPECT_EQ(texts.value("24").toString(), "") << "a zero mark is blank";
        } else if (beacon == "message") {
            // Behind the line stands the import byte counter: port byte, frame, closing FEND.
            EXPECT_EQ(o.value("beacon_line").toString(), "message beacon " + QString::number(frameLength + 2));
            messages.push_back(o.value("message").toString());
        }
    }
    EXPECT_EQ(perBeacon["housekeeping"], kSampleHousekeeping);
    EXPECT_EQ(perBeacon["memory check"], kSampleMemoryChecks);
    EXPECT_EQ(perBeacon["message"], kSampleMessages);
    EXPECT_EQ(perBeacon.size(), 3u) << "no other beacon kinds in the sample";
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[0], "VARNE-4 hello from orbit");
    EXPECT_EQ(messages[1], "VARNE-4 de QB0VRS 73 to all stations");
    EXPECT_EQ(messages[2], QString::fromUtf8("VARNE-4 OBC 21\u00B0C all nominal"));
}

TEST(DecodeCommand, CsvHasTheSlotLabelsAndOneRowPerHousekeepingBeacon) {
    const auto run = runDecoder({"--format", "csv", kSample});
    ASSERT_FALSE(run.crashed);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const auto lines = run.lines();
    ASSERT_EQ(lines.size(), kSampleHousekeeping + 1);
    QByteArray header = "recorded";
    for (const auto& f : housekeepingFields) header += "," + QByteArray(f.label.data(), static_cast<int>(f.label.size()));
    EXPECT_EQ(lines[0].trimmed(), header);
    for (int i = 1; i < lines.size(); ++i) {
        const auto fields = lines[i].trimmed().split(',');
        ASSERT_EQ(fields.size(), kHousekeepingSlots + 1) << lines[i].toStdString();
        EXPECT_EQ(fields[0].size(), 23);
        EXPECT_EQ(fields[1], "60");
    }
}

TEST(DecodeCommand, TextsDoNotFollowTheUsersLocale) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "de_DE.UTF-8");
    env.insert("LANG", "de_DE.UTF-8");
    env.insert("LC_NUMERIC", "de_DE.UTF-8");
    const auto german = runDecoder({kSample}, env);
    const auto plain = runDecoder({kSample});
    ASSERT_EQ(german.exitCode, 0);
    EXPECT_EQ(german.out, plain.out);
}

class DecodeCommandFiles : public testing::Test {
protected:
    test::ScratchFolder folder;
    QString path(std::string_view name) const { return QString::fromStdString((folder / name).string()); }
};

TEST_F(DecodeCommandFiles, MissingFileIsNamedAndTheOthersAreStillRead) {
    const auto missing = path("no_such_recording.kss");
    const auto run = runDecoder({missing, kSample});
    ASSERT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("no_such_recording.kss")) << run.err.toStdString();
    EXPECT_EQ(run.lines().size(), kSampleSatelliteFrames);
}

TEST_F(DecodeCommandFiles, RecordedStampBelongsToTheSameFile) {
    // A frame without any time-stamp record before it in its own file.
    ByteVector bare;
    HousekeepingSample s;
    kiss::appendFrameRecord(bare, withPortByte(makeHousekeepingFrame(s)));
    test::writeFile(folder / "bare.kss", bare);

    const auto run = runDecoder({kSample, path("bare.kss")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const auto lines = run.lines();
    ASSERT_EQ(lines.size(), kSampleSatelliteFrames + 1);
    const auto last = parseLine(lines.back());
    EXPECT_EQ(last.value("file").toString(), path("bare.kss"));
    EXPECT_TRUE(last.value("recorded").isNull());
    EXPECT_EQ(last.value("beacon").toString(), "housekeeping");

    const auto csv = runDecoder({"--format", "csv", path("bare.kss")});
    ASSERT_EQ(csv.lines().size(), 2);
}

TEST_F(DecodeCommandFiles, SurvivesAnyContent) {
    const auto sample = test::readFile(std::filesystem::path(VARNE4_SOURCE_DIR) / kSample);
    ByteVector noise;
    std::uint32_t x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1664525u + 1013904223u;
        const auto b = static_cast<std::uint8_t>(x >> 24);
        noise.push_back(b < 16 ? kiss::FEND : b < 24 ? kiss::FESC : b);
    }
    // Satellite headers with random tails, so the decoder sees every kind of short beacon.
    const std::uint8_t types[][2] = {{0x64, 0x64}, {0x68, 0x68}, {0x04, 0x67}};
    for (std::size_t n = 0; n < 80; ++n) {
        for (const auto& t : types) kiss::appendFrameRecord(noise, withPortByte(makeSatelliteFrame(t[0], t[1], n)));
    }
    test::writeFile(folder / "noise.kss", noise);
    test::writeFile(folder / "cut.kss", ByteVector(sample.begin(), sample.begin() + sample.size() / 2 + 7));
    test::writeFile(folder / "empty.kss", ByteVector{});

    const auto run = runDecoder({path("noise.kss"), path("cut.kss"), path("empty.kss")});
    ASSERT_FALSE(run.crashed) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    for (const auto& line : run.lines()) parseLine(line);
}

TEST_F(DecodeCommandFiles, OversizeRecordIsReportedWithItsOffsetAndReadingGoesOn) {
    ByteVector file;
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame("before")));
    const auto offset = file.size();
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame(std::string(600, 'x'))));
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame("after")));
    test::writeFile(folder / "oversize.kss", file);

    const auto run = runDecoder({path("oversize.kss")});
    ASSERT_FALSE(run.crashed);
    EXPECT_TRUE(run.err.contains("oversize.kss")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QByteArray::number(static_cast<qulonglong>(offset)))) << run.err.toStdString();
    const auto lines = run.lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(parseLine(lines[0]).value("message").toString(), "before");
    EXPECT_EQ(parseLine(lines[1]).value("message").toString(), "after");
}

TEST(SampleRecording, BundledFileIsWhatTheGeneratorMakes) {
    const auto bundled = test::readFile(std::filesystem::path(VARNE4_SOURCE_DIR) / kSample);
    EXPECT_EQ(bundled, makeSampleRecording(kSampleSeed, kSamplePasses))
        << "make the sample again with: varne4-decoder sample samples/varne4_sample.kss";
    EXPECT_LT(bundled.size(), 10000u);
}

TEST(SampleRecording, BenchRecordingAlternatesStampsAndHousekeepingBeacons) {
    test::ScratchFolder folder;
    const auto path = folder / "bench.kss";
    ASSERT_TRUE(makeBenchRecording(path, 11));
    KissFileReader reader;
    ASSERT_TRUE(reader.open(path));
    int i = 0;
    while (auto item = reader.next()) {
        if (i % 2 == 0) {
            EXPECT_EQ(item->kind, KissFileReader::Kind::TimeStamp) << i;
        } else {
            ASSERT_EQ(item->kind, KissFileReader::Kind::Frame) << i;
            ASSERT_EQ(item->content.size(), 58u);
            EXPECT_EQ(item->content[20], 0x64);
            EXPECT_EQ(item->content[21], 0x64);
        }
        ++i;
    }
    EXPECT_EQ(i, 11);
    EXPECT_FALSE(makeBenchRecording(folder / "no such folder" / "bench.kss", 2));
}

} // namespace
} // namespace varne4
