// The link against a fake engine: a QTcpServer on the loopback address.

#include "intake/agw_link.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <utility>

using namespace varne4;

namespace {

QByteArray frameBytes(char kind, const QByteArray& data) {
    agw::Frame frame;
    frame.kind = kind;
    frame.data.assign(data.begin(), data.end());
    const auto bytes = agw::encode(frame);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// What the link sends on every connection made: port information, then raw monitoring.
const QByteArray kRegistration = frameBytes('G', {}) + frameBytes('k', {});
const QString kLost = QStringLiteral("Winsock Error \"1\" occured: The remote host closed the connection");

// The first argument of every signal recorded: texts for status, frames for rawFrame.
template <typename T> QList<T> firstArgs(const QSignalSpy& spy) {
    QList<T> out;
    for (const auto& args : spy) out << args.at(0).value<T>();
    return out;
}
QStringList texts(const QSignalSpy& spy) { return firstArgs<QString>(spy); }
QList<QByteArray> frames(const QSignalSpy& spy) { return firstArgs<QByteArray>(spy); }

QTcpSocket* acceptClient(QTcpServer& server) {
    return QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000) ? server.nextPendingConnection() : nullptr;
}

QByteArray readAtLeast(QTcpSocket* socket, qsizetype count) {
    QByteArray got;
    return QTest::qWaitFor([&] { return (got += socket->readAll()).size() >= count; }, 3000) ? got : QByteArray();
}

// A fake engine listening on the loopback address, and a link with its signals recorded.
struct Rig {
    Rig() { port = server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0; }
    // Opens the link to the fake engine and takes the registration off the wire.
    QTcpSocket* connectLink() {
        link.open(QStringLiteral("127.0.0.1"), port);
        QTcpSocket* engine = acceptClient(server);
        const bool registered = engine && readAtLeast(engine, 72) == kRegistration &&
                                QTest::qWaitFor([&] { return link.state() == QAbstractSocket::ConnectedState; }, 3000);
        status.clear();
        return registered ? engine : nullptr;
    }
    QTcpServer server;
    quint16 port = 0;
    AgwLink link;
    QSignalSpy status{&link, &AgwLink::status}, raw{&link, &AgwLink::rawFrame};
};

} // namespace

class TestAgwLink : public QObject {
    Q_OBJECT

private slots:
    void registersOnceAndStaysClosedAfterRemoteClose();
    void deliversFramesWhateverTheSegmentationUntilAnOversizeHeader();
    void reconnectsAndRegistersAgain();
};

void TestAgwLink::registersOnceAndStaysClosedAfterRemoteClose() {
    Rig rig;
    rig.link.open(QStringLiteral("127.0.0.1"), rig.port);
    rig.link.registerWithEngine(); // still connecting: nothing is sent and nothing is logged
    QTcpSocket* engine = acceptClient(rig.server);
    QVERIFY(engine);
    QCOMPARE(readAtLeast(engine, 72), kRegistration);
    const QStringList opened{"Winsock RemoteHost: 127.0.0.1", QStringLiteral("Winsock RemotePort: %1").arg(rig.port),
                             "AGW winsock connection made"};
    QTRY_COMPARE(texts(rig.status), opened);
    QTest::qWait(50);
    QCOMPARE(engine->bytesAvailable(), 0);
    // Asking again sends both requests again over the open connection.
    rig.link.registerWithEngine();
    QCOMPARE(readAtLeast(engine, 72), kRegistration);

    // Without reconnection a remote close is final; a frame sent just before it still arrives.
    engine->write(frameBytes('K', QByteArrayLiteral("\x00last")));
    engine->disconnectFromHost();
    QTRY_VERIFY(rig.link.isClosed());
    QCOMPARE(frames(rig.raw), QList<QByteArray>{QByteArrayLiteral("\x00last")});
    QCOMPARE(texts(rig.status), opened + QStringList{kLost});
    QTest::qWait(1300); // longer than the shortest reconnection interval
    QVERIFY(rig.status.size() == 4 && !rig.server.hasPendingConnections() && rig.link.isClosed());
}

