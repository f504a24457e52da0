#include "KProgressWidget.h"

#include <QLabel>
#include <QtTest>

namespace {

QImage shown(const KProgressWidget &widget)
{
    return widget.pictureLabel()
        ->pixmap(Qt::ReturnByValue)
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

QImage picture(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestProgressWidget : public QObject
{
    Q_OBJECT

private slots:
    void framesRunOneToSevenShared();
    void animationTicksAndStops();
};

void TestProgressWidget::framesRunOneToSevenShared()
{
    KProgressWidget first;
    KProgressWidget second;
    QCOMPARE(shown(first), picture(QStringLiteral(":/progress.png")));
    // Ticks of either widget advance the one process-wide frame number.
    int expected = KProgressWidget::frame();
    for (int tick = 0; tick < 16; ++tick) {
        KProgressWidget &widget = tick % 2 ? second : first;
        widget.update();
        expected = expected % 7 + 1;
        QCOMPARE(KProgressWidget::frame(), expected);
        QCOMPARE(shown(widget), picture(QStringLiteral(":/progress%1.png").arg(expected)));
    }
    // The other widget keeps its picture until its own tick.
    QVERIFY(shown(first) != shown(second));
}

void TestProgressWidget::animationTicksAndStops()
{
    KProgressWidget widget;
    widget.setAnimated(true);
    const int before = KProgressWidget::frame();
    QTRY_VERIFY_WITH_TIMEOUT(KProgressWidget::frame() != before, 5000);
    widget.setAnimated(false);
    QCOMPARE(shown(widget), picture(QStringLiteral(":/progress.png")));
    const int stopped = KProgressWidget::frame();
    QTest::qWait(350);
    QCOMPARE(KProgressWidget::frame(), stopped);
}

QTEST_MAIN(TestProgressWidget)
#include "tst_progresswidget.moc"
