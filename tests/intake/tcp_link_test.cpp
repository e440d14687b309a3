// Both live links against a fake modem program: a QTcpServer on the loopback
// address that speaks AGW frames or KISS records. What they share (connecting,
// losing and regaining the peer) runs once per kind; how each cuts its stream
// has a test of its own.

#include "intake/agw_link.h"
#include "intake/kiss_tcp_link.h"

#include <QTcpServer>
#include <QtTest>

#include "support/qt_support.h"

using namespace varne4;

namespace {

QByteArray agwFrame(char kind, const QByteArray& data) {
    return test::toQt(agw::encode({0, kind, 0, {}, {}, test::ByteVector(data.begin(), data.end())}));
}

const QByteArray kFend(1, '\xC0');
const QString kLost = QStringLiteral("Winsock Error \"1\" occured: The remote host closed the connection");
const QString kRefused = QStringLiteral("Winsock Error \"0\" occured: Connection refused");

// A fake modem of either kind, and a link to it with what it reports recorded.
struct Rig {
    explicit Rig(bool kiss) : kiss(kiss) {
        link.reset(kiss ? static_cast<TcpLink*>(new KissTcpLink) : new AgwLink);
        QObject::connect(link.get(), &TcpLink::status, [this](const QString& text) { status << text; });
        QObject::connect(link.get(), &TcpLink::rawFrame, [this](const QByteArray& frame) { raw << frame; });
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                peer = socket;
                heard.append(QByteArray());
                QObject::connect(socket, &QTcpSocket::readyRead,
                                 [this, socket, i = heard.size() - 1] { heard[i] += socket->readAll(); });
            }
        });
        server.listen(QHostAddress::LocalHost, 0);
        port = server.serverPort();
    }
    // One raw frame (port byte and AX.25 frame) as this kind of modem sends it.
    QByteArray wire(const QByteArray& data) const { return kiss ? kFend + data + kFend : agwFrame('K', data); }
    // What the link sends on a new connection: AGW asks for port information, then raw monitoring.
    QByteArray registration() const { return kiss ? QByteArray() : agwFrame('G', {}) + agwFrame('k', {}); }
    QString made() const { return link->kindName() + " winsock connection made"; }
    bool connectLink() {
        link->open(QStringLiteral("127.0.0.1"), port);
        const QStringList opened{"Winsock RemoteHost: 127.0.0.1", QStringLiteral("Winsock RemotePort: %1").arg(port),
                                 made()};
        const bool up = QTest::qWaitFor([&] { return status == opened && heard.value(0) == registration(); });
        status.clear();
        return up;
    }
    // A link that does reconnect loses its peer and comes back: a whole reconnection
    // interval has passed. True when no other connection was made meanwhile.
    bool noOtherAttemptWithinAnInterval(int connectionsSoFar) {
        KissTcpLink control;
        int made = 0;
        QObject::connect(&control, &TcpLink::status, [&](const QString& text) { made += text.endsWith(" made"); });
        control.setReconnectSeconds(1);
        control.open(QStringLiteral("127.0.0.1"), port);
        if (!QTest::qWaitFor([&] { return made == 1 && heard.size() > connectionsSoFar; })) return false;
        peer->disconnectFromHost();
        return QTest::qWaitFor([&] { return made == 2 && heard.size() > connectionsSoFar + 1; }) &&
               heard.size() == connectionsSoFar + 2;
    }

    bool kiss;
    QTcpServer server;
    quint16 port = 0;
    std::unique_ptr<TcpLink> link;
    QStringList status;
    QList<QByteArray> raw;
    QTcpSocket* peer = nullptr; // the newest connection's
    QList<QByteArray> heard;    // per connection, what the peer received
};

} // namespace

class TcpLinkTest : public QObject {
    Q_OBJECT

private slots:
    void eitherKind_data() {
        QTest::addColumn<bool>("kiss");
        QTest::newRow("AGW") << false;
        QTest::newRow("KISS TCP") << true;
    }

