#include "KTitleWidget.h"
#include "KToolWindow.h"

#include <QApplication>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QVBoxLayout>
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

QRect available()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// Global positions are given explicitly: the window moves while the test drags it.
void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    const QPoint local = global - widget->window()->pos() - widget->mapTo(widget->window(), {});
    QMouseEvent event(type, local, global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestToolWindow : public QObject
{
    Q_OBJECT

private slots:
    void structure();
    void contentGoesBelowTheTitleBar();
    void titleBarButtons();
    void centredPosition_data();
    void centredPosition();
    void showCentresOnTheScreen();
    void showCentresOverTheParent();
    void tallerThanTheScreen();
    void closeEmitsClosed();
    void everyCloseGoesThroughClose();
    void dragMovesTheWindow();
};

void TestToolWindow::structure()
{
    KToolWindow window;
    QVERIFY(window.windowFlags() & Qt::Window);
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(window.windowModality(), Qt::WindowModal);
    QCOMPARE(window.frameWidget()->objectName(), QStringLiteral("frameWidget"));
    QCOMPARE(window.titleWidget()->objectName(), QStringLiteral("titleWidget"));
    QVERIFY(window.titleWidget()->styleSheet().startsWith(
        QLatin1String("#titleWidget{background-color: white; border-bottom: 1px solid #")));
    QCOMPARE(window.titleWidget()->titleLabel()->objectName(), QStringLiteral("titleLabel_S"));
    QPushButton *close = window.closeButton();
    QCOMPARE(close->objectName(), QStringLiteral("closeButton"));
    QCOMPARE(close->size(), QSize(20, 20));
    QCOMPARE(close->minimumSize(), QSize(20, 20));
    QCOMPARE(close->maximumSize(), QSize(20, 20));
    QCOMPARE(close->toolTip(), QStringLiteral("Закрыть"));
    QCOMPARE(window.findChildren<QPushButton *>(QStringLiteral("closeButton")).size(), 1);

    window.setTitle(QStringLiteral("Настройки"));
    QCOMPARE(window.title(), QStringLiteral("Настройки"));
    QCOMPARE(window.titleWidget()->titleLabel()->text(), QStringLiteral("Настройки"));
}

void TestToolWindow::contentGoesBelowTheTitleBar()
{
    KToolWindow window;
    auto *layout = new QVBoxLayout;
    auto *content = new QPushButton(QStringLiteral("Вход"));
    content->setFixedSize(200, 120);
    layout->addWidget(content);
    window.setContentLayout(layout);
    QCOMPARE(window.contentWidget()->layout(), layout);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QRect title(window.titleWidget()->mapTo(&window, QPoint(0, 0)),
                      window.titleWidget()->size());
    const QRect body(content->mapTo(&window, QPoint(0, 0)), content->size());
    QVERIFY(title.bottom() < body.top());
    // The bar is as tall as its contents: nothing in it is cut off.
    QVERIFY(window.titleWidget()->rect().contains(window.closeButton()->geometry()));
    QVERIFY(window.titleWidget()->height() >= window.titleWidget()->minimumSizeHint().height());
    QVERIFY(window.titleWidget()->titleLabel()->height() >=
            window.titleWidget()->titleLabel()->sizeHint().height());
    QVERIFY(window.width() >= window.sizeHint().width());
    QVERIFY(window.height() >= window.sizeHint().height());
    QVERIFY(window.rect().contains(body));
    QVERIFY(window.frameWidget()->isAncestorOf(content));

    window.setTitleBarVisible(false);
    QVERIFY(!window.isTitleBarVisible());
    QVERIFY(window.titleWidget()->isHidden());
    window.setTitleBarVisible(true);
    QVERIFY(window.isTitleBarVisible());
}

void TestToolWindow::titleBarButtons()
{
    KToolWindow window;
    QPushButton *minimize = window.titleWidget()->addButton(QStringLiteral("minimizeButton"),
                                                            QStringLiteral("Свернуть"));
    QPushButton *maximize = window.titleWidget()->addButton(QStringLiteral("maximizeButton"),
                                                            QStringLiteral("Развернуть"));
    QCOMPARE(minimize->size(), QSize(20, 20));
    QCOMPARE(maximize->toolTip(), QStringLiteral("Развернуть"));
    window.setCloseButtonVisible(false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.closeButton()->isHidden());
    QVERIFY(minimize->isVisible());
    // Added buttons sit left to right in order, right of the title text.
    QVERIFY(minimize->x() < maximize->x());
    QVERIFY(window.titleWidget()->titleLabel()->x() < minimize->x());
    window.setCloseButtonVisible(true);
    QVERIFY(window.closeButton()->isVisible());
    QVERIFY(maximize->x() < window.closeButton()->x());
}

void TestToolWindow::centredPosition_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("parent");
    QTest::addColumn<QPoint>("expected");

    const QRect screen(0, 0, 1920, 1050);
    QTest::newRow("no parent") << QSize(350, 201) << screen << QRect() << QPoint(785, 425);
    QTest::newRow("odd sizes divide down")
        << QSize(351, 203) << QRect(0, 0, 1281, 1001) << QRect() << QPoint(465, 399);
    QTest::newRow("over the parent")
        << QSize(300, 100) << screen << QRect(100, 50, 1280, 720) << QPoint(590, 360);
    QTest::newRow("parent partly off screen")
        << QSize(300, 100) << screen << QRect(-400, -20, 600, 400) << QPoint(-250, 130);
    QTest::newRow("as tall as the screen")
        << QSize(300, 1050) << screen << QRect() << QPoint(120, 65);
    QTest::newRow("taller than the screen, with parent")
        << QSize(300, 1400) << screen << QRect(100, 50, 1280, 720) << QPoint(120, 65);
    QTest::newRow("available area below a panel")
        << QSize(200, 100) << QRect(0, 30, 1600, 870) << QRect() << QPoint(700, 415);
    QTest::newRow("tall, below a panel")
        << QSize(200, 900) << QRect(0, 30, 1600, 870) << QRect() << QPoint(100, 84);
}

