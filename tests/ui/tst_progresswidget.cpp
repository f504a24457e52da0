#include "KProgressWidget.h"

#include <QLabel>
#include <QtTest>

static QImage shown(const KProgressWidget &widget)
{
    return widget.pictureLabel()
        ->pixmap(Qt::ReturnByValue)
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

static QImage picture(int frame)
{
    return QImage(frame ? QStringLiteral(":/progress%1.png").arg(frame)
                        : QStringLiteral(":/progress.png"))
        .convertToFormat(QImage::Format_ARGB32);
}

class TestProgressWidget : public QObject
{
    Q_OBJECT

private slots:
    void framesRunOneToSevenShared()
    {
        KProgressWidget first;
        KProgressWidget second;
        QCOMPARE(shown(first), picture(0));
        // Ticks of either widget advance the one process-wide frame number.
        int expected = KProgressWidget::frame();
        for (int tick = 0; tick < 16; ++tick) {
            KProgressWidget &widget = tick % 2 ? second : first;
            widget.update();
            expected = expected % 7 + 1;
            QCOMPARE(KProgressWidget::frame(), expected);
            QCOMPARE(shown(widget), picture(expected));
        }
        // The other widget keeps its picture until its own tick.
        QVERIFY(shown(first) != shown(second));
    }

    void animationTicksAndStops()
    {
        KProgressWidget widget;
        widget.setAnimated(true);
        const int before = KProgressWidget::frame();
        QTRY_VERIFY_WITH_TIMEOUT(KProgressWidget::frame() != before, 5000);
        widget.setAnimated(false);
        QCOMPARE(shown(widget), picture(0));
        const int stopped = KProgressWidget::frame();
        QTest::qWait(350);
        QCOMPARE(KProgressWidget::frame(), stopped);
    }
};

QTEST_MAIN(TestProgressWidget)
#include "tst_progresswidget.moc"