    void endsForGoodOnRemoteCloseWithoutReconnection_data() { eitherKind_data(); }
    void endsForGoodOnRemoteCloseWithoutReconnection() {
        QFETCH(bool, kiss);
        Rig rig(kiss);
        QVERIFY(rig.connectLink());
        // A frame sent just before the close still arrives.
        rig.peer->write(rig.wire(QByteArrayLiteral("\x00last")));
        rig.peer->disconnectFromHost();
        QTRY_VERIFY(rig.link->isClosed());
        QCOMPARE(rig.raw, QList<QByteArray>{QByteArrayLiteral("\x00last")});
        QCOMPARE(rig.status, QStringList{kLost});
        // Lost after it was made: closed, not refused, and no attempt is due.
        QCOMPARE(rig.link->phase(), TcpLink::Phase::Closed);
        QCOMPARE(rig.link->reconnectRemainingMs(), -1);
        QVERIFY(rig.noOtherAttemptWithinAnInterval(1));
    }

    void reconnectsRegistersAgainAndStartsANewStream_data() { eitherKind_data(); }
    void reconnectsRegistersAgainAndStartsANewStream() {
        QFETCH(bool, kiss);
        Rig rig(kiss);
        rig.link->setReconnectSeconds(1);
        QCOMPARE(rig.link->phase(), TcpLink::Phase::Closed); // not opened yet
        QVERIFY(rig.connectLink());
        QCOMPARE(rig.link->phase(), TcpLink::Phase::Connected);
        QCOMPARE(rig.link->peer(), QStringLiteral("127.0.0.1:%1").arg(rig.port));
        // The modem restarts one byte short of a frame's end, and is away for one attempt.
        rig.peer->write(rig.wire(QByteArrayLiteral("\x00unfinished frame")).chopped(1));
        rig.peer->disconnectFromHost();
        rig.server.close();
        // Read the phase and the next attempt as soon as the refusal is handled: a busy machine
        // may let the whole interval pass before the test looks otherwise.
        TcpLink::Phase phaseAfterRefusal = TcpLink::Phase::Closed;
        int dueAfterRefusal = -1;
        QObject::connect(
            rig.link.get(), &TcpLink::status, rig.link.get(),
            [&](const QString& text) {
                if (text != kRefused) return;
                phaseAfterRefusal = rig.link->phase();
                dueAfterRefusal = rig.link->reconnectRemainingMs();
            },
            Qt::QueuedConnection);
        const QString retry = QStringLiteral("%1 reconnecting to 127.0.0.1:%2").arg(rig.link->kindName()).arg(rig.port);
        QTRY_VERIFY_WITH_TIMEOUT(rig.status.size() >= 3, 3000);
        QCOMPARE(rig.status.mid(0, 3), QStringList({kLost, retry, kRefused}));
        QTRY_VERIFY(dueAfterRefusal != -1);
        QCOMPARE(phaseAfterRefusal, TcpLink::Phase::Refused);
        // Within the interval; a coarse timer may be set up to 5 % later than asked.
        QVERIFY2(dueAfterRefusal >= 0 && dueAfterRefusal <= 1050, qPrintable(QString::number(dueAfterRefusal)));
        rig.link->registerWithEngine(); // not connected: nothing is sent and nothing is logged
        QVERIFY(rig.server.listen(QHostAddress::LocalHost, rig.port));
        QTRY_COMPARE(rig.status.last(), rig.made());
        // A slow machine may see one more refusal before the modem is back; each is a pair.
        QStringList expected{kLost};
        while (expected.size() < rig.status.size() - 2)
            expected << retry << kRefused;
        QCOMPARE(rig.status, expected + QStringList({retry, rig.made()}));
        const qsizetype entriesWhenConnected = rig.status.size();
        // The half frame of the old connection is not joined to the new stream.
        rig.peer->write(rig.wire(QByteArrayLiteral("\x00new")));
        QTRY_COMPARE(rig.raw, QList<QByteArray>{QByteArrayLiteral("\x00new")});
        QCOMPARE(rig.heard.last(), rig.registration()); // nothing was kept back while reconnecting

        // Asked again over the open connection, the link registers again. Then our own close:
        // the connection got nothing else, and there is no error entry and no further attempt.
        rig.link->registerWithEngine();
        QTRY_COMPARE(rig.heard.last(), rig.registration() + rig.registration());
        rig.link->close();
        QCOMPARE(rig.link->phase(), TcpLink::Phase::Closed);
        QCOMPARE(rig.link->reconnectRemainingMs(), -1);
        QTRY_COMPARE(rig.peer->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(rig.heard.last(), rig.registration() + rig.registration());
        QCOMPARE(rig.status.size(), entriesWhenConnected);
        QVERIFY(rig.noOtherAttemptWithinAnInterval(2));
    }

    // Raw frames and port information are taken, other kinds passed over; first a byte at a
    // time, then several frames in one piece. An oversize header puts the stream out of step.
    // The engine's text may carry control bytes: they are shown, never sent to a terminal.
    void agwTakesFramesWhateverTheSegmentationUntilAnOversizeHeader() {
        Rig rig(false);
        QVERIFY(rig.connectLink());
        const QByteArray ax25 = QByteArray::fromHex("00A28260ACA49C60A28460ACA4A6E103F0") + QByteArray(40, 'x');
        test::trickle(*rig.peer, agwFrame('K', ax25) + agwFrame('G', {}) + agwFrame('y', QByteArray(10, 'x')) +
                                     agwFrame('K', QByteArray(1, '\0')) +
                                     agwFrame('G', "\x1b[2J\x07" + QByteArray(48, 'x')));
        QByteArray bad = agwFrame('K', {});
        bad[28] = 0x01; // dataLen 0x00010001, one byte past the limit
        bad[30] = 0x01;
        rig.peer->write(agwFrame('K', QByteArray(500, 'x')) + bad + agwFrame('K', QByteArrayLiteral("\x00lost")));
        QTRY_VERIFY(rig.link->isClosed());
        QCOMPARE(rig.raw, QList<QByteArray>({ax25, QByteArray(1, '\0'), QByteArray(500, 'x')}));
        QCOMPARE(rig.status, QStringList({"to", "total number of ports: \\x1b[2J\\x07" + QString(27, 'x'),
                                          "AGW protocol error: frame of 65537 data bytes announced; link closed"}));
    }

    // Commands (TX delay, leave KISS mode) are for senders; TNC port 1 sends data frames
    // too, FEND and FESC inside them travel escaped. A record too long is reported.
    void kissTakesDataFramesWhateverTheSegmentation() {
        Rig rig(true);
        QVERIFY(rig.connectLink());
        const QByteArray ax25 = '\0' + QByteArray::fromHex("A28260ACA49C60A28460ACA4A6E103F0") + QByteArray(40, 'x');
        const QByteArray longest = '\0' + QByteArray(511, 'Z'), tooLong = '\0' + QByteArray(512, 'y');
        const QByteArray stream = kFend + ax25 + kFend + "\x01\x20" + kFend + "\xFF" + kFend +
                                  "\x10\x01\xDB\xDC\x02\xDB\xDD\x03" + kFend + longest + kFend + tooLong + kFend +
                                  QByteArrayLiteral("\x00"
                                                    "after") +
                                  kFend;
        test::trickle(*rig.peer, stream.left(100));
        rig.peer->write(stream.mid(100));
        QTRY_COMPARE(rig.raw, QList<QByteArray>({ax25, "\x10\x01\xC0\x02\xDB\x03", longest,
                                                 QByteArrayLiteral("\x00"
                                                                   "after")}));
        QCOMPARE(rig.status, QStringList{QStringLiteral("KISS frame at byte %1 of the connection dropped: longer than "
                                                        "the frame buffer of 512")
                                             .arg(stream.indexOf(tooLong) - 1)});
        QVERIFY(!rig.link->isClosed());
    }
};

QTEST_GUILESS_MAIN(TcpLinkTest)
#include "tcp_link_test.moc"
