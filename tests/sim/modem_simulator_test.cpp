// The modem simulator as its AGW and KISS clients see it.

#include "sim/modem_simulator.h"

#include <QtTest>

#include <algorithm>

#include "sim/sample_recording.h"
#include "support/qt_support.h"

using namespace varne4;
using namespace varne4::test;

namespace {

std::vector<ByteVector> numberedFrames(int count) {
    std::vector<ByteVector> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(withPortByte(makeStationFrame("CQ", "OK1ABC-9", "", "frame " + std::to_string(i))));
    return frames;
}

} // namespace

class ModemSimulatorTest : public QObject {
    Q_OBJECT

private slots:
    // The source's own pace here is none at all: a frame on every pass of the event loop.
    void playsInOrderOnlyToMonitoringClientsAndWaitsForThem() {
        const auto frames = numberedFrames(100000);
        ModemSimulator simulator(std::make_unique<ListSource>(frames));
        QVERIFY(simulator.listen());
        const auto heardInOrder = [&](const SocketPeer& client) { // a stretch of the frames, each once
            const auto raw = rawFramesIn(client.got);
            return !raw.empty() && std::search(frames.begin(), frames.end(), raw.begin(), raw.end()) != frames.end();
        };
        {
            SocketPeer bystander(simulator.port());
            // Kinds not simulated are passed over; the requests arrive one byte at a time.
            trickle(bystander.socket, agwRequest('X') + agwRequest('G') + agwRequest('m'));
            QTRY_COMPARE(agwFramesIn(bystander.got).size(), 1u);
            const auto ports = agwFramesIn(bystander.got).front().data;
            QCOMPARE(agw::portInformationText(std::uint8_t(ports.size()), ports),
                     std::string("total number of ports: 1;Port1 VARNE-4 "));

            SocketPeer first(simulator.port(), agwRequest('k') + agwRequest('k')); // the second keeps it on
            QTRY_VERIFY(rawFramesIn(first.got).size() >= 10);
            SocketPeer late(simulator.port(), agwRequest('k'));
            QTRY_VERIFY(rawFramesIn(late.got).size() >= 30);
            QVERIFY(heardInOrder(first) && heardInOrder(late));
            QVERIFY(rawFramesIn(first.got).front() == frames.front()); // nothing played before anyone listened
            QCOMPARE(agwFramesIn(bystander.got).size(), 1u);
        }
        // Nobody listens: the play waits, and the next listener goes on where the last one left.
        QTRY_COMPARE(simulator.clientCount(), 0);
        const auto played = simulator.framesPlayed();
        SocketPeer again(simulator.port(), agwRequest('G') + agwRequest('k'));
        QTRY_VERIFY(!rawFramesIn(again.got).empty());
        QVERIFY(rawFramesIn(again.got).front() == frames[played]);

        QByteArray bad = agwRequest('G');
        bad[30] = 0x10; // announces one MiB: the stream is out of step, so the client is dropped
        again.socket.write(bad);
        QTRY_VERIFY(again.closed());
    }

    void kissClientsHearEveryFrameWithoutAsking() {
        auto frames = numberedFrames(50);
        frames[7].insert(frames[7].end(), {kiss::FEND, kiss::FESC, kiss::TFEND, kiss::FEND}); // must travel escaped
        ModemSimulator simulator(std::make_unique<ListSource>(frames, 1));
        QVERIFY(simulator.listenKiss());
        // What a KISS client sends would be transmitted; the simulator takes no notice, even of AGW requests.
        SocketPeer client(simulator.kissPort(), agwRequest('G') + QByteArrayLiteral("\xC0\x00hello\xC0"));
        QTRY_VERIFY(kissRecordsIn(client.got).size() == frames.size());
        QVERIFY(kissRecordsIn(client.got) == frames);
    }

    void rateReplacesTheSourcesOwnPace() {
        // The source would wait an hour after every frame.
        ModemSimulator simulator(std::make_unique<ListSource>(numberedFrames(1000), 3600 * 1000));
        simulator.setRate(200);
        QVERIFY(simulator.listenKiss());
        QElapsedTimer elapsed;
        elapsed.start();
        SocketPeer client(simulator.kissPort());
        QTRY_VERIFY(kissRecordsIn(client.got).size() >= 20);
        // Never ahead of the rate (a frame per 5 ms), its clock having started after ours.
        QVERIFY(simulator.framesPlayed() <= quint64(elapsed.elapsed() / 5 + 1));
    }
};

QTEST_GUILESS_MAIN(ModemSimulatorTest)
#include "modem_simulator_test.moc"
