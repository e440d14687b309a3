// The modem simulator as an AGW client sees it, and the two frame sources it plays.

#include "intake/agw_simulator.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <map>

#include "app/demo_pass_source.h"
#include "decode/beacon_decoder.h"
#include "decode/field_readers.h"
#include "intake/frame_pipeline.h"
#include "intake/kiss_file_source.h"
#include "kisslog/kiss.h"

using namespace varne4;

namespace {

using Octets = std::vector<std::uint8_t>;

QByteArray requestBytes(char kind) {
    const auto frame = agw::request(kind);
    return QByteArray(reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(frame.size()));
}

// A raw AGW client: a socket and the frames it has received, cut by the header.
struct Client {
    explicit Client(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            const QByteArray bytes = socket.readAll();
            splitter.feed(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                    static_cast<std::size_t>(bytes.size())));
            agw::Frame frame;
            while (splitter.next(frame) == agw::FrameSplitter::Result::Frame) frames.push_back(frame);
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
        connected = socket.waitForConnected(3000);
    }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    std::vector<Octets> rawData() const {
        std::vector<Octets> out;
        for (const auto& f : frames)
            if (f.kind == 'K') out.push_back(f.data);
        return out;
    }

    QTcpSocket socket;
    agw::FrameSplitter splitter;
    std::vector<agw::Frame> frames;
    bool connected = false;
};

// Plays a fixed list of frames once.
class ListSource final : public FrameSource {
public:
    explicit ListSource(std::vector<Octets> frames) : frames_(std::move(frames)) {}
    std::optional<Octets> nextFrame() override {
        if (next_ == frames_.size()) return std::nullopt;
        return frames_[next_++];
    }
    int pauseMs() const override { return 10; }

private:
    std::vector<Octets> frames_;
    std::size_t next_ = 0;
};

Octets numbered(int i) { return withPortByte(makeStationFrame("CQ", "OK1ABC-9", "", "frame " + std::to_string(i))); }

std::vector<Octets> numberedFrames(int count) {
    std::vector<Octets> frames;
    for (int i = 0; i < count; ++i) frames.push_back(numbered(i));
    return frames;
}

