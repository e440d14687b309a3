// The upload queue against a small HTTP server of the test's own on 127.0.0.1.

#include "upload/upload_queue.h"

#include <QHash>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace varne4;

namespace {

struct Request {
    QByteArray method;
    QByteArray path;
    QList<QByteArray> headerLines;
    QByteArray body;
};

// Answers by path: /ok 200, /created 201, /auth 401, /missing 404 with a body of
// 1200 bytes, /silent never. Keeps connections open as HTTP/1.1 clients expect.
class FakeHttpServer : public QObject {
public:
    FakeHttpServer() {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { take(socket); });
        });
        listening_ = server_.listen(QHostAddress::LocalHost, 0);
    }
    bool listening() const { return listening_; }
    QString url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(QLatin1String(path));
    }
    QList<Request> requests;

private:
    void take(QTcpSocket* socket) {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        for (;;) {
            const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            QList<QByteArray> lines = buffer.left(headEnd).split('\n');
            for (QByteArray& line : lines)
                line = line.trimmed();
            const QList<QByteArray> requestLine = lines.takeFirst().split(' ');
            qsizetype length = 0;
            for (const QByteArray& line : lines)
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            if (buffer.size() < headEnd + 4 + length)
                return;
            Request r{requestLine.value(0), requestLine.value(1), lines, buffer.mid(headEnd + 4, length)};
            buffer.remove(0, headEnd + 4 + length);
            requests.append(r);
            answer(socket, r.path);
        }
    }

    static void answer(QTcpSocket* socket, const QByteArray& path) {
        if (path == "/ok")
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
        else if (path == "/created")
            socket->write("HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n");
        else if (path == "/auth")
            socket->write("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"station\"\r\n"
                          "Content-Length: 0\r\n\r\n");
        else if (path == "/missing")
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 1200\r\n\r\n" + QByteArray(1200, 'x'));
        // "/silent": no answer at all.
    }

    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    bool listening_ = false;
};

// Everything the queue reports, in the order it reported it.
struct Recorder {
    explicit Recorder(UploadQueue& q) {
        QObject::connect(&q, &UploadQueue::status, [this](const QString& t) { events << QStringLiteral("S:") + t; });
        QObject::connect(&q, &UploadQueue::statusRaw, [this](const QString& t) { events << QStringLiteral("R:") + t; });
        QObject::connect(&q, &UploadQueue::postOk, [this] { ++postOk; });
        QObject::connect(&q, &UploadQueue::responseCompleted, [this] { ++completed; });
        QObject::connect(&q, &UploadQueue::idle, [this] { ++idle; });
    }
    QStringList statusTexts() const {
        QStringList out;
        for (const QString& e : events)
            if (e.startsWith(QLatin1String("S:")))
                out << e.mid(2);
        return out;
    }
    QStringList events;
    int postOk = 0;
    int completed = 0;
    int idle = 0;
};

// A real event loop: QTRY_* sleeps between its passes, which would slow every transfer.
bool waitForIdle(UploadQueue& queue, int timeoutMs = 5000) {
    QSignalSpy spy(&queue, &UploadQueue::idle);
    return spy.wait(timeoutMs);
}

quint16 portWithNothingListening() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestUploadQueue : public QObject {
    Q_OBJECT
private slots:
    void everyBodyGoesToServerThenBackupUnchanged();
    void manyBodiesArriveInOrderWithNothingLost();
    void responsesAreJudgedByStatusCode_data();
    void responsesAreJudgedByStatusCode();
    void failureWithoutAnswerGivesErrorEntry_data();
    void failureWithoutAnswerGivesErrorEntry();
    void stateListShowsOnlyTheLatestFrame();
    void fullQueueDropsOldestWaitingBody();
    void cancelAllAbortsAndForgets();
};

