#include "app/StatusText.h"

#include "tests/app/AppTestSupport.h"

#include <QApplication>
#include <QFontMetricsF>

namespace quillon {
namespace {

class StatusTextTest : public ::testing::Test {
protected:
    StatusTextTest() : metrics(font()) {}
    static QFont font() {
        QFont f = QApplication::font();
        f.setPixelSize(11);
        return f;
    }
    QFontMetricsF metrics;
    static constexpr qreal width = 248;
};

TEST_F(StatusTextTest, LeavesTextThatFitsUnchanged) {
    const QString text = QStringLiteral("Cleared 1.5 MB\n52.3 GB available \u00b7 7 locations");
    EXPECT_EQ(fitLines(text, metrics, width, 2), text);
}

TEST_F(StatusTextTest, WrapsALongLineAtSpaces) {
    const QString text = QStringLiteral("Checking aaaaaaaaaa bbbbbbbbbb cccccccccc dddddddddd caches\u2026");
    ASSERT_GT(metrics.horizontalAdvance(text), width);
    const QStringList lines = fitLines(text, metrics, width, 2).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.join(QLatin1Char(' ')), text);
}

TEST_F(StatusTextTest, KeepsAtMostTwoLines) {
    const QString text = QStringLiteral("one\ntwo\nthree");
    EXPECT_EQ(fitLines(text, metrics, width, 2).count(QLatin1Char('\n')), 1);
}

TEST_F(StatusTextTest, EndsTextThatDoesNotFitWithAnEllipsis) {
    QString text;
    for (int i = 0; i < 40; ++i) text += QStringLiteral("word%1 ").arg(i);
    const QString fitted = fitLines(text.trimmed(), metrics, width, 2);
    EXPECT_TRUE(fitted.endsWith(QChar(0x2026))) << fitted.toStdString();
}

TEST_F(StatusTextTest, KeepsEveryLineWithinTheWidth) {
    QString text;
    for (int i = 0; i < 40; ++i) text += QStringLiteral("word%1 ").arg(i);
    text += QString(200, QLatin1Char('x'));
    for (const QString& line : fitLines(text, metrics, width, 2).split(QLatin1Char('\n')))
        EXPECT_LE(metrics.horizontalAdvance(line), width) << line.toStdString();
}

} // namespace
} // namespace quillon
