// The loopback telemetry server on raw byte streams: split, pipelined or broken.
// (Real uploads through Qt's HTTP client reach it in the station's tests.)

#include "sim/telemetry_sink.h"

#include <QSignalSpy>
#include <QtTest>

#include "support/qt_support.h"

using namespace varne4;
using test::SocketPeer;

namespace {

QByteArray post(const QByteArray& path, const QByteArray& body, const QByteArray& extraHeaders = {}) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
           extraHeaders + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray kCreated = "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n";

} // namespace

class TelemetrySinkTest : public QObject {
    Q_OBJECT

private slots:
    void keepsSplitAndPipelinedUploadsIntact() {
        TelemetrySink sink;
        QVERIFY(sink.listen());
        sink.setKeptBodies(2);
        QSignalSpy spy(&sink, &TelemetrySink::bodyReceived);
        static const char oddBytes[] = "odd & = % + \r\n\r\n characters\0with a NUL";
        const QByteArray odd(oddBytes, sizeof oddBytes - 1), large(500000, 'x');
        const QByteArray stream = post("/a", "first") + "\r\n" + post("/b", odd) + post("/c", large);
        // A byte at a time through the first request's header, the sink reading each; the rest in one write.
        SocketPeer client(sink.port());
        test::trickle(client.socket, stream.left(60));
        client.socket.write(stream.mid(60));
        QTRY_COMPARE(client.got, kCreated.repeated(3));
        QCOMPARE(spy.size(), 3);
        QCOMPARE(spy.at(0), (QVariantList{QByteArray("/a"), QByteArray("first")}));
        QCOMPARE(spy.at(1), (QVariantList{QByteArray("/b"), odd}));
        QCOMPARE(spy.at(2).at(1).toByteArray(), large);
        // The connection stays open for the next upload; only the newest bodies are kept.
        client.socket.write(post("/d", "later"));
        QTRY_COMPARE(client.got, kCreated.repeated(4));
        QVERIFY(!client.closed());
        QCOMPARE(sink.received(), quint64{4});
        QCOMPARE(sink.lastBodies(), (QList<QByteArray>{large, "later"}));
    }

    void brokenRequestsAreRefused_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<bool>("closes");
        const QByteArray head = "POST / HTTP/1.1\r\n";
        QTest::newRow("not http") << QByteArray("GARBAGE\r\n\r\n") << QByteArray("400") << true;
        QTest::newRow("endless header") << head + "X: " + QByteArray(20000, 'a') << QByteArray("431") << true;
        QTest::newRow("body too large") << head + "Content-Length: 2000000\r\n\r\n" << QByteArray("413") << true;
        QTest::newRow("negative length") << head + "Content-Length: -5\r\n\r\nabc" << QByteArray("400") << true;
        QTest::newRow("two lengths") << head + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd" << QByteArray("400")
                                     << true;
        QTest::newRow("chunked") << head + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"
                                 << QByteArray("411") << true;
        QTest::newRow("not a post") << QByteArray("GET /telemetry HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("405")
                                    << false;
        QTest::newRow("close requested") << post("/", "abc", "Connection: close\r\n") << QByteArray("201") << true;
    }

    void brokenRequestsAreRefused() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, status);
        QFETCH(bool, closes);
        TelemetrySink sink;
        QVERIFY(sink.listen());
        const quint64 counted = status == "201";
        SocketPeer client(sink.port(), bytes);
        QTRY_VERIFY(client.got.contains("\r\n\r\n"));
        QVERIFY2(client.got.startsWith(QByteArray("HTTP/1.1 " + status + " ")), client.got.constData());
        // Neither that nor a request cut off by the client's going away stops good uploads.
        SocketPeer quitter(sink.port(), "POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nonly some");
        quitter.socket.abort();
        SocketPeer good(sink.port(), post("/telemetry", "fine"));
        QTRY_COMPARE(good.got, kCreated);
        QCOMPARE(sink.received(), counted + 1);
        // By the later answer the first connection is long closed, or still open as it should be.
        QTRY_COMPARE(sink.connectionCount(), closes ? 1 : 2);
        QTRY_COMPARE(client.closed(), closes);
    }
};

QTEST_GUILESS_MAIN(TelemetrySinkTest)
#include "telemetry_sink_test.moc"
