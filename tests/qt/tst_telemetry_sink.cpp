// The loopback telemetry server: real uploads through Qt's HTTP client, and raw
// byte streams that are split, pipelined or broken.

#include "upload/telemetry_sink.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using namespace varne4;

namespace {

QByteArray post(const QByteArray& path, const QByteArray& body, const QByteArray& extraHeaders = {}) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
           extraHeaders + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// A client on a raw socket that collects everything the sink answers.
struct RawClient {
    explicit RawClient(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { answer += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        connected = socket.waitForConnected(3000);
    }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    int responses() const { return static_cast<int>(answer.count("HTTP/1.1 ")); }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }

    QTcpSocket socket;
    QByteArray answer;
    bool connected = false;
};

} // namespace

class TestTelemetrySink : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void uploadsAreAnsweredCreatedAndKeptIntact();
    void keepAliveWithSplitAndPipelinedRequests();
    void brokenRequestsAreRefused_data();
    void brokenRequestsAreRefused();

private:
    std::unique_ptr<TelemetrySink> sink_;
};

void TestTelemetrySink::init() {
    sink_ = std::make_unique<TelemetrySink>();
    QVERIFY(sink_->listen());
    QVERIFY(sink_->port() != 0);
}

void TestTelemetrySink::cleanup() { sink_.reset(); }

void TestTelemetrySink::uploadsAreAnsweredCreatedAndKeptIntact() {
    QSignalSpy spy(sink_.get(), &TelemetrySink::bodyReceived);
    QByteArray large;
    for (int i = 0; i < 300000; ++i) large.append(static_cast<char>(i * 7 % 256));
    const QList<QByteArray> bodies{
        QByteArrayLiteral("noradID=99931&source=DEMO&frame=A2 82 60&tncPort=0"),
        QByteArray(),
        QByteArrayLiteral("odd & = % + \r\n\r\n characters\0with a NUL"),
        large,
    };
    QNetworkAccessManager manager;
    QList<QNetworkReply*> replies;
    for (const auto& body : bodies) {
        for (const char* path : {"/telemetry", "/backup"}) {
            QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(sink_->port()).arg(QLatin1String(path))));
            request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
            replies << manager.post(request, body);
        }
    }
    for (QNetworkReply* reply : replies) {
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);
        reply->deleteLater();
    }
    QCOMPARE(sink_->received(), quint64(2 * bodies.size()));
    QCOMPARE(spy.size(), 2 * bodies.size());
    // Qt's client may run requests in parallel connections; compare as sets per path.
    QMultiMap<QByteArray, QByteArray> got;
    for (const auto& args : spy) got.insert(args.at(0).toByteArray(), args.at(1).toByteArray());
    for (const char* path : {"/telemetry", "/backup"}) {
        auto values = got.values(path);
        auto want = bodies;
        std::sort(values.begin(), values.end());
        std::sort(want.begin(), want.end());
        QCOMPARE(values, want);
    }
}

void TestTelemetrySink::keepAliveWithSplitAndPipelinedRequests() {
    sink_->setKeptBodies(2);
    QSignalSpy spy(sink_.get(), &TelemetrySink::bodyReceived);
    RawClient client(sink_->port());
    QVERIFY(client.connected);
    const QByteArray stream = post("/a", "first") + "\r\n" + post("/b", "second") + post("/c", QByteArray(5000, 'x'));

    // A byte at a time through the first request, the rest in one write.
    for (qsizetype i = 0; i < 60; ++i) {
        client.send(stream.mid(i, 1));
        QTest::qWait(1);
    }
    client.send(stream.mid(60));
    QTRY_COMPARE(client.responses(), 3);
    QCOMPARE(client.answer, QByteArray("HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n").repeated(3));
    QCOMPARE(spy.size(), 3);
    QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("/a"));
    QCOMPARE(spy.at(0).at(1).toByteArray(), QByteArray("first"));
    QCOMPARE(spy.at(1).at(1).toByteArray(), QByteArray("second"));
    QCOMPARE(spy.at(2).at(1).toByteArray(), QByteArray(5000, 'x'));
    QTest::qWait(50);
    QVERIFY(!client.closed());

    // The same connection takes another request later on.
    client.send(post("/d", "later"));
    QTRY_COMPARE(client.responses(), 4);
    QCOMPARE(sink_->received(), quint64{4});
    QCOMPARE(sink_->lastBodies(), (QList<QByteArray>{QByteArray(5000, 'x'), "later"}));
}

void TestTelemetrySink::brokenRequestsAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("counted");

    QTest::newRow("not http") << QByteArray("GARBAGE\r\n\r\n") << QByteArray("400") << true << 0;
    QTest::newRow("header without colon") << QByteArray("POST / HTTP/1.1\r\nbroken\r\n\r\n") << QByteArray("400")
                                          << true << 0;
    QTest::newRow("endless header") << "POST / HTTP/1.1\r\nX: " + QByteArray(20000, 'a') << QByteArray("431") << true
                                    << 0;
    QTest::newRow("body too large") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n")
                                    << QByteArray("413") << true << 0;
    QTest::newRow("negative length") << QByteArray("POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\nabc")
                                     << QByteArray("400") << true << 0;
    QTest::newRow("two lengths") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd")
                                 << QByteArray("400") << true << 0;
    QTest::newRow("chunked") << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n")
                             << QByteArray("411") << true << 0;
    QTest::newRow("other version") << QByteArray("POST / HTTP/2.0\r\nContent-Length: 0\r\n\r\n") << QByteArray("505")
                                   << true << 0;
    QTest::newRow("not a post") << QByteArray("GET /telemetry HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("405") << false
                                << 0;
    QTest::newRow("close requested") << post("/", "abc", "Connection: close\r\n") << QByteArray("201") << true << 1;
}

void TestTelemetrySink::brokenRequestsAreRefused() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, status);
    QFETCH(bool, closes);
    QFETCH(int, counted);

    RawClient client(sink_->port());
    QVERIFY(client.connected);
    client.send(bytes);
    QTRY_VERIFY(client.answer.contains("\r\n\r\n"));
    QVERIFY2(client.answer.startsWith("HTTP/1.1 " + status + " "), client.answer.constData());
    if (closes) {
        QTRY_VERIFY(client.closed());
    } else {
        QTest::qWait(50);
        QVERIFY(!client.closed());
    }
    QCOMPARE(sink_->received(), quint64(counted));

    // A request cut off by the client's going away is not counted either.
    RawClient quitter(sink_->port());
    QVERIFY(quitter.connected);
    quitter.send("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nonly part");
    quitter.socket.abort();

    // Whatever came before, the sink still takes good uploads.
    RawClient good(sink_->port());
    QVERIFY(good.connected);
    good.send(post("/telemetry", "fine"));
    QTRY_COMPARE(good.responses(), 1);
    QVERIFY(good.answer.startsWith("HTTP/1.1 201 Created\r\n"));
    QCOMPARE(sink_->received(), quint64(counted + 1));
    QTRY_COMPARE(sink_->connectionCount(), closes ? 1 : 2);
}

QTEST_GUILESS_MAIN(TestTelemetrySink)
#include "tst_telemetry_sink.moc"
