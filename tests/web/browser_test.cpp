// The page in a real browser: headless Chromium, driven over its DevTools protocol,
// loads the web view of a station fed known frames, runs the page's self-test
// (/?selftest) and reports what it found. The protocol rather than --dump-dom:
// under --virtual-time-budget the page's clock stands still inside every task, so
// the cost of a panel update would read as zero; here it runs in real time, and the
// console, the bytes loaded and a phone's width can be looked at too.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include "sim/sample_recording.h"
#include "support/web_support.h"

using namespace varne4;
using namespace varne4::test;

namespace {

QString chromiumPath() {
    const QString given = qEnvironmentVariable("VARNE4_CHROMIUM");
    if (!given.isEmpty()) return given;
    for (const char* name : {"chromium", "chromium-browser", "google-chrome"})
        if (const QString path = QStandardPaths::findExecutable(QLatin1String(name)); !path.isEmpty()) return path;
    return {};
}

// One headless browser and a session on one page of it.
class Browser {
public:
    explicit Browser(const QString& program) {
        process_.setProgram(program);
        process_.setArguments({"--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                               "--no-first-run", "--disable-background-networking", "--disable-component-update",
                               "--disable-sync", "--remote-debugging-port=0", "--remote-debugging-address=127.0.0.1",
                               "--user-data-dir=" + profile_.path(), "--window-size=1280,900", "about:blank"});
        QObject::connect(&process_, &QProcess::readyReadStandardError,
                         [this] { errors_ += process_.readAllStandardError(); });
        QObject::connect(&socket_, &QWebSocket::textMessageReceived, [this](const QString& text) {
            const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
            if (m.contains("id"))
                answers_.insert(m["id"].toInt(), m);
            else
                events_.append(m);
        });
        process_.start();
    }
    ~Browser() {
        if (socket_.isValid()) call("Browser.close", {}, false);
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    // Connects to the browser and opens a page: empty on success, else what failed.
    QString open() {
        static const QRegularExpression listening(QStringLiteral("DevTools listening on (ws://\\S+)"));
        QRegularExpressionMatch m;
        if (!QTest::qWaitFor([&] { return (m = listening.match(QString::fromUtf8(errors_))).hasMatch(); }, 30000))
            return QStringLiteral("no DevTools endpoint: ") + QString::fromUtf8(errors_.right(2000));
        socket_.open(QUrl(m.captured(1)));
        if (!QTest::qWaitFor([&] { return socket_.state() == QAbstractSocket::ConnectedState; }, 10000))
            return QStringLiteral("cannot connect to ") + m.captured(1);
        const QString target = call("Target.createTarget", {{"url", "about:blank"}})["targetId"].toString();
        session_ = call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}})["sessionId"].toString();
        if (session_.isEmpty()) return QStringLiteral("no page session");
        for (const char* domain : {"Runtime.enable", "Log.enable", "Page.enable", "Network.enable"})
            call(QLatin1String(domain));
        return {};
    }

    // The result of a method, or an empty object after 15 s.
    QJsonObject call(const QString& method, const QJsonObject& params = {}, bool onPage = true) {
        const int id = ++nextId_;
        QJsonObject m{{"id", id}, {"method", method}, {"params", params}};
        if (onPage && !session_.isEmpty()) m.insert("sessionId", session_);
        socket_.sendTextMessage(QString::fromUtf8(QJsonDocument(m).toJson(QJsonDocument::Compact)));
        if (!QTest::qWaitFor([&] { return answers_.contains(id); }, 15000)) return {};
        return answers_.take(id)["result"].toObject();
    }

    QJsonValue evaluate(const QString& expression) {
        return call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}})["result"]
            .toObject()["value"];
    }
    bool waitFor(const QString& expression, int ms) {
        return QTest::qWaitFor([&] { return evaluate(expression).toBool(); }, ms);
    }

    // Script errors, console errors and what the browser refused or could not load.
    QStringList problems() const {
        QStringList found;
        for (const QJsonObject& e : events_) {
            const QString method = e["method"].toString();
            const QJsonObject p = e["params"].toObject();
            if (method == "Runtime.exceptionThrown")
                found << "exception: " + p["exceptionDetails"].toObject()["text"].toString();
            else if (method == "Runtime.consoleAPICalled" && (p["type"] == "error" || p["type"] == "assert"))
                found << "console: " + QString::fromUtf8(QJsonDocument(p["args"].toArray()).toJson());
            else if (method == "Log.entryAdded" && p["entry"].toObject()["level"] == "error")
                found << "log: " + p["entry"].toObject()["text"].toString();
        }
        return found;
    }
    // Bytes that came over the network for the page so far (as sent: headers and coded bodies).
    qint64 bytesLoaded() const {
        double sum = 0;
        for (const QJsonObject& e : events_)
            if (e["method"] == "Network.loadingFinished") sum += e["params"].toObject()["encodedDataLength"].toDouble();
        return static_cast<qint64>(sum);
    }
    void forgetEvents() { events_.clear(); }

