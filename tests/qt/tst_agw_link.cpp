// The link against a fake engine: a QTcpServer on the loopback address.

#include "intake/agw_link.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace varne4;

namespace {

QByteArray toBytes(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QByteArray frameBytes(char kind, const QByteArray& data) {
    agw::Frame frame;
    frame.kind = kind;
    frame.data.assign(data.begin(), data.end());
    return toBytes(agw::encode(frame));
}

QByteArray requestBytes(char kind) {
    const auto frame = agw::request(kind);
    return QByteArray(reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(frame.size()));
}

QByteArray letters(int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(static_cast<char>('a' + i % 26));
    return bytes;
}

QStringList texts(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& args : spy)
        out << args.at(0).toString();
    return out;
}

QTcpSocket* acceptClient(QTcpServer& server) {
    if (!QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000))
        return nullptr;
    return server.nextPendingConnection();
}

QByteArray readAtLeast(QTcpSocket* socket, qsizetype count) {
    QByteArray got;
    const bool complete = QTest::qWaitFor(
        [&] {
            got += socket->readAll();
            return got.size() >= count;
        },
        3000);
    return complete ? got : QByteArray();
}

} // namespace

class TestAgwLink : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void registersOnceWhenConnected();
    void deliversFramesWhateverTheSegmentation();
    void refusedConnectionIsOneErrorEntry();
    void remoteCloseWithoutReconnectionStaysClosed();
    void oversizeHeaderClosesTheLink();
    void reconnectsAndRegistersAgain();
    void liveEngine();

private:
    // Opens the link to the fake engine and takes the registration off the wire.
    QTcpSocket* connectLink();

    QTcpServer server_;
    quint16 port_ = 0;
    std::unique_ptr<AgwLink> link_;
    std::unique_ptr<QSignalSpy> status_;
    std::unique_ptr<QSignalSpy> raw_;
};

void TestAgwLink::init() {
    QVERIFY(server_.listen(QHostAddress::LocalHost, 0));
    port_ = server_.serverPort();
    link_ = std::make_unique<AgwLink>();
    status_ = std::make_unique<QSignalSpy>(link_.get(), &AgwLink::status);
    raw_ = std::make_unique<QSignalSpy>(link_.get(), &AgwLink::rawFrame);
}

void TestAgwLink::cleanup() {
    raw_.reset();
    status_.reset();
    link_.reset();
    server_.close();
}

QTcpSocket* TestAgwLink::connectLink() {
    link_->open(QStringLiteral("127.0.0.1"), port_);
    QTcpSocket* engine = acceptClient(server_);
    if (engine && readAtLeast(engine, 72) != requestBytes('G') + requestBytes('k'))
        return nullptr;
    if (!QTest::qWaitFor([&] { return link_->state() == QAbstractSocket::ConnectedState; }, 3000))
        return nullptr;
    return engine;
}

void TestAgwLink::registersOnceWhenConnected() {
    QSignalSpy stateSpy(link_.get(), &AgwLink::stateChanged);
    link_->open(QStringLiteral("127.0.0.1"), port_);
    // Still connecting: nothing is sent and nothing is logged.
    link_->registerWithEngine();
    QCOMPARE(texts(*status_), QStringList({QStringLiteral("Winsock RemoteHost: 127.0.0.1"),
                                           QStringLiteral("Winsock RemotePort: %1").arg(port_)}));

    QTcpSocket* engine = acceptClient(server_);
    QVERIFY(engine);
    QCOMPARE(readAtLeast(engine, 72), requestBytes('G') + requestBytes('k'));
    QTRY_COMPARE(status_->size(), 3);
    QCOMPARE(status_->at(2).at(0).toString(), QStringLiteral("AGW winsock connection made"));
    QCOMPARE(link_->state(), QAbstractSocket::ConnectedState);
    QVERIFY(stateSpy.size() >= 2); // connecting, connected
    QTest::qWait(50);
    QCOMPARE(engine->bytesAvailable(), 0);

    // Asking again sends both requests again over the open connection.
    link_->registerWithEngine();
    QCOMPARE(readAtLeast(engine, 72), requestBytes('G') + requestBytes('k'));
    QCOMPARE(status_->size(), 3);
}

void TestAgwLink::deliversFramesWhateverTheSegmentation() {
    QTcpSocket* engine = connectLink();
    QVERIFY(engine);
    status_->clear();

    const QByteArray ax25 = QByteArray::fromHex("00A28260ACA49C60A28460ACA4A6E103F0") + letters(40);
    const QByteArray stream = frameBytes('K', ax25) + frameBytes('G', {}) + frameBytes('y', letters(10)) +
                              frameBytes('K', QByteArray(1, '\0')) + frameBytes('G', letters(53)) +
                              frameBytes('S', {}) + frameBytes('G', letters(300)) + frameBytes('K', letters(500));
    const QList<QByteArray> wantRaw{ax25, QByteArray(1, '\0'), letters(500)};
    const QString prefix = QStringLiteral("total number of ports: ");
    const QStringList wantStatus{QStringLiteral("to"), prefix + QString::fromLatin1(letters(32)),
                                 prefix + QString::fromLatin1(letters(23))};

    // First in awkward pieces (inside headers, across frames), then all at once.
    const int pieces[] = {1, 3, 31, 2, 36, 37, 5, 100, 1, 70};
    qsizetype at = 0;
    for (int size : pieces) {
        engine->write(stream.mid(at, size));
        engine->flush();
        at += size;
        QTest::qWait(5);
    }
    engine->write(stream.mid(at));
    engine->write(stream);
    engine->flush();

    QTRY_COMPARE(raw_->size(), 2 * wantRaw.size());
    QTRY_COMPARE(status_->size(), 2 * wantStatus.size());
    QList<QByteArray> gotRaw;
    for (const auto& args : *raw_)
        gotRaw << args.at(0).toByteArray();
    QCOMPARE(gotRaw, wantRaw + wantRaw);
    QCOMPARE(texts(*status_), wantStatus + wantStatus);
}

