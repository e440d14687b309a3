// The upload queue against a small HTTP server of the test's own on 127.0.0.1.

#include "upload/upload_queue.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace varne4;

namespace {

// Answers by path; "/silent" never answers. "/cut" and "/stalled" send a good status, then
// the answer stops: the connection closes, or nothing more comes.
const QHash<QByteArray, QByteArray> kAnswers{
    {"/ok", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"},
    {"/created", "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n"},
    {"/auth", "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"s\"\r\nContent-Length: 0\r\n\r\n"},
    {"/missing", "HTTP/1.1 404 Not Found\r\nContent-Length: 1200\r\n\r\n" + QByteArray(1200, 'x')},
    {"/bad", "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n"},
    {"/proxy", "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\nContent-Length: 0\r\n\r\n"},
    {"/cut", "HTTP/1.1 200 OK\r\nContent-Length: 64\r\n\r\n0123456789"},
    {"/stalled", "HTTP/1.1 200 OK\r\nContent-Length: 64\r\n\r\n0123456789"}};

struct Request {
    QByteArray path, head, body; // head: request line and header lines, each ending in CR LF
};

// A queue, a small HTTP server of the test's own for it (keeping connections open as
// HTTP/1.1 clients expect), and everything the queue reports in the order it reported it.
struct Rig {
    Rig(const QString& server, const QString& backup) {
        QObject::connect(&http, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = http.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { take(socket); });
        });
        http.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&queue, &UploadQueue::status, [this](const QString& t) { events << t; });
        QObject::connect(&queue, &UploadQueue::statusRaw, [this](const QString& t) { events << "raw: " + t; });
        QObject::connect(&queue, &UploadQueue::postOk, [this] { ++postOk; });
        QObject::connect(&queue, &UploadQueue::idle, [this] { ++idle; });
        queue.setTimeoutMs(500);
        queue.setServers(url(server), url(backup));
    }
    QString url(const QString& path) const {
        return path.startsWith('/') ? QStringLiteral("http://127.0.0.1:%1%2").arg(http.serverPort()).arg(path) : path;
    }
    void take(QTcpSocket* socket) {
        static const QRegularExpression kLength("\ncontent-length: *(\\d+)", QRegularExpression::CaseInsensitiveOption);
        QByteArray& buffer = buffers[socket];
        buffer += socket->readAll();
        for (qsizetype headEnd; (headEnd = buffer.indexOf("\r\n\r\n")) >= 0;) {
            const QByteArray head = buffer.left(headEnd + 2);
            const qsizetype length = kLength.match(QString::fromLatin1(head)).captured(1).toLongLong();
            if (buffer.size() < headEnd + 4 + length) return;
            const QList<QByteArray> requestLine = head.left(head.indexOf('\r')).split(' ');
            QVERIFY(requestLine.value(0) == "POST");
            requests.append({requestLine.value(1), head, buffer.mid(headEnd + 4, length)});
            buffer.remove(0, headEnd + 4 + length);
            socket->write(kAnswers.value(requests.last().path));
            if (requests.last().path == "/cut") socket->disconnectFromHost();
        }
    }
    // A real event loop: QTRY_* sleeps between its passes, which would slow every transfer.
    bool runToIdle(int timeoutMs = 5000) {
        const int before = idle;
        return QSignalSpy(&queue, &UploadQueue::idle).wait(timeoutMs) && idle == before + 1;
    }
    QList<QByteArray> bodies() const {
        QList<QByteArray> out;
        for (const Request& r : requests)
            out << r.body;
        return out;
    }
    QTcpServer http;
    QHash<QTcpSocket*, QByteArray> buffers;
    QList<Request> requests;
    UploadQueue queue;
    QStringList events;
    int postOk = 0, idle = 0;
};

} // namespace

class UploadQueueTest : public QObject {
    Q_OBJECT

private slots:
    void everyBodyGoesToServerThenBackupInOrderUnchanged() {
        Rig rig("/ok", "/created");
        // Bytes a form encoder would have escaped must arrive exactly as given.
        QList<QByteArray> sent{
            "noradID=99931&frame=A2 82&latitude=52,5", QByteArray("x=\xC3\xA9&y=%20\r\n\0z", 14), {}};
        for (int i = 0; i < 100; ++i)
            sent << "frame=" + QByteArray::number(i);
        for (const QByteArray& b : sent)
            rig.queue.enqueue(b.toStdString());
        QVERIFY(rig.runToIdle(30000));

        QCOMPARE(rig.requests.size(), 2 * sent.size());
        for (int i = 0; i < rig.requests.size(); ++i) {
            const Request& r = rig.requests[i];
            QCOMPARE(r.path, QByteArray(i % 2 == 0 ? "/ok" : "/created"));
            QCOMPARE(r.body, sent[i / 2]);
            QCOMPARE(r.head.toLower().count("\ncontent-type:"), 1);
            QVERIFY(r.head.contains("\nContent-Type: application/x-www-form-urlencoded\r\n"));
        }
    }

