// The modem simulator as an AGW client sees it, and the two frame sources it plays.

#include "sim/modem_simulator.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <map>

#include "sim/demo_pass_source.h"
#include "decode/beacon_decoder.h"
#include "intake/frame_pipeline.h"
#include "sim/kiss_file_source.h"
#include "kisslog/kiss.h"

using namespace varne4;

namespace {

using Octets = std::vector<std::uint8_t>;

QByteArray requestBytes(char kind) {
    const auto f = agw::request(kind);
    return QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
}

// A raw AGW client: keeps the frames it receives, and the data of the 'K' ones in raw.
struct Client {
    Client(quint16 port, const QByteArray& requests) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            const QByteArray bytes = socket.readAll();
            splitter.feed(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
            for (agw::Frame f; splitter.next(f) == agw::FrameSplitter::Result::Frame; frames.push_back(f))
                if (f.kind == 'K') raw.push_back(f.data);
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(3000);
        socket.write(requests);
    }
    QTcpSocket socket;
    agw::FrameSplitter splitter;
    std::vector<agw::Frame> frames;
    std::vector<Octets> raw;
};

// Plays a fixed list of frames once, a millisecond apart.
struct ListSource final : FrameSource {
    explicit ListSource(std::vector<Octets> f) : frames(std::move(f)) {}
    std::optional<Octets> nextFrame() override { return next < frames.size() ? std::optional(frames[next++]) : std::nullopt; }
    int pauseMs() const override { return 1; }
    std::vector<Octets> frames;
    std::size_t next = 0;
};

std::vector<Octets> numberedFrames(int count) {
    std::vector<Octets> frames(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) frames[i] = withPortByte(makeStationFrame("CQ", "OK1ABC-9", "", "frame " + std::to_string(i)));
    return frames;
}

} // namespace

class TestModemSimulator : public QObject {
    Q_OBJECT

private slots:
    void playsInOrderAtTheRateGivenOnlyToMonitoringClients();
    void kissClientsHearEveryFrameWithoutAsking();
    void kissFileSourceSkipsAndLoops();
    void demoValuesDriftPlausibly();
};

void TestModemSimulator::playsInOrderAtTheRateGivenOnlyToMonitoringClients() {
    const auto frames = numberedFrames(100000);
    ModemSimulator simulator(std::make_unique<ListSource>(frames));
    simulator.setRate(300);
    QVERIFY(simulator.listen());
    auto heardInOrder = [&](const Client& c) { // a stretch of the frames, each once
        return !c.raw.empty() && std::search(frames.begin(), frames.end(), c.raw.begin(), c.raw.end()) != frames.end();
    };
    {
        Client bystander(simulator.port(), {});
        // Kinds not simulated are passed over; the requests arrive one byte at a time.
        for (char byte : QByteArray(requestBytes('X') + requestBytes('G') + requestBytes('m')))
            bystander.socket.write(QByteArray(1, byte)), bystander.socket.flush();
        QTRY_COMPARE(bystander.frames.size(), std::size_t{1});
        const auto& ports = bystander.frames[0].data;
        QCOMPARE(agw::portInformationText(std::uint8_t(ports.size()), ports), std::string("total number of ports: 1;Port1 VARNE-4 "));
        QTest::qWait(100);
        QCOMPARE(simulator.framesPlayed(), quint64{0}); // nobody asked for raw frames yet

        QElapsedTimer elapsed;
        elapsed.start();
        Client first(simulator.port(), requestBytes('k') + requestBytes('k')); // the second 'k' keeps monitoring on
        QTRY_VERIFY(first.raw.size() >= 10);
        Client late(simulator.port(), requestBytes('k'));
        QTRY_VERIFY(late.raw.size() >= 30);
        // The source's own pace differs: a frame per pass of QTRY's loop, which sleeps 10 ms.
        const double played = double(simulator.framesPlayed()), allowed = 300.0 * double(elapsed.elapsed()) / 1000;
        QVERIFY2(played <= allowed + 2 && played >= allowed / 2, qPrintable(QStringLiteral("%1 of %2").arg(played).arg(allowed)));
        QVERIFY(heardInOrder(first) && heardInOrder(late) && first.raw.front() == frames.front());
        QCOMPARE(bystander.frames.size(), std::size_t{1});
    }
    // Nobody listens: the play waits, and the next listener goes on where the last one left.
    QTRY_COMPARE(simulator.clientCount(), 0);
    const auto played = simulator.framesPlayed();
    QTest::qWait(150);
    QCOMPARE(simulator.framesPlayed(), played);
    Client again(simulator.port(), requestBytes('G') + requestBytes('k'));
    QTRY_VERIFY(!again.raw.empty());
    QCOMPARE(again.raw.front(), frames[played]);

    QByteArray bad = requestBytes('G');
    bad[30] = 0x10; // announces one MiB: the stream is out of step, so the client is dropped
    again.socket.write(bad);
    QTRY_COMPARE(again.socket.state(), QAbstractSocket::UnconnectedState);
}