void TestUploadQueue::everyBodyGoesToServerThenBackupUnchanged() {
    FakeHttpServer http;
    QVERIFY(http.listening());
    UploadQueue queue;
    Recorder rec(queue);
    queue.setServers(http.url("/ok"), http.url("/created"));

    // Bytes a form encoder would have escaped must arrive exactly as given.
    const std::string bodies[] = {"noradID=99931&frame=A2 82&latitude=52,5", std::string("x=\xC3\xA9&y=%20\r\n", 14),
                                  std::string()};
    for (const std::string& b : bodies)
        queue.enqueue(b);
    QVERIFY(queue.busy());
    QVERIFY(waitForIdle(queue));
    QCOMPARE(rec.idle, 1);
    QVERIFY(!queue.busy());

    QCOMPARE(http.requests.size(), 6);
    for (int i = 0; i < 6; ++i) {
        const Request& r = http.requests[i];
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.path, QByteArray(i % 2 == 0 ? "/ok" : "/created"));
        const std::string& sent = bodies[i / 2];
        QCOMPARE(r.body, QByteArray(sent.data(), static_cast<qsizetype>(sent.size())));
        QStringList contentTypes;
        for (const QByteArray& line : r.headerLines)
            if (line.toLower().startsWith("content-type:"))
                contentTypes << QString::fromLatin1(line);
        QCOMPARE(contentTypes, QStringList{QStringLiteral("Content-Type: application/x-www-form-urlencoded")});
    }
    // 200 and 201 both count.
    QCOMPARE(rec.postOk, 6);
    QCOMPARE(rec.completed, 6);
}

void TestUploadQueue::manyBodiesArriveInOrderWithNothingLost() {
    FakeHttpServer http;
    UploadQueue queue;
    Recorder rec(queue);
    queue.setServers(http.url("/ok"), http.url("/created"));
    constexpr int kBodies = 200;
    for (int i = 0; i < kBodies; ++i)
        queue.enqueue("frame=" + std::to_string(i));
    QVERIFY(waitForIdle(queue, 30000));
    QCOMPARE(rec.idle, 1);

    QCOMPARE(http.requests.size(), 2 * kBodies);
    for (int i = 0; i < 2 * kBodies; ++i)
        QCOMPARE(http.requests[i].body, QByteArray("frame=") + QByteArray::number(i / 2));
    QCOMPARE(rec.postOk, 2 * kBodies);
    QCOMPARE(queue.waiting(), std::size_t{0});
}

void TestUploadQueue::responsesAreJudgedByStatusCode_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("postOk");
    QTest::addColumn<QString>("headerStart");
    QTest::addColumn<bool>("warned");

    QTest::newRow("200 counts") << "/ok" << 1 << "HTTP/1.1 200 OK Content-Length: 2 " << false;
    QTest::newRow("201 counts") << "/created" << 1 << "HTTP/1.1 201 Created Content-Length: 0 " << false;
    QTest::newRow("404 with 1200 bytes does not")
        << "/missing" << 0 << "HTTP/1.1 404 Not Found Content-Length: 1200 " << false;
    QTest::newRow("401 warns") << "/auth" << 0 << "HTTP/1.1 401 Unauthorized WWW-Authenticate: " << true;
}

void TestUploadQueue::responsesAreJudgedByStatusCode() {
    QFETCH(QString, path);
    QFETCH(int, postOk);
    QFETCH(QString, headerStart);
    QFETCH(bool, warned);

    FakeHttpServer http;
    UploadQueue queue;
    Recorder rec(queue);
    queue.setServers(http.url(path.toLatin1().constData()), QString());
    queue.enqueue("noradID=99931");
    QVERIFY(waitForIdle(queue));
    QCOMPARE(rec.idle, 1);

    QCOMPARE(http.requests.size(), 1);
    QCOMPARE(rec.postOk, postOk);
    QCOMPARE(rec.completed, 1);
    const QStringList expectedStates{"icConnecting", "icRequesting", "icRequestSent", "icReceivingResponse",
                                     "icResponseReceived", "icResponseCompleted"};
    QCOMPARE(queue.states(), expectedStates);

    // The header entry, then (for a credentials demand) the raw warning, which so stands above it.
    QVERIFY2(rec.events.value(0).startsWith(QStringLiteral("S:") + headerStart), qPrintable(rec.events.value(0)));
    QVERIFY(!rec.events.value(0).contains(QLatin1Char('\r')) && !rec.events.value(0).contains(QLatin1Char('\n')));
    QStringList rest = rec.events.mid(1);
    QCOMPARE(rest, warned ? QStringList{"R:Access is denied. Try adding a Username and Password"} : QStringList{});
}

void TestUploadQueue::failureWithoutAnswerGivesErrorEntry_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("entryStart");

    QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:%1/x").arg(portWithNothingListening())
                             << " 0: Connection refused";
    QTest::newRow("no answer within the time-out") << "/silent" << " 0: Transfer timed out after 500 ms";
    QTest::newRow("empty server") << "" << " 0: no server address";
    QTest::newRow("malformed server") << "not a url" << " 0: invalid server address";
    QTest::newRow("not http") << "file:///tmp/x" << " 0: invalid server address";
}

