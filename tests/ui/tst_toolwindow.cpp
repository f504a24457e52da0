#include "KTitleWidget.h"
#include "KToolWindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A window whose close() may refuse, like a main window asking first.
class RefusingWindow : public KToolWindow
{
public:
    bool allow = false;
    int requests = 0;
    void close() override
    {
        ++requests;
        if (allow)
            KToolWindow::close();
    }
};

// Global positions are given explicitly: the window moves while the test drags it.
void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, global - widget->window()->pos() - widget->mapTo(widget->window(), {}),
                      global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Shown with the size and moved to pos, once the window system has done both.
bool showAt(QWidget &window, const QSize &size, const QPoint &pos)
{
    window.setFixedSize(size);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    window.move(pos);
    return QTest::qWaitFor([&]() { return window.pos() == pos; }, 5000);
}

} // namespace

class TestToolWindow : public QObject
{
    Q_OBJECT

private slots:
    void centredPosition_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("parent");
        QTest::addColumn<QPoint>("expected");

        const QRect screen(0, 0, 1920, 1050);
        QTest::newRow("odd sizes divide down")
            << QSize(351, 203) << QRect(0, 0, 1281, 1001) << QRect() << QPoint(465, 399);
        QTest::newRow("parent partly off screen")
            << QSize(300, 100) << screen << QRect(-400, -20, 600, 400) << QPoint(-250, 130);
        QTest::newRow("taller than the screen, with parent")
            << QSize(300, 1400) << screen << QRect(100, 50, 1280, 720) << QPoint(120, 65);
        QTest::newRow("tall, below a panel")
            << QSize(200, 900) << QRect(0, 30, 1600, 870) << QRect() << QPoint(100, 84);
    }

    void centredPosition()
    {
        QFETCH(QSize, window);
        QFETCH(QRect, available);
        QFETCH(QRect, parent);
        QFETCH(QPoint, expected);
        QCOMPARE(KToolWindow::centredPosition(window, available, parent), expected);
    }

    void showCentresOverTheParent()
    {
        KToolWindow parent;
        QVERIFY(showAt(parent, QSize(800, 600), QPoint(130, 70)));

        KToolWindow *child = new KToolWindow(&parent);
        child->setFixedSize(301, 151);
        child->show();
        QVERIFY(QTest::qWaitForWindowExposed(child));
        QCOMPARE(child->pos(), QPoint(130 + 400 - 150, 70 + 300 - 75));

        // Owned by a pane on the window's right: still over the middle of the whole window.
        auto *pane = new QWidget(&parent);
        pane->setGeometry(500, 0, 300, 600);
        pane->show();
        KToolWindow *owned = new KToolWindow(pane);
        owned->setFixedSize(301, 151);
        owned->show();
        QVERIFY(QTest::qWaitForWindowExposed(owned));
        QCOMPARE(owned->pos(), child->pos());
    }

    void everyCloseGoesThroughClose()
    {
        RefusingWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The close button, QWidget::close() and a window-system close all ask close().
        QTest::mouseClick(window.closeButton(), Qt::LeftButton);
        static_cast<QWidget &>(window).close();
        QCloseEvent systemClose;
        QApplication::sendEvent(&window, &systemClose);
        QCOMPARE(window.requests, 3);
        QVERIFY(window.isVisible());

        window.allow = true;
        QSignalSpy closed(&window, &KToolWindow::closed);
        QTest::mouseClick(window.closeButton(), Qt::LeftButton);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!window.isVisible());
    }

    void dragMovesTheWindow()
    {
        KToolWindow window;
        QVERIFY(showAt(window, QSize(300, 200), QPoint(200, 150)));

        KTitleWidget *title = window.titleWidget();
        const QPoint grab(60, 10);
        const QPoint start = QPoint(200, 150) + title->mapTo(&window, grab);
        sendMouse(title, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        // The move keeps the grabbed point under the mouse.
        sendMouse(title, QEvent::MouseMove, start + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
        QTRY_COMPARE(window.pos(), QPoint(230, 170));
        sendMouse(title, QEvent::MouseButtonRelease, start + QPoint(30, 20), Qt::LeftButton,
                  Qt::NoButton);

        // Without a pressed button, moving the mouse over the bar moves nothing.
        sendMouse(title, QEvent::MouseMove, start + QPoint(40, 40), Qt::NoButton, Qt::NoButton);
        QCOMPARE(window.pos(), QPoint(230, 170));
    }
};

QTEST_MAIN(TestToolWindow)
#include "tst_toolwindow.moc"