std::filesystem::path writeFile(const QTemporaryDir& dir, const char* name, const Octets& bytes) {
    const std::filesystem::path path = dir.filePath(QString::fromLatin1(name)).toStdString();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace

class TestAgwSimulator : public QObject {
    Q_OBJECT

private slots:
    void answersAsAnEngineAndFeedsOnlyMonitoringClients();
    void kissFileSourcePlaysTheFileInOrder();
    void kissFileSourceSkipsAndLoops();
    void twoClientsHearTheSameFrames();
    void keepsTheRateItIsGiven();
    void waitsWhileNobodyListensAndDropsBrokenClients();
    void demoValuesDriftPlausibly();
};

void TestAgwSimulator::answersAsAnEngineAndFeedsOnlyMonitoringClients() {
    std::vector<Octets> frames = numberedFrames(5);
    frames.insert(frames.begin() + 2, withPortByte(makeHousekeepingFrame({})));
    AgwSimulator simulator(std::make_unique<ListSource>(frames));
    QVERIFY(simulator.listen());
    Client listener(simulator.port()), bystander(simulator.port());
    QVERIFY(listener.connected && bystander.connected);

    // Kinds not simulated are passed over; the requests arrive one byte at a time.
    for (char byte : requestBytes('X') + requestBytes('G') + requestBytes('m') + requestBytes('R'))
        bystander.send(QByteArray(1, byte));
    QTRY_COMPARE(bystander.frames.size(), std::size_t{2});
    QCOMPARE(bystander.frames[0].kind, 'G');
    const auto& ports = bystander.frames[0].data;
    QCOMPARE(ports.back(), std::uint8_t{0});
    QCOMPARE(agw::portInformationText(static_cast<std::uint8_t>(ports.size()), ports),
             std::string("total number of ports: 1;Port1 VARNE-4 "));
    QCOMPARE(bystander.frames[1].kind, 'R');
    QCOMPARE(bystander.frames[1].data.size(), std::size_t{8});
    QTest::qWait(100);
    QCOMPARE(simulator.framesPlayed(), quint64{0}); // nobody asked for raw frames yet

    // A second 'k' on the same connection keeps monitoring on.
    listener.send(requestBytes('k') + requestBytes('k'));
    QTRY_COMPARE(listener.rawData().size(), frames.size());
    QCOMPARE(listener.rawData(), frames);
    QCOMPARE(listener.frames[0].callFrom, std::string("OK1ABC-9"));
    QCOMPARE(listener.frames[0].callTo, std::string("CQ"));
    QCOMPARE(listener.frames[2].callFrom, std::string("QB0VRS"));
    QCOMPARE(listener.frames[2].callTo, std::string("QA0VRN"));
    QCOMPARE(bystander.frames.size(), std::size_t{2});
}

void TestAgwSimulator::kissFileSourcePlaysTheFileInOrder() {
    QTemporaryDir dir;
    const auto file = writeFile(dir, "pass.kss", makeSampleRecording(kSampleSeed, 2));
    std::vector<Octets> expected;
    KissFileReader reader;
    QVERIFY(reader.open(file));
    while (auto item = reader.next())
        if (item->kind == KissFileReader::Kind::Frame) expected.emplace_back(item->content.begin(), item->content.end());
    QVERIFY(expected.size() > 20);

    AgwSimulator simulator(std::make_unique<KissFileSource>(std::vector{file}, false));
    simulator.setRate(5000);
    QVERIFY(simulator.listen());
    QSignalSpy finished(&simulator, &AgwSimulator::finished);
    Client client(simulator.port());
    QVERIFY(client.connected);
    client.send(requestBytes('k'));
    QTRY_COMPARE(finished.size(), 1);
    QTRY_COMPARE(client.rawData().size(), expected.size());
    QCOMPARE(client.rawData(), expected);
}

void TestAgwSimulator::kissFileSourceSkipsAndLoops() {
    QTemporaryDir dir;
    const auto a = numberedFrames(3);
    Octets first, second;
    for (const auto& f : a) {
        kiss::appendTimeStampRecord(first, "2026-11-28 14:02:00.000 UTC");
        kiss::appendFrameRecord(first, f);
    }
    kiss::appendFrameRecord(second, Octets(600, 0x41)); // too long for a receiver
    kiss::appendFrameRecord(second, a[0]);
    const auto fa = writeFile(dir, "a.kss", first), fb = writeFile(dir, "b.kss", second);
    const auto empty = writeFile(dir, "empty.kss", {});

    struct Case {
        const char* name;
        std::vector<std::filesystem::path> files;
        bool loop;
        std::vector<Octets> want; // of the first nine frames asked for
    };
    const std::vector<Case> cases{
        {"once", {fa, fb}, false, {a[0], a[1], a[2], a[0]}},
        {"looping", {fa, empty, fb}, true, {a[0], a[1], a[2], a[0], a[0], a[1], a[2], a[0], a[0]}},
        {"looping over nothing ends", {empty, empty}, true, {}},
    };
    for (const auto& c : cases) {
        KissFileSource source(c.files, c.loop);
        std::vector<Octets> got;
        for (int i = 0; i < 9; ++i)
            if (auto frame = source.nextFrame()) got.push_back(*frame);
        QVERIFY2(got == c.want, c.name);
    }
}

void TestAgwSimulator::twoClientsHearTheSameFrames() {
    const auto frames = numberedFrames(300);
    AgwSimulator simulator(std::make_unique<ListSource>(frames));
    simulator.setRate(500);
    QVERIFY(simulator.listen());
    Client first(simulator.port());
    QVERIFY(first.connected);
    first.send(requestBytes('k'));
    QTRY_VERIFY(first.rawData().size() >= 10);
    Client second(simulator.port());
    QVERIFY(second.connected);
    second.send(requestBytes('k'));

    QTRY_VERIFY_WITH_TIMEOUT(first.rawData().size() == frames.size(), 10000);
    QCOMPARE(first.rawData(), frames);
    // The late one hears what is on the air from when it joined, to the end.
    QTRY_VERIFY(!second.rawData().empty() && second.rawData().back() == frames.back());
    const auto late = second.rawData();
    QVERIFY(late.size() < frames.size());
    QVERIFY(std::equal(late.begin(), late.end(), frames.end() - static_cast<std::ptrdiff_t>(late.size())));
}

void TestAgwSimulator::keepsTheRateItIsGiven() {
    AgwSimulator simulator(std::make_unique<ListSource>(numberedFrames(1000)));
    simulator.setRate(40);
    QVERIFY(simulator.listen());
    Client client(simulator.port());
    QVERIFY(client.connected);
    QElapsedTimer elapsed;
    client.send(requestBytes('k'));
    elapsed.start();
    QTest::qWait(1000);
    const double played = static_cast<double>(simulator.framesPlayed());
    QVERIFY2(played <= 40.0 * static_cast<double>(elapsed.elapsed()) / 1000 + 2 && played >= 20,
             qPrintable(QString::number(played)));
}

void TestAgwSimulator::waitsWhileNobodyListensAndDropsBrokenClients() {
    AgwSimulator simulator(std::make_unique<ListSource>(numberedFrames(100000)));
    simulator.setRate(200);
    QVERIFY(simulator.listen());
    {
        Client client(simulator.port());
        QVERIFY(client.connected);
        client.send(requestBytes('k'));
        QTRY_VERIFY(simulator.framesPlayed() > 5);
    }
    QTRY_COMPARE(simulator.clientCount(), 0);
    const auto played = simulator.framesPlayed();
    QTest::qWait(150);
    QCOMPARE(simulator.framesPlayed(), played);

    // The next listener goes on where the last one left.
    Client again(simulator.port());
    QVERIFY(again.connected);
    again.send(requestBytes('G') + requestBytes('k'));
    QTRY_VERIFY(!again.rawData().empty());
    QCOMPARE(again.rawData().front(), numbered(static_cast<int>(played)));

    // A header announcing one MiB: answered requests still go out, then the connection closes.
    QByteArray bad = requestBytes('G');
    bad[30] = 0x10;
    const std::size_t before = again.frames.size();
    again.send(requestBytes('G') + bad);
    QTRY_COMPARE(again.socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(std::any_of(again.frames.begin() + static_cast<std::ptrdiff_t>(before), again.frames.end(),
                        [](const agw::Frame& f) { return f.kind == 'G'; }));
    QTRY_COMPARE(simulator.clientCount(), 0);
}

void TestAgwSimulator::demoValuesDriftPlausibly() {
    const std::int64_t startMs = 1803859200000; // 2027-03-01 00:00 UTC
    FixedClock clock(dateTimeFromUnixMillis(startMs));
    DemoPassSource source(clock, 11);
    std::vector<std::pair<std::int64_t, Octets>> housekeeping; // time, AX.25 frame
    std::map<BeaconType, int> kinds;
    int others = 0;
    for (std::int64_t nowMs = 0; nowMs < 2 * 3600 * 1000; nowMs += source.pauseMs()) {
        clock.set(dateTimeFromUnixMillis(startMs + nowMs));
        const auto data = source.nextFrame();
        QVERIFY(data && data->size() > 1 && source.pauseMs() > 0);
        Octets ax25(data->begin() + 1, data->end());
        if (!isSatelliteFrame(ax25)) {
            ++others;
            continue;
        }
        ++kinds[BeaconDecoder::classify(ax25)];
        if (BeaconDecoder::classify(ax25) == BeaconType::Housekeeping) housekeeping.emplace_back(nowMs, ax25);
    }
    QCOMPARE(kinds[BeaconType::Unknown], 0);
    QVERIFY(kinds[BeaconType::MemoryCheck] >= 10 && kinds[BeaconType::Message] >= 10 && others > 100);
    QVERIFY(housekeeping.size() > 1500); // about one beacon every three seconds

    // Per field: plausible range, largest change between neighbouring beacons,
    // and the least spread over two hours (no frozen values).
    struct Field {
        const char* name;
        std::size_t offset;
        char type; // b: int8 in half degrees, B: uint8, h: int16, H: uint16
        double lo, hi, maxStep, minSpread;
    };
    const Field fields[] = {
        {"charge A", 36, 'B', 20, 100, 1, 2},         {"voltage B", 43, 'H', 6900, 8400, 300, 100},
        {"current B", 45, 'h', -400, 400, 350, 100},  {"batt temp B", 47, 'b', -10, 45, 1.5, 2},
        {"power", 48, 'H', 800, 1700, 500, 300},      {"OBC temp", 50, 'b', 10, 50, 1.5, 2},
        {"+X panel", 52, 'b', -35, 60, 6, 30},        {"-Z panel", 55, 'b', -35, 60, 4, 10},
    };
    for (const auto& f : fields) {
        double min = 1e9, max = -1e9, previous = 0, biggestStep = 0;
        for (std::size_t i = 0; i < housekeeping.size(); ++i) {
            const auto& frame = housekeeping[i].second;
            const double v = f.type == 'b'   ? *ReadInt8(frame, f.offset) / 2.0
                             : f.type == 'B' ? *ReadUInt8(frame, f.offset)
                             : f.type == 'h' ? *ReadInt16(frame, f.offset)
                                             : *ReadUInt16(frame, f.offset);
            min = std::min(min, v);
            max = std::max(max, v);
            // Neighbours within a pass only; across the gap more time has gone by.
            if (i > 0 && housekeeping[i].first - housekeeping[i - 1].first <= 2 * DemoPassSource::kBeaconIntervalMs)
                biggestStep = std::max(biggestStep, std::abs(v - previous));
            previous = v;
        }
        const QString what = QStringLiteral("%1: %2..%3, step %4").arg(f.name).arg(min).arg(max).arg(biggestStep);
        QVERIFY2(min >= f.lo && max <= f.hi && biggestStep <= f.maxStep && max - min >= f.minSpread, qPrintable(what));
    }

    // Uptime and RTC follow the clock; the state word changes now and then, the mode never.
    std::map<std::uint8_t, int> states;
    const auto firstUptime = *ReadInt32(housekeeping.front().second, 27);
    for (const auto& [atMs, frame] : housekeeping) {
        QCOMPARE(std::int64_t{*ReadInt32(frame, 27)} - firstUptime, (atMs - housekeeping.front().first) / 1000);
        QCOMPARE(*ReadUInt32(frame, 31), secondsSince1900(dateTimeFromUnixMillis(startMs + atMs)));
        ++states[*ReadUInt8(frame, 35)];
    }
    QVERIFY(states.count(0x5E) && states.count(0x4E));  // ADCS on and off
    QVERIFY(states.count(0x5C) || states.count(0x4C));  // power path A off the bus for a while
    for (const auto& entry : states) QCOMPARE(entry.first & 0xC0, 0x40);
}

QTEST_GUILESS_MAIN(TestAgwSimulator)
#include "tst_agw_simulator.moc"
