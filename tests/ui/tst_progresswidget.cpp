#include "KProgressWidget.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
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
    void structure();
    void framesRunOneToSevenShared();
    void animationTicksAndStops();
    void pictureVisibility();
};

void TestProgressWidget::structure()
{
    KProgressWidget widget(QStringLiteral("Подключение к БД..."));
    QCOMPARE(widget.objectName(), QStringLiteral("progressWidget"));
    QCOMPARE(widget.styleSheet(), QStringLiteral("#progressWidget{border: 0px;}"));
    QCOMPARE(widget.frameShape(), QFrame::Box);
    QCOMPARE(widget.text(), QStringLiteral("Подключение к БД..."));
    QCOMPARE(widget.textLabel()->objectName(), QStringLiteral("titleLabel_S"));
    QCOMPARE(widget.textLabel()->alignment(), Qt::AlignCenter);
    QCOMPARE(widget.pictureLabel()->size(), QSize(35, 35));
    QCOMPARE(widget.pictureLabel()->minimumSize(), QSize(35, 35));
    QCOMPARE(widget.pictureLabel()->maximumSize(), QSize(35, 35));
    QCOMPARE(shown(widget), picture(QStringLiteral(":/progress.png")));
    QVERIFY(!widget.isAnimated());

    // Text above the picture, both centred in a tall page.
    widget.resize(400, 300);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QVERIFY(widget.textLabel()->geometry().bottom() + 20 <= widget.pictureLabel()->y());
    QCOMPARE(widget.pictureLabel()->geometry().center().x(), widget.rect().center().x());
    widget.setText(QStringLiteral("Завершение работы..."));
    QCOMPARE(widget.textLabel()->text(), QStringLiteral("Завершение работы..."));
}

void TestProgressWidget::framesRunOneToSevenShared()
{
    KProgressWidget first;
    KProgressWidget second;
    const int start = KProgressWidget::frame();
    QVERIFY(start >= 0 && start <= 7);
    // Ticks of either widget advance the one process-wide frame number.
    int expected = start;
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
    QTimer *timer = widget.findChild<QTimer *>();
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 100);

    widget.setAnimated(true);
    QVERIFY(widget.isAnimated());
    const int before = KProgressWidget::frame();
    QTRY_VERIFY_WITH_TIMEOUT(KProgressWidget::frame() != before, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(shown(widget) != picture(QStringLiteral(":/progress.png")), 5000);

    widget.setAnimated(false);
    QVERIFY(!widget.isAnimated());
    QCOMPARE(shown(widget), picture(QStringLiteral(":/progress.png")));
    const int stopped = KProgressWidget::frame();
    QTest::qWait(350);
    QCOMPARE(KProgressWidget::frame(), stopped);
}

void TestProgressWidget::pictureVisibility()
{
    KProgressWidget widget(QStringLiteral("Объект в/н не выбран"));
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QVERIFY(widget.isPictureVisible());
    widget.setPictureVisible(false);
    QVERIFY(!widget.isPictureVisible());
    QVERIFY(!widget.pictureLabel()->isVisible());
    QVERIFY(widget.textLabel()->isVisible());
    widget.setPictureVisible(true);
    QVERIFY(widget.pictureLabel()->isVisible());
}

QTEST_MAIN(TestProgressWidget)
#include "tst_progresswidget.moc"