void TestModemSimulator::kissClientsHearEveryFrameWithoutAsking() {
    auto frames = numberedFrames(50);
    frames[7].insert(frames[7].end(), {kiss::FEND, kiss::FESC, kiss::TFEND, kiss::FEND}); // must travel escaped
    ModemSimulator simulator(std::make_unique<ListSource>(frames));
    QVERIFY(simulator.listenKiss());
    QTcpSocket socket;
    kiss::RecordSplitter splitter;
    std::vector<Octets> heard;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        const QByteArray bytes = socket.readAll();
        std::span<const std::uint8_t> in(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        while (auto record = splitter.next(in)) heard.emplace_back(record->content.begin(), record->content.end());
    });
    socket.connectToHost(QHostAddress::LocalHost, simulator.kissPort());
    QVERIFY(socket.waitForConnected(3000));
    // What a KISS client sends would be transmitted; the simulator takes no notice, even of AGW requests.
    socket.write(requestBytes('G') + "\xC0\x00hello\xC0");
    QTRY_COMPARE(heard.size(), frames.size());
    QVERIFY(heard == frames);
    QCOMPARE(simulator.port(), quint16{0}); // the AGW side was never opened
}

void TestModemSimulator::kissFileSourceSkipsAndLoops() {
    QTemporaryDir dir;
    const auto n = numberedFrames(3);
    auto write = [&](const char* name, const std::vector<Octets>& records) {
        Octets bytes;
        for (const auto& r : records) kiss::appendTimeStampRecord(bytes, "2026-11-28 14:02:00.000 UTC"), kiss::appendFrameRecord(bytes, r);
        const std::filesystem::path path = dir.filePath(name).toStdString();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    };
    // Time stamps, and a record too long for a receiver, are not played.
    const auto a = write("a.kss", {n[0], n[1], Octets(600, 0x41)}), b = write("b.kss", {n[2]}), empty = write("e.kss", {});
    struct { std::vector<std::filesystem::path> files; bool loop; std::vector<Octets> want; } const cases[] = {
        {{a, b}, false, n}, {{a, empty, b}, true, {n[0], n[1], n[2], n[0], n[1], n[2], n[0], n[1], n[2]}},
        {{empty, empty}, true, {}}}; // looping over nothing ends
    for (const auto& c : cases) { // the first nine frames asked for
        KissFileSource source(c.files, c.loop);
        std::vector<Octets> got;
        for (int i = 0; i < 9; ++i) if (auto frame = source.nextFrame()) got.push_back(*frame);
        QVERIFY2(got == c.want, qPrintable(QString::number(&c - cases)));
    }
}

void TestModemSimulator::demoValuesDriftPlausibly() {
    const std::int64_t startMs = 1803859200000; // 2027-03-01 00:00 UTC
    FixedClock clock(dateTimeFromUnixMillis(startMs));
    DemoPassSource source(clock, 11);
    PanelState panel;
    ValueHistory history(100000);
    DisplayFormat format;
    BeaconDecoder decoder(panel, history, clock, format);
    std::vector<std::int64_t> times; // of the history entries
    std::map<BeaconType, int> kinds;   // BeaconType{99}: another station
    for (std::int64_t nowMs = 0; nowMs < 2 * 3600 * 1000; nowMs += source.pauseMs()) {
        clock.set(dateTimeFromUnixMillis(startMs + nowMs));
        const auto data = source.nextFrame();
        QVERIFY(data && data->size() > 1);
        const auto ax25 = std::span(*data).subspan(1);
        const auto result = isSatelliteFrame(ax25) ? decoder.decode(ax25, 0) : DecodeResult{};
        ++kinds[isSatelliteFrame(ax25) ? result.type : BeaconType{99}];
        if (result.historyAppended) times.push_back(nowMs);
    }
    QVERIFY(kinds[BeaconType::Unknown] == 0 && kinds[BeaconType::MemoryCheck] >= 10 && kinds[BeaconType{99}] > 100);
    QVERIFY(std::size_t(kinds[BeaconType::Housekeeping]) == history.size() && history.size() > 1500); // one per ~3 s

    // Per slot: plausible range, largest step within a pass, least spread (no frozen values).
    struct { int slot; double lo, hi, maxStep, minSpread; } const checks[] = {
        {5, 20, 100, 1, 2}, {10, 6900, 8400, 300, 100}, {11, -400, 400, 350, 100},
        {12, -10, 45, 1.5, 2}, {13, 800, 1700, 500, 300}, {16, -35, 60, 6, 30}};
    for (const auto& f : checks) {
        double min = 1e9, max = -1e9, biggestStep = 0;
        for (std::size_t i = 0; i < history.size(); ++i) {
            const double v = history.at(i).values[f.slot];
            min = std::min(min, v), max = std::max(max, v);
            if (i > 0 && times[i] - times[i - 1] <= 2 * DemoPassSource::kBeaconIntervalMs)
                biggestStep = std::max(biggestStep, std::abs(v - history.at(i - 1).values[f.slot]));
        }
        QVERIFY2(min >= f.lo && max <= f.hi && biggestStep <= f.maxStep && max - min >= f.minSpread,
                 qPrintable(QStringLiteral("slot %1: %2..%3, step %4").arg(f.slot).arg(min).arg(max).arg(biggestStep)));
    }
}

QTEST_GUILESS_MAIN(TestModemSimulator)
#include "tst_modem_simulator.moc"
