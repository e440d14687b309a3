// The KISS TCP link against a fake peer: a QTcpServer on the loopback address
// that writes KISS records as a modem program or network TNC would.

#include "intake/kiss_tcp_link.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <utility>

using namespace varne4;

namespace {

QTcpSocket* acceptClient(QTcpServer& server) {
    return QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000) ? server.nextPendingConnection() : nullptr;
}

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

const QByteArray kFend(1, '\xC0');
const QString kLost = QStringLiteral("Winsock Error \"1\" occured: The remote host closed the connection");

struct Rig {
    Rig() { port = server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0; }
    QTcpSocket* connectLink() {
        link.open(QStringLiteral("127.0.0.1"), port);
        QTcpSocket* peer = acceptClient(server);
        const bool up = peer && QTest::qWaitFor([&] { return link.state() == QAbstractSocket::ConnectedState; }, 3000);
        return up ? peer : nullptr;
    }
    QTcpServer server;
    quint16 port = 0;
    KissTcpLink link;
    QSignalSpy status{&link, &KissTcpLink::status}, raw{&link, &KissTcpLink::rawFrame};
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

class TestKissTcpLink : public QObject {
    Q_OBJECT

private slots:
    void announcesAndSendsNothingAndStaysClosedAfterRemoteClose();
    void takesDataFramesWhateverTheSegmentation_data();
    void takesDataFramesWhateverTheSegmentation();
    void reconnectsAndForgetsTheUnfinishedRecord();
};

void TestKissTcpLink::announcesAndSendsNothingAndStaysClosedAfterRemoteClose() {
    Rig rig;
    QTcpSocket* peer = rig.connectLink();
    QVERIFY(peer);
    rig.link.registerWithEngine(); // a KISS port needs no registration
    QTRY_COMPARE(texts(rig.status), QStringList({"Winsock RemoteHost: 127.0.0.1",
                                                 QStringLiteral("Winsock RemotePort: %1").arg(rig.port),
                                                 "KISS winsock connection made"}));
    QTest::qWait(50);
    QCOMPARE(peer->bytesAvailable(), 0);

    // A frame written just before the peer goes away still arrives; no reconnection follows.
    peer->write(kFend + QByteArrayLiteral("\x00last") + kFend);
    peer->disconnectFromHost();
    QTRY_VERIFY(rig.link.isClosed());
    QCOMPARE(frames(rig.raw), QList<QByteArray>{QByteArrayLiteral("\x00last")});
    QCOMPARE(texts(rig.status).last(), kLost);
    QTest::qWait(1300);
    QVERIFY(rig.status.size() == 4 && !rig.server.hasPendingConnections());
}

void TestKissTcpLink::takesDataFramesWhateverTheSegmentation_data() {
    QTest::addColumn<QList<int>>("pieces");
    QTest::newRow("all at once") << QList<int>{};
    QTest::newRow("byte by byte") << QList<int>{1};
    QTest::newRow("awkward pieces") << QList<int>{2, 7, 1, 300, 3, 513};
}

void TestKissTcpLink::takesDataFramesWhateverTheSegmentation() {
    QFETCH(QList<int>, pieces);
    Rig rig;
    QTcpSocket* peer = rig.connectLink();
    QVERIFY(peer);
    rig.status.clear();

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
    QVERIFY(!rig.link.isClosed());
}

void TestKissTcpLink::reconnectsAndForgetsTheUnfinishedRecord() {
    Rig rig;
    rig.link.setReconnectSeconds(1);
    QTcpSocket* peer = rig.connectLink();
    QVERIFY(peer);
    rig.status.clear();
    // The peer restarts in the middle of a record, and is away for one attempt.
    peer->write(kFend + QByteArrayLiteral("\x00unfinished"));
    peer->flush();
    QTest::qWait(20);
    peer->disconnectFromHost();
    rig.server.close();
    const QString retry = QStringLiteral("KISS reconnecting to 127.0.0.1:%1").arg(rig.port);
    const QString refused = QStringLiteral("Winsock Error \"0\" occured: Connection refused");
    QTRY_COMPARE_WITH_TIMEOUT(texts(rig.status), QStringList({kLost, retry, refused}), 3000);
    QVERIFY(rig.server.listen(QHostAddress::LocalHost, rig.port));
    QTcpSocket* again = acceptClient(rig.server);
    QVERIFY(again);
    QTRY_COMPARE(texts(rig.status), QStringList({kLost, retry, refused, retry, "KISS winsock connection made"}));
    // The new stream's first bytes do not complete the old record.
    again->write(QByteArrayLiteral("tail") + kFend + QByteArrayLiteral("\x00new") + kFend);
    QTRY_COMPARE(frames(rig.raw), QList<QByteArray>{QByteArrayLiteral("\x00new")});

    rig.link.close();
    QTest::qWait(1300);
    QVERIFY(rig.link.isClosed() && rig.status.size() == 5 && !rig.server.hasPendingConnections());
}

QTEST_GUILESS_MAIN(TestKissTcpLink)
#include "tst_kiss_tcp_link.moc"
