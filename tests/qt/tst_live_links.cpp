// Both live links against a fake modem program: a QTcpServer on the loopback
// address that speaks AGW frames or KISS records. What they share (connecting,
// losing and regaining the peer) runs once per kind; how each cuts its stream
// has a test of its own.

#include "intake/agw_link.h"
#include "intake/kiss_tcp_link.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <utility>

using namespace varne4;

namespace {

QByteArray agwFrame(char kind, const QByteArray& data) {
    agw::Frame frame;
    frame.kind = kind;
    frame.data.assign(data.begin(), data.end());
    const auto bytes = agw::encode(frame);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

const QByteArray kFend(1, '\xC0');
// What the AGW link sends on every connection made: port information, then raw monitoring.
const QByteArray kAgwRegistration = agwFrame('G', {}) + agwFrame('k', {});
const QString kLost = QStringLiteral("Winsock Error \"1\" occured: The remote host closed the connection");
const QString kRefused = QStringLiteral("Winsock Error \"0\" occured: Connection refused");

QStringList texts(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& args : spy) out << args.at(0).toString();
    return out;
}

QList<QByteArray> frames(const QSignalSpy& spy) {
    QList<QByteArray> out;
    for (const auto& args : spy) out << args.at(0).toByteArray();
    return out;
}

QTcpSocket* acceptClient(QTcpServer& server) {
    return QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000) ? server.nextPendingConnection() : nullptr;
}

QByteArray readAtLeast(QTcpSocket* socket, qsizetype count) {
    QByteArray got;
    return QTest::qWaitFor([&] { return (got += socket->readAll()).size() >= count; }, 3000) ? got : QByteArray();
}

// A fake modem of either kind, and a link to it with its signals recorded.
struct Rig {
    explicit Rig(bool kiss)
        : kiss(kiss), link(kiss ? std::unique_ptr<TcpLink>(new KissTcpLink) : std::make_unique<AgwLink>()),
          status(link.get(), &TcpLink::status), raw(link.get(), &TcpLink::rawFrame) {
        port = server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
    }
    // One raw frame (port byte and AX.25 frame) as this kind of modem sends it.
    QByteArray wire(const QByteArray& data) const { return kiss ? kFend + data + kFend : agwFrame('K', data); }
    QByteArray registration() const { return kiss ? QByteArray() : kAgwRegistration; }
    QString named(const char* text) const { return (kiss ? QStringLiteral("KISS ") : QStringLiteral("AGW ")) + text; }
    // Waits for the registration (if any) and reports whether nothing else came.
    bool registered(QTcpSocket* peer) const {
        const QByteArray want = registration();
        if (!want.isEmpty() && readAtLeast(peer, want.size()) != want) return false;
        QTest::qWait(50);
        return peer->bytesAvailable() == 0;
    }
    // Opens the link and takes the registration off the wire.
    QTcpSocket* connectLink() {
        link->open(QStringLiteral("127.0.0.1"), port);
        QTcpSocket* peer = acceptClient(server);
        const bool up = peer && registered(peer) &&
                        QTest::qWaitFor([&] { return link->state() == QAbstractSocket::ConnectedState; }, 3000);
        status.clear();
        return up ? peer : nullptr;
    }
    bool kiss;
    QTcpServer server;
    quint16 port = 0;
    std::unique_ptr<TcpLink> link;
    QSignalSpy status, raw;
};

// Writes the stream in pieces of the given sizes (cycled), each flushed on its own.
void writeInPieces(QTcpSocket* peer, const QByteArray& stream, const QList<int>& sizes) {
    qsizetype at = 0;
    for (int i = 0; at < stream.size(); ++i) {
        const int size = sizes.isEmpty() ? int(stream.size()) : sizes[i % sizes.size()];
        peer->write(stream.mid(std::exchange(at, at + size), size));
        peer->flush();
        QTest::qWait(2);
    }
}

} // namespace

class TestLiveLinks : public QObject {
    Q_OBJECT

private slots:
    void eitherKind_data();
    void registersAndStaysClosedAfterRemoteClose_data() { eitherKind_data(); }
    void registersAndStaysClosedAfterRemoteClose();
    void reconnectsAndStartsANewStream_data() { eitherKind_data(); }
    void reconnectsAndStartsANewStream();
    void agwFramesWhateverTheSegmentationUntilAnOversizeHeader();
    void kissFramesWhateverTheSegmentation_data();
    void kissFramesWhateverTheSegmentation();
};