void TestAgwLink::refusedConnectionIsOneErrorEntry() {
    server_.close(); // nobody listens on that port now
    link_->open(QStringLiteral("127.0.0.1"), port_);
    QTRY_COMPARE(status_->size(), 3);
    QCOMPARE(status_->at(2).at(0).toString(), QStringLiteral("Winsock Error \"0\" occured: Connection refused"));
    QCOMPARE(link_->state(), QAbstractSocket::UnconnectedState);
    QTest::qWait(200);
    QCOMPARE(status_->size(), 3);
}

void TestAgwLink::remoteCloseWithoutReconnectionStaysClosed() {
    QTcpSocket* engine = connectLink();
    QVERIFY(engine);
    status_->clear();
    // A frame just before the engine goes away still arrives.
    engine->write(frameBytes('K', QByteArrayLiteral("\x00last")));
    engine->disconnectFromHost();

    QTRY_VERIFY(link_->isClosed());
    QCOMPARE(raw_->size(), 1);
    QCOMPARE(raw_->at(0).at(0).toByteArray(), QByteArrayLiteral("\x00last"));
    QCOMPARE(texts(*status_),
             QStringList{QStringLiteral("Winsock Error \"1\" occured: The remote host closed the connection")});
    QTest::qWait(1300); // longer than the shortest reconnection interval
    QCOMPARE(status_->size(), 1);
    QVERIFY(!server_.hasPendingConnections());
    QVERIFY(link_->isClosed());
}

void TestAgwLink::oversizeHeaderClosesTheLink() {
    QTcpSocket* engine = connectLink();
    QVERIFY(engine);
    status_->clear();
    QByteArray bad = requestBytes('K');
    bad[28] = 0x01; // dataLen 0x00010001, one byte past the limit
    bad[30] = 0x01;
    engine->write(frameBytes('K', QByteArrayLiteral("\x00ok")) + bad + frameBytes('K', QByteArrayLiteral("\x00lost")));

    QTRY_VERIFY(link_->isClosed());
    QCOMPARE(raw_->size(), 1);
    QCOMPARE(raw_->at(0).at(0).toByteArray(), QByteArrayLiteral("\x00ok"));
    QCOMPARE(texts(*status_),
             QStringList{QStringLiteral("AGW protocol error: frame of 65537 data bytes announced; link closed")});
    QTRY_COMPARE(engine->state(), QAbstractSocket::UnconnectedState);
}

void TestAgwLink::reconnectsAndRegistersAgain() {
    link_->setReconnectSeconds(1);
    QTcpSocket* engine = connectLink();
    QVERIFY(engine);
    status_->clear();

    // The engine restarts: it drops us and is away for one attempt.
    engine->disconnectFromHost();
    server_.close();
    const QString lost = QStringLiteral("Winsock Error \"1\" occured: The remote host closed the connection");
    const QString retry = QStringLiteral("AGW reconnecting to 127.0.0.1:%1").arg(port_);
    const QString refused = QStringLiteral("Winsock Error \"0\" occured: Connection refused");
    QTRY_COMPARE_WITH_TIMEOUT(texts(*status_), QStringList({lost, retry, refused}), 3000);
    QVERIFY(server_.listen(QHostAddress::LocalHost, port_));

    QTcpSocket* again = acceptClient(server_);
    QVERIFY(again);
    QCOMPARE(readAtLeast(again, 72), requestBytes('G') + requestBytes('k'));
    QTRY_COMPARE(texts(*status_),
                 QStringList({lost, retry, refused, retry, QStringLiteral("AGW winsock connection made")}));
    again->write(frameBytes('K', QByteArrayLiteral("\x00new")));
    QTRY_COMPARE(raw_->size(), 1);
    QCOMPARE(raw_->at(0).at(0).toByteArray(), QByteArrayLiteral("\x00new"));

    // Our own close is final: no error entry, no further attempt.
    link_->close();
    QVERIFY(link_->isClosed());
    QTest::qWait(1300);
    QCOMPARE(status_->size(), 5);
    QVERIFY(!server_.hasPendingConnections());
}

void TestAgwLink::liveEngine() {
    // A real engine on this machine, given as host:port; prints what it reports.
    const QString endpoint = qEnvironmentVariable("VARNE4_AGW_LIVE");
    if (endpoint.isEmpty())
        QSKIP("set VARNE4_AGW_LIVE=host:port to try a running engine");
    const auto colon = endpoint.indexOf(u':');
    QVERIFY(colon > 0);
    link_->open(endpoint.left(colon), endpoint.mid(colon + 1).toUShort());
    QTRY_VERIFY_WITH_TIMEOUT(status_->size() >= 4, 5000);
    // Frames heard meanwhile, when the caller lets the engine hear some.
    QTest::qWait(qEnvironmentVariableIntValue("VARNE4_AGW_LIVE_WAIT_MS"));
    for (const QString& text : texts(*status_))
        qInfo().noquote() << "status:" << text;
    for (const auto& args : *raw_)
        qInfo().noquote() << "raw frame:" << args.at(0).toByteArray().toHex(' ').toUpper();
    QCOMPARE(status_->at(2).at(0).toString(), QStringLiteral("AGW winsock connection made"));
    QVERIFY(link_->state() == QAbstractSocket::ConnectedState);
}

QTEST_GUILESS_MAIN(TestAgwLink)
#include "tst_agw_link.moc"