void TestAgwLink::deliversFramesWhateverTheSegmentationUntilAnOversizeHeader() {
    Rig rig;
    QTcpSocket* engine = rig.connectLink();
    QVERIFY(engine);
    const QByteArray ax25 = QByteArray::fromHex("00A28260ACA49C60A28460ACA4A6E103F0") + QByteArray(40, 'x');
    const QByteArray stream = frameBytes('K', ax25) + frameBytes('G', {}) + frameBytes('y', QByteArray(10, 'x')) +
                              frameBytes('K', QByteArray(1, '\0')) + frameBytes('G', QByteArray(53, 'x')) +
                              frameBytes('S', {}) + frameBytes('G', QByteArray(300, 'x')) + frameBytes('K', QByteArray(500, 'x'));
    const QList<QByteArray> wantRaw{ax25, QByteArray(1, '\0'), QByteArray(500, 'x')};
    // 'G' shows the first (low length byte) characters less the last 21.
    const QString prefix = QStringLiteral("total number of ports: ");
    const QStringList wantStatus{"to", prefix + QByteArray(32, 'x'), prefix + QByteArray(23, 'x')};
    // First in awkward pieces (inside headers, across frames), then all at once.
    qsizetype at = 0;
    for (int size : {1, 3, 31, 2, 36, 37, 5, 100, 1, 70}) {
        engine->write(stream.mid(std::exchange(at, at + size), size));
        engine->flush();
        QTest::qWait(5);
    }
    engine->write(stream.mid(at) + stream);
    QTRY_COMPARE(frames(rig.raw), wantRaw + wantRaw);
    QTRY_COMPARE(texts(rig.status), wantStatus + wantStatus);

    QByteArray bad = frameBytes('K', {});
    bad[28] = 0x01; // dataLen 0x00010001, one byte past the limit
    bad[30] = 0x01;
    engine->write(frameBytes('K', QByteArrayLiteral("\x00ok")) + bad + frameBytes('K', QByteArrayLiteral("\x00lost")));
    QTRY_VERIFY(rig.link.isClosed());
    QCOMPARE(frames(rig.raw), wantRaw + wantRaw + QList<QByteArray>{QByteArrayLiteral("\x00ok")});
    QCOMPARE(texts(rig.status).last(), QStringLiteral("AGW protocol error: frame of 65537 data bytes announced; link closed"));
    QCOMPARE(rig.status.size(), 2 * wantStatus.size() + 1);
}

void TestAgwLink::reconnectsAndRegistersAgain() {
    Rig rig;
    rig.link.setReconnectSeconds(1);
    QTcpSocket* engine = rig.connectLink();
    QVERIFY(engine);
    // The engine restarts: it drops us and is away for one attempt.
    engine->disconnectFromHost();
    rig.server.close();
    const QString retry = QStringLiteral("AGW reconnecting to 127.0.0.1:%1").arg(rig.port);
    const QString refused = QStringLiteral("Winsock Error \"0\" occured: Connection refused");
    QTRY_COMPARE_WITH_TIMEOUT(texts(rig.status), QStringList({kLost, retry, refused}), 3000);
    QVERIFY(rig.server.listen(QHostAddress::LocalHost, rig.port));
    QTcpSocket* again = acceptClient(rig.server);
    QVERIFY(again);
    QCOMPARE(readAtLeast(again, 72), kRegistration);
    QTRY_COMPARE(texts(rig.status), QStringList({kLost, retry, refused, retry, "AGW winsock connection made"}));
    again->write(frameBytes('K', QByteArrayLiteral("\x00new")));
    QTRY_COMPARE(frames(rig.raw), QList<QByteArray>{QByteArrayLiteral("\x00new")});

    // Our own close is final: no error entry, no further attempt.
    rig.link.close();
    QTest::qWait(1300);
    QVERIFY(rig.link.isClosed() && rig.status.size() == 5 && !rig.server.hasPendingConnections());
}

QTEST_GUILESS_MAIN(TestAgwLink)
#include "tst_agw_link.moc"