void TestUploadQueue::failureWithoutAnswerGivesErrorEntry() {
    QFETCH(QString, server);
    QFETCH(QString, entryStart);

    FakeHttpServer http;
    UploadQueue queue;
    Recorder rec(queue);
    queue.setTimeoutMs(500);
    // The backup is still tried after the first transfer failed.
    queue.setServers(server.startsWith('/') ? http.url(server.toLatin1().constData()) : server, http.url("/ok"));
    queue.enqueue("b");
    QVERIFY(waitForIdle(queue, 10000));
    QCOMPARE(rec.idle, 1);

    QCOMPARE(rec.postOk, 1);
    QCOMPARE(rec.completed, 1);
    const QStringList status = rec.statusTexts();
    QCOMPARE(status.size(), 2);
    QVERIFY2(status[0].startsWith(entryStart), qPrintable(status[0]));
    QVERIFY(status[1].startsWith(QLatin1String("HTTP/1.1 200 OK")));
    const QStringList states = queue.states();
    const qsizetype error = states.indexOf(QStringLiteral("icError"));
    QVERIFY(error >= 0);
    QCOMPARE(states.count(QStringLiteral("icError")), 1);
    QCOMPARE(states.indexOf(QStringLiteral("icResponseCompleted")), states.size() - 1);
    QVERIFY(!states.mid(0, error).contains(QStringLiteral("icReceivingResponse")));
    QCOMPARE(http.requests.last().path, QByteArray("/ok"));
}

void TestUploadQueue::stateListShowsOnlyTheLatestFrame() {
    FakeHttpServer http;
    UploadQueue queue;
    int clears = 0;
    connect(&queue, &UploadQueue::statesChanged, this, [&] {
        if (queue.states().isEmpty())
            ++clears;
    });
    Recorder rec(queue);
    queue.setServers(http.url("/ok"), http.url("/missing"));
    queue.enqueue("first");
    queue.enqueue("second");
    QVERIFY(waitForIdle(queue));
    QCOMPARE(rec.idle, 1);

    QCOMPARE(clears, 2);
    const QStringList states = queue.states();
    QCOMPARE(states.count(QStringLiteral("icResponseCompleted")), 2);
    QCOMPARE(states.first(), QStringLiteral("icConnecting"));
    QCOMPARE(states.last(), QStringLiteral("icResponseCompleted"));
}

void TestUploadQueue::fullQueueDropsOldestWaitingBody() {
    FakeHttpServer http;
    UploadQueue queue;
    Recorder rec(queue);
    queue.setMaxQueued(3);
    queue.setServers(http.url("/ok"), QString());
    for (const char* b : {"b1", "b2", "b3", "b4", "b5"})
        queue.enqueue(b);
    QCOMPARE(queue.waiting(), std::size_t{3});
    QVERIFY(waitForIdle(queue));
    QCOMPARE(rec.idle, 1);

    QList<QByteArray> received;
    for (const Request& r : http.requests)
        received << r.body;
    QCOMPARE(received, (QList<QByteArray>{"b3", "b4", "b5"}));
    const QStringList drops = rec.statusTexts().filter(QStringLiteral("upload queue full"));
    QCOMPARE(drops.size(), 2);
}

void TestUploadQueue::cancelAllAbortsAndForgets() {
    FakeHttpServer http;
    UploadQueue queue;
    Recorder rec(queue);
    queue.setServers(http.url("/silent"), http.url("/ok"));
    queue.enqueue("stuck");
    queue.enqueue("waiting");
    QTRY_COMPARE(http.requests.size(), 1);
    queue.cancelAll();
    QVERIFY(!queue.busy());
    QCOMPARE(rec.idle, 1);

    // Nothing of the cancelled work goes out later; new work still does.
    queue.setServers(http.url("/ok"), QString());
    queue.enqueue("after");
    QVERIFY(waitForIdle(queue));
    QCOMPARE(rec.idle, 2);
    QCOMPARE(http.requests.size(), 2);
    QCOMPARE(http.requests.last().body, QByteArray("after"));
    QCOMPARE(rec.postOk, 1);
}

QTEST_GUILESS_MAIN(TestUploadQueue)
#include "tst_upload_queue.moc"