private:
    QTemporaryDir profile_;
    QProcess process_;
    QWebSocket socket_;
    QByteArray errors_;
    QString session_;
    int nextId_ = 0;
    QHash<int, QJsonObject> answers_;
    QList<QJsonObject> events_;
};

ByteVector housekeeping(std::uint8_t chargeA) {
    return withPortByte(makeHousekeepingFrame({.uptime = 93784, .chargeA = chargeA}));
}

} // namespace

class BrowserTest : public QObject {
    Q_OBJECT
private slots:
    void thePageShowsTheStationAndPassesItsSelfTest() {
        const QString program = chromiumPath();
        if (program.isEmpty()) QSKIP("chromium is not installed (apt-get install chromium): the page is not tested");

        WebRig web;
        QVERIFY(web.server);
        Station& station = web.rig.station;
        for (std::uint8_t v : {40, 41, 42, 43})
            station.takeLiveFrame(housekeeping(v));
        station.takeLiveFrame(withPortByte(makeMemoryCheckFrame({1, 2, 3, 4, 5, 6})));
        station.takeLiveFrame(withPortByte(makeMessageFrame("hello <b>from</b> orbit & co")));
        station.log("Winsock Error \"1\" occured: a known error line");

        Browser browser(program);
        const QString opened = browser.open();
        QVERIFY2(opened.isEmpty(), qPrintable(opened));
        const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(web.port);

        // The first load as anyone would see it: every byte the page pulls in.
        browser.call("Page.navigate", {{"url", base}});
        QVERIFY(browser.waitFor("document.getElementById('log').children.length > 0 && "
                                "document.querySelectorAll('#uploads tbody tr').length === 2",
                                15000));
        QTest::qWait(300);
        const qint64 firstLoad = browser.bytesLoaded();
        qInfo("first load of the page: %lld bytes", firstLoad);
        QVERIFY2(firstLoad > 0 && firstLoad < 200 * 1024, qPrintable(QString::number(firstLoad)));
        // Data is text, never markup.
        QCOMPARE(browser.evaluate("document.querySelector('#messages li').textContent").toString(),
                 QStringLiteral("hello <b>from</b> orbit & co"));
        QCOMPARE(browser.evaluate("document.querySelectorAll('#messages b').length").toInt(), 0);

        // A new frame shows by itself, without a reload; the time it took is printed, not judged here.
        station.takeLiveFrame(housekeeping(99));
        QElapsedTimer shown;
        shown.start();
        QVERIFY(browser.waitFor("document.querySelector('[data-slot=\"5\"] .text').textContent === '99'", 10000));
        qInfo("a new frame was on the page after %lld ms", shown.elapsed());

        // A phone's width: nothing wider than the screen.
        const QJsonObject phone{{"width", 390}, {"height", 844}, {"deviceScaleFactor", 1}, {"mobile", true}};
        browser.call("Emulation.setDeviceMetricsOverride", phone);
        QTest::qWait(300);
        const int scrollWidth = browser.evaluate("document.documentElement.scrollWidth").toInt();
        QVERIFY2(scrollWidth <= 390, qPrintable(QString::number(scrollWidth)));
        browser.call("Emulation.clearDeviceMetricsOverride");

        // The page's own checks against the API.
        browser.call("Page.navigate", {{"url", QString(base + "?selftest")}});
        QVERIFY(browser.waitFor("(document.getElementById('selftest') || {}).textContent.includes('SELFTEST DONE')",
                                30000));
        const QString report = browser.evaluate("document.getElementById('selftest').textContent").toString();
        qInfo("%s", qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral(" fail=0")), qPrintable(report));
        for (const char* check :
             {"PASS panel values", "PASS memory check", "PASS chart follows a click", "FIGURE panel update cost",
              "PASS log filter", "PASS uploads", "PASS no script errors or refused resources"})
            QVERIFY2(report.contains(QLatin1String(check)), check);

        const QStringList problems = browser.problems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }
};

QTEST_GUILESS_MAIN(BrowserTest)
#include "browser_test.moc"