void TestLiveLinks::eitherKind_data() {
    QTest::addColumn<bool>("kiss");
    QTest::newRow("AGW") << false;
    QTest::newRow("KISS TCP") << true;
}

void TestLiveLinks::registersAndStaysClosedAfterRemoteClose() {
    QFETCH(bool, kiss);
    Rig rig(kiss);
    rig.link->open(QStringLiteral("127.0.0.1"), rig.port);
    rig.link->registerWithEngine(); // still connecting: nothing is sent and nothing is logged
    QTcpSocket* peer = acceptClient(rig.server);
    QVERIFY(peer);
    QVERIFY(rig.registered(peer));
    const QStringList opened{"Winsock RemoteHost: 127.0.0.1", QStringLiteral("Winsock RemotePort: %1").arg(rig.port),
                             rig.named("winsock connection made")};
    QTRY_COMPARE(texts(rig.status), opened);
    // Asking again over the open connection sends the registration again (a KISS port needs none).
    rig.link->registerWithEngine();
    QVERIFY(rig.registered(peer));

    // Without reconnection a remote close is final; a frame sent just before it still arrives.
    peer->write(rig.wire(QByteArrayLiteral("\x00last")));
    peer->disconnectFromHost();
    QTRY_VERIFY(rig.link->isClosed());
    QCOMPARE(frames(rig.raw), QList<QByteArray>{QByteArrayLiteral("\x00last")});
    QCOMPARE(texts(rig.status), opened + QStringList{kLost});
    QTest::qWait(1300); // longer than the shortest reconnection interval
    QVERIFY(rig.status.size() == 4 && !rig.server.hasPendingConnections() && rig.link->isClosed());
}

void TestLiveLinks::reconnectsAndStartsANewStream() {
    QFETCH(bool, kiss);
    Rig rig(kiss);
    rig.link->setReconnectSeconds(1);
    QTcpSocket* peer = rig.connectLink();
    QVERIFY(peer);
    // The modem restarts one byte short of a frame's end, and is away for one attempt.
    peer->write(rig.wire(QByteArrayLiteral("\x00unfinished frame")).chopped(1));
    peer->flush();
    QTest::qWait(20);
    peer->disconnectFromHost();
    rig.server.close();
    const QString retry = rig.named("reconnecting to 127.0.0.1:") + QString::number(rig.port);
    QTRY_COMPARE_WITH_TIMEOUT(texts(rig.status), QStringList({kLost, retry, kRefused}), 3000);
    QVERIFY(rig.server.listen(QHostAddress::LocalHost, rig.port));
    QTcpSocket* again = acceptClient(rig.server);
    QVERIFY(again);
    QVERIFY(rig.registered(again)); // a restarted AGW engine knows nothing of the earlier registration
    QTRY_COMPARE(texts(rig.status), QStringList({kLost, retry, kRefused, retry, rig.named("winsock connection made")}));
    // The half frame of the old connection is not joined to the new stream.
    again->write(rig.wire(QByteArrayLiteral("\x00new")));
    QTRY_COMPARE(frames(rig.raw), QList<QByteArray>{QByteArrayLiteral("\x00new")});

    // Our own close is final: no error entry, no further attempt.
    rig.link->close();
    QTest::qWait(1300);
    QVERIFY(rig.link->isClosed() && rig.status.size() == 5 && !rig.server.hasPendingConnections());
}