    void everyOutcomeIsJudgedAndLogged_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("postOk");
        QTest::addColumn<QString>("entryStart");
        QTest::addColumn<bool>("warned");

        QTest::newRow("200 counts") << "/ok" << 1 << "HTTP/1.1 200 OK Content-Length: 2 " << false;
        QTest::newRow("201 counts") << "/created" << 1 << "HTTP/1.1 201 Created Content-Length: 0 " << false;
        QTest::newRow("404 with 1200 bytes does not")
            << "/missing" << 0 << "HTTP/1.1 404 Not Found Content-Length: 1200 " << false;
        QTest::newRow("401 warns") << "/auth" << 0 << "HTTP/1.1 401 Unauthorized WWW-Authenticate: " << true;
        // Qt files these under errors of the protocol and of a proxy; they are answers all the same.
        QTest::newRow("400 is an answer") << "/bad" << 0 << "HTTP/1.1 400 Bad Request Content-Length: 0 " << false;
        QTest::newRow("407 warns") << "/proxy" << 0
                                   << "HTTP/1.1 407 Proxy Authentication Required Proxy-Authenticate: " << true;
        // Without an answer the backup ("/ok") is still tried.
        QTcpServer probe; // a port with nothing listening
        probe.listen(QHostAddress::LocalHost, 0);
        QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:%1/x").arg(probe.serverPort()) << 1
                                 << " 0: Connection refused" << false;
        QTest::newRow("no answer within the time-out")
            << "/silent" << 1 << " 0: Transfer timed out after 500 ms" << false;
        QTest::newRow("answer cut off after its status") << "/cut" << 1 << " 0: Connection closed" << false;
        QTest::newRow("answer stalled after its status")
            << "/stalled" << 1 << " 0: Transfer timed out after 500 ms" << false;
        QTest::newRow("empty server") << "" << 1 << " 0: no server address" << false;
        QTest::newRow("not http") << "file:///tmp/x" << 1 << " 0: invalid server address" << false;
    }

    void everyOutcomeIsJudgedAndLogged() {
        QFETCH(QString, server);
        QFETCH(int, postOk);
        QFETCH(QString, entryStart);
        QFETCH(bool, warned);

        const bool answered = entryStart.startsWith(QLatin1String("HTTP"));
        Rig rig(server, answered ? QString() : QStringLiteral("/ok"));
        rig.queue.enqueue("noradID=99931");
        QVERIFY(rig.runToIdle(10000));
        QCOMPARE(rig.postOk, postOk);
        // The first entry on one line; a credentials demand adds the raw warning; a failure, the backup's header.
        QVERIFY2(rig.events.value(0).startsWith(entryStart), qPrintable(rig.events.value(0)));
        QCOMPARE(rig.events.size(), 1 + int(warned || !answered));
        QVERIFY(!warned || rig.events.value(1) == "raw: Access is denied. Try adding a Username and Password");
        // A transfer with an answer runs through all states; a failure ends in one error, reached without a
        // response. A cut-off answer may have shown its status arriving; it still ends in one error.
        const QStringList done{"icConnecting",        "icRequesting",       "icRequestSent",
                               "icReceivingResponse", "icResponseReceived", "icResponseCompleted"};
        const QStringList states = rig.queue.states(), failed = states.mid(0, states.size() - done.size());
        QCOMPARE(states.mid(failed.size()), done);
        QVERIFY(answered ? failed.isEmpty() : failed.count("icError") == 1 && failed.last() == "icError");
    }

    void fullQueueDropsOldestWaitingBody() {
        Rig rig("/ok", {});
        rig.queue.setMaxQueued(3);
        for (const char* b : {"b1", "b2", "b3", "b4", "b5"})
            rig.queue.enqueue(b);
        QVERIFY(rig.runToIdle());
        QCOMPARE(rig.bodies(), (QList<QByteArray>{"b3", "b4", "b5"}));
        QCOMPARE(rig.events.filter("upload queue full").size(), 2);
    }

    void cancelAllAbortsAndForgets() {
        Rig rig("/silent", "/ok");
        rig.queue.setTimeoutMs(60000);
        rig.queue.enqueue("stuck");
        rig.queue.enqueue("waiting");
        QTRY_COMPARE(rig.requests.size(), 1);
        rig.queue.cancelAll();
        QVERIFY(!rig.queue.busy());
        QCOMPARE(rig.idle, 1);
        // What did not go out is said, once; an idle queue has nothing to say.
        QCOMPARE(rig.events, QStringList{"uploads cancelled: 2 frame(s) not sent to both servers"});
        rig.queue.cancelAll();
        QCOMPARE(rig.events.size(), 1);

        // Nothing of the cancelled work goes out later; new work still does.
        rig.queue.setServers(rig.url("/ok"), QString());
        rig.queue.enqueue("after");
        QVERIFY(rig.runToIdle());
        QCOMPARE(rig.bodies(), (QList<QByteArray>{"stuck", "after"}));
    }
};

QTEST_GUILESS_MAIN(UploadQueueTest)
#include "upload_queue_test.moc"
