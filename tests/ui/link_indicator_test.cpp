// The link indicator's words, and that they fit the one-line space of Label3.

#include <QLabel>
#include <QTextDocument>
#include <QtTest>

#include "ui/link_indicator.h"
#include "ui/twips.h"

using namespace varne4;
using Phase = varne4::TcpLink::Phase;

class LinkIndicatorTest : public QObject {
    Q_OBJECT
private slots:
    void captionSaysProtocolAndState() {
        const struct {
            const char* kind;
            Phase phase;
            int retryMs;
            QString caption;
        } rows[] = {
            {"AGW", Phase::Connected, -1, "AGW connected"},
            {"KISS", Phase::Connecting, -1, "KISS connecting"},
            {"AGW", Phase::Refused, 7000, "AGW refused \u2014 retry in 7 s"},
            {"AGW", Phase::Refused, 6001, "AGW refused \u2014 retry in 7 s"}, // whole seconds, counted down
            {"AGW", Phase::Refused, 1, "AGW refused \u2014 retry in 1 s"},
            {"AGW", Phase::Refused, -1, "AGW refused"}, // no reconnection
            {"KISS", Phase::Closed, 86400000, "KISS closed \u2014 retry in 86400 s"},
            {"AGW", Phase::Closed, -1, "AGW closed"},
            {"AGW", Phase::Connected, 3000, "AGW connected"}, // a timer left over says nothing
        };
        for (const auto& r : rows)
            QCOMPARE(ui::linkCaption(QLatin1String(r.kind), r.phase, r.retryMs), r.caption);
    }

    // Every caption shows whole in Label3's 1335 x 255 twips: on one line, or on two set close.
    void everyCaptionFitsTheLabel() {
        QLabel label;
        label.setGeometry(ui::twipsRect(480, 120, 1335, 255));
        const QFont font = label.font();
        for (const char* kind : {"AGW", "KISS"})
            for (Phase phase : {Phase::Connected, Phase::Connecting, Phase::Refused, Phase::Closed})
                for (int retryMs : {-1, 7000, 86400000}) {
                    const QString caption = ui::linkCaption(QLatin1String(kind), phase, retryMs);
                    ui::showLinkCaption(&label, caption, font);
                    QCOMPARE(label.accessibleName(), caption);
                    QVERIFY(label.font().pointSizeF() >= 6.0);
                    QTextDocument drawn;
                    drawn.setDefaultFont(label.font());
                    drawn.setDocumentMargin(0);
                    if (label.textFormat() == Qt::RichText)
                        drawn.setHtml(label.text());
                    else
                        drawn.setPlainText(label.text());
                    QCOMPARE(drawn.toPlainText().simplified(), caption);
                    const QSizeF size(drawn.idealWidth(), drawn.size().height());
                    QVERIFY2(
                        size.width() <= label.width() && size.height() <= label.height(),
                        qPrintable(QStringLiteral("%1: %2 x %3").arg(caption).arg(size.width()).arg(size.height())));
                }
    }

    void toolTipSaysWhereAndWhenLastHeard() {
        const DateTime now{2026, 12, 5, 3, 36, 34, 678};
        QCOMPARE(ui::linkToolTip(QStringLiteral("AGW"), QStringLiteral("127.0.0.1:8000"), std::nullopt, now),
                 QStringLiteral("AGW link to 127.0.0.1:8000\nno frame received yet"));
        QCOMPARE(ui::linkToolTip(QStringLiteral("KISS"), QStringLiteral("tnc.local:8001"),
                                 DateTime{2026, 12, 5, 1, 16, 30, 999}, now),
                 QStringLiteral("KISS link to tnc.local:8001\nlast frame 2026-12-05 01:16:30 UTC, 2 h 20 min ago"));
        const std::pair<std::int64_t, const char*> ages[] = {{-5, "0 s"},       {0, "0 s"},       {59, "59 s"},
                                                             {60, "1 min"},     {3599, "59 min"}, {3600, "1 h 0 min"},
                                                             {90061, "1 d 1 h"}};
        for (const auto& [seconds, text] : ages)
            QCOMPARE(ui::agoText(seconds), QLatin1String(text));
    }
};

QTEST_MAIN(LinkIndicatorTest)
#include "link_indicator_test.moc"
