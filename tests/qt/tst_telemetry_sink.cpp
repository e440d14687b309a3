// The loopback telemetry server on raw byte streams: split, pipelined or broken.
// (Real uploads through Qt's HTTP client reach it in the demo's end-to-end test.)

#include "sim/telemetry_sink.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

using namespace varne4;

namespace {

QByteArray post(const QByteArray& path, const QByteArray& body, const QByteArray& extraHeaders = {}) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
           extraHeaders + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray kCreated = "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n";

// A client on a raw socket that sends `bytes` and collects everything the sink answers.
struct Client {
    Client(quint16 port, const QByteArray& bytes) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { answer += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(3000);
        socket.write(bytes);
        socket.flush();
    }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
    QTcpSocket socket;
    QByteArray answer;
};

} // namespace

class TestTelemetrySink : public QObject {
    Q_OBJECT

private slots:
    void keepsSplitAndPipelinedUploadsIntact();
    void brokenRequestsAreRefused_data();
    void brokenRequestsAreRefused();
};

void TestTelemetrySink::keepsSplitAndPipelinedUploadsIntact() {
    TelemetrySink sink;
    QVERIFY(sink.listen());
    sink.setKeptBodies(2);
    QSignalSpy spy(&sink, &TelemetrySink::bodyReceived);
    static const char oddBytes[] = "odd & = % + \r\n\r\n characters\0with a NUL";
    const QByteArray odd(oddBytes, sizeof oddBytes - 1), large(500000, 'x');
    const QByteArray stream = post("/a", "first") + "\r\n" + post("/b", odd) + post("/c", large);
    // A byte at a time through the first request's header, the rest in one write.
    Client client(sink.port(), {});
    for (qsizetype i = 0; i < 60; ++i) {
        client.socket.write(stream.mid(i, 1));
        client.socket.flush();
        QTest::qWait(1);
    }
    client.socket.write(stream.mid(60));
    QTRY_COMPARE(client.answer, kCreated.repeated(3));
    QCOMPARE(spy.size(), 3);
    QCOMPARE(spy.at(0), (QVariantList{QByteArray("/a"), QByteArray("first")}));
    QCOMPARE(spy.at(1), (QVariantList{QByteArray("/b"), odd}));
    QCOMPARE(spy.at(2).at(1).toByteArray(), large);
    // The connection stays open for the next upload; only the newest bodies are kept.
    client.socket.write(post("/d", "later"));
    QTRY_COMPARE(client.answer, kCreated.repeated(4));
    QVERIFY(!client.closed());
    QCOMPARE(sink.received(), quint64{4});
    QCOMPARE(sink.lastBodies(), (QList<QByteArray>{large, "later"}));
}

void TestTelemetrySink::brokenRequestsAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("closes");

    const QByteArray postHead = "POST / HTTP/1.1\r\n";
    QTest::newRow("not http") << QByteArray("GARBAGE\r\n\r\n") << QByteArray("400") << true;
    QTest::newRow("endless header") << postHead + "X: " + QByteArray(20000, 'a') << QByteArray("431") << true;
    QTest::newRow("body too large") << postHead + "Content-Length: 2000000\r\n\r\n" << QByteArray("413") << true;
    QTest::newRow("negative length") << postHead + "Content-Length: -5\r\n\r\nabc" << QByteArray("400") << true;
    QTest::newRow("two lengths") << postHead + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd" << QByteArray("400") << true;
    QTest::newRow("chunked") << postHead + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n" << QByteArray("411") << true;
    QTest::newRow("not a post") << QByteArray("GET /telemetry HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("405") << false;
    QTest::newRow("close requested") << post("/", "abc", "Connection: close\r\n") << QByteArray("201") << true;
}

void TestTelemetrySink::brokenRequestsAreRefused() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, status);
    QFETCH(bool, closes);
    TelemetrySink sink;
    QVERIFY(sink.listen());
    const quint64 counted = status == "201";

    Client client(sink.port(), bytes);
    QTRY_VERIFY(client.answer.contains("\r\n\r\n"));
    QVERIFY2(client.answer.startsWith(QByteArray("HTTP/1.1 " + status + " ")), client.answer.constData());
    QTest::qWait(50);
    QTRY_COMPARE(client.closed(), closes);
    QCOMPARE(sink.received(), counted);
    // Neither that nor a request cut off by the client's going away stops good uploads.
    Client quitter(sink.port(), "POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nonly part");
    quitter.socket.abort();
    Client good(sink.port(), post("/telemetry", "fine"));
    QTRY_COMPARE(good.answer, kCreated);
    QCOMPARE(sink.received(), counted + 1);
    QTRY_COMPARE(sink.connectionCount(), closes ? 1 : 2);
}

QTEST_GUILESS_MAIN(TestTelemetrySink)
#include "tst_telemetry_sink.moc"