void TestLiveLinks::agwFramesWhateverTheSegmentationUntilAnOversizeHeader() {
    Rig rig(false);
    QTcpSocket* engine = rig.connectLink();
    QVERIFY(engine);
    const QByteArray ax25 = QByteArray::fromHex("00A28260ACA49C60A28460ACA4A6E103F0") + QByteArray(40, 'x');
    const QByteArray stream = agwFrame('K', ax25) + agwFrame('G', {}) + agwFrame('y', QByteArray(10, 'x')) +
                              agwFrame('K', QByteArray(1, '\0')) + agwFrame('G', QByteArray(53, 'x')) +
                              agwFrame('S', {}) + agwFrame('G', QByteArray(300, 'x')) + agwFrame('K', QByteArray(500, 'x'));
    const QList<QByteArray> wantRaw{ax25, QByteArray(1, '\0'), QByteArray(500, 'x')};
    // 'G' shows the first (low length byte) characters less the last 21.
    const QString prefix = QStringLiteral("total number of ports: ");
    const QStringList wantStatus{"to", prefix + QByteArray(32, 'x'), prefix + QByteArray(23, 'x')};
    // First in awkward pieces (inside headers, across frames), then all at once.
    writeInPieces(engine, stream.left(286), {1, 3, 31, 2, 36, 37, 5, 100, 1, 70});
    engine->write(stream.mid(286) + stream);
    QTRY_COMPARE(frames(rig.raw), wantRaw + wantRaw);
    QTRY_COMPARE(texts(rig.status), wantStatus + wantStatus);

    QByteArray bad = agwFrame('K', {});
    bad[28] = 0x01; // dataLen 0x00010001, one byte past the limit
    bad[30] = 0x01;
    engine->write(agwFrame('K', QByteArrayLiteral("\x00ok")) + bad + agwFrame('K', QByteArrayLiteral("\x00lost")));
    QTRY_VERIFY(rig.link->isClosed());
    QCOMPARE(frames(rig.raw), wantRaw + wantRaw + QList<QByteArray>{QByteArrayLiteral("\x00ok")});
    QCOMPARE(texts(rig.status).last(), QStringLiteral("AGW protocol error: frame of 65537 data bytes announced; link closed"));
    QCOMPARE(rig.status.size(), 2 * wantStatus.size() + 1);
}

void TestLiveLinks::kissFramesWhateverTheSegmentation_data() {
    QTest::addColumn<QList<int>>("pieces");
    QTest::newRow("all at once") << QList<int>{};
    QTest::newRow("byte by byte") << QList<int>{1};
    QTest::newRow("awkward pieces") << QList<int>{2, 7, 1, 300, 3, 513};
}

void TestLiveLinks::kissFramesWhateverTheSegmentation() {
    QFETCH(QList<int>, pieces);
    Rig rig(true);
    QTcpSocket* peer = rig.connectLink();
    QVERIFY(peer);

    const QByteArray ax25 = QByteArray::fromHex("A28260ACA49C60A28460ACA4A6E103F0") + QByteArray(40, 'x');
    const QByteArray longest = '\0' + QByteArray(511, 'Z');
    QByteArray stream = "noise before the first FEND";
    struct Item { QByteArray wire; QByteArray frame; };
    const Item items[] = {
        {kFend + '\0' + ax25 + kFend, '\0' + ax25},
        {kFend + kFend + kFend, {}},                                          // empty records
        {kFend + QByteArrayLiteral("\x01\x20") + kFend, {}},                  // TX delay: not a frame
        {kFend + QByteArrayLiteral("\xFF") + kFend, {}},                      // leave KISS mode
        {kFend + QByteArrayLiteral("\x06\x00") + kFend, {}},                  // hardware command
        // FEND and FESC inside the frame travel escaped; TNC port 1 is a data frame too.
        {kFend + QByteArrayLiteral("\x10\x01\xDB\xDC\x02\xDB\xDD\x03") + kFend, QByteArrayLiteral("\x10\x01\xC0\x02\xDB\x03")},
        {kFend + longest + kFend, longest},                                    // exactly the frame buffer
        {kFend + '\0' + QByteArray(512, 'y') + kFend, {}},                     // one byte too many
        // A FEND closes a record and may open the next at once.
        {kFend + QByteArrayLiteral("\x00" "a") + kFend + QByteArrayLiteral("\x00" "b") + kFend,
         QByteArrayLiteral("\x00" "a")},
    };
    QList<QByteArray> want;
    qsizetype oversizeAt = -1;
    for (const auto& item : items) {
        if (item.wire.size() > 514) oversizeAt = stream.size();
        stream += item.wire;
        if (!item.frame.isEmpty()) want << item.frame;
    }
    want << QByteArrayLiteral("\x00" "b");

    writeInPieces(peer, stream, pieces);
    QTRY_COMPARE(frames(rig.raw), want);
    QTRY_COMPARE(texts(rig.status),
                 QStringList{QStringLiteral("KISS frame at byte %1 of the connection dropped: longer than the frame "
                                            "buffer of 512")
                                 .arg(oversizeAt)});
    QVERIFY(!rig.link->isClosed());
}

QTEST_GUILESS_MAIN(TestLiveLinks)
#include "tst_live_links.moc"