void TestToolWindow::centredPosition()
{
    QFETCH(QSize, window);
    QFETCH(QRect, available);
    QFETCH(QRect, parent);
    QFETCH(QPoint, expected);
    QCOMPARE(KToolWindow::centredPosition(window, available, parent), expected);
}

void TestToolWindow::showCentresOnTheScreen()
{
    KToolWindow window;
    window.setFixedSize(351, 203);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect area = available();
    QCOMPARE(window.pos(),
             QPoint(area.x() + area.width() / 2 - 351 / 2, area.y() + area.height() / 2 - 203 / 2));
}

void TestToolWindow::showCentresOverTheParent()
{
    KToolWindow parent;
    parent.setFixedSize(800, 600);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    parent.move(130, 70);
    QTRY_COMPARE(parent.pos(), QPoint(130, 70));

    auto *child = new KToolWindow(&parent);
    child->setFixedSize(301, 151);
    child->show();
    QVERIFY(QTest::qWaitForWindowExposed(child));
    QCOMPARE(child->pos(), QPoint(130 + 400 - 150, 70 + 300 - 75));
    // Window-modal: the parent takes no input while the child is up.
    QVERIFY(QApplication::activeModalWidget() == child);
}

void TestToolWindow::tallerThanTheScreen()
{
    const QRect area = available();
    KToolWindow window;
    window.setFixedSize(400, area.height() + 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.pos(), QPoint(area.x() + area.width() / 16, area.y() + area.height() / 16));

    KToolWindow parent;
    parent.show();
    auto *child = new KToolWindow(&parent);
    child->setFixedSize(400, area.height());
    child->show();
    QVERIFY(QTest::qWaitForWindowExposed(child));
    QCOMPARE(child->pos(), QPoint(area.x() + area.width() / 16, area.y() + area.height() / 16));
}

void TestToolWindow::closeEmitsClosed()
{
    KToolWindow window;
    QSignalSpy closed(&window, &KToolWindow::closed);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.closeButton(), Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!window.isVisible());

    window.show();
    window.close();
    QCOMPARE(closed.count(), 2);
    QVERIFY(!window.isVisible());
}

void TestToolWindow::everyCloseGoesThroughClose()
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
    static_cast<QWidget &>(window).close();
    QCOMPARE(window.requests, 4);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!window.isVisible());
}

void TestToolWindow::dragMovesTheWindow()
{
    KToolWindow window;
    window.setFixedSize(300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.move(200, 150);
    QTRY_COMPARE(window.pos(), QPoint(200, 150));

    KTitleWidget *title = window.titleWidget();
    QSignalSpy moved(title, &KTitleWidget::moved);
    const QPoint grab(60, 10);
    const QPoint start = QPoint(200, 150) + title->mapTo(&window, grab);
    sendMouse(title, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(title->pressPosition(), grab);
    // Each move step keeps the grabbed point under the mouse.
    sendMouse(title, QEvent::MouseMove, start + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(moved.count(), 1);
    QTRY_COMPARE(window.pos(), QPoint(230, 170));
    sendMouse(title, QEvent::MouseMove, start + QPoint(-50, 5), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(moved.count(), 2);
    QTRY_COMPARE(window.pos(), QPoint(150, 155));
    sendMouse(title, QEvent::MouseButtonRelease, start + QPoint(-50, 5), Qt::LeftButton,
              Qt::NoButton);

    // Without a pressed button, moving the mouse over the bar moves nothing.
    sendMouse(title, QEvent::MouseMove, start + QPoint(40, 40), Qt::NoButton, Qt::NoButton);
    QCOMPARE(moved.count(), 2);
    QCOMPARE(window.pos(), QPoint(150, 155));
}

QTEST_MAIN(TestToolWindow)
#include "tst_toolwindow.moc"
