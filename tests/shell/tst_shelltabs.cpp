// The tab area: one tab of each kind, the placeholder, the context menu, shortcuts, the waiting
// texts of the online and archive tabs, the download tab's rules, and the current object.
#include "KArchiveVideoPlayerWidget.h"
#include "KArchiveVideoWidget.h"
#include "KCentralTabWidget.h"
#include "KCentralWidget.h"
#include "KMainWidget.h"
#include "KObjectHandler.h"
#include "KObjectListWidget.h"
#include "KOnlineVideoPlayerWidget.h"
#include "KOnlineVideoWidget.h"
#include "KProgressWidget.h"
#include "KSettings.h"
#include "KShellTestSupport.h"
#include "KStyleSheet.h"
#include "KUnavailableSectionWidget.h"

#include <QLabel>
#include <QMenu>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace KShellTest;

namespace {

// A tab area whose download tab can be told that a download is running.
class KBusyDownloadCentralWidget : public KCentralWidget
{
public:
    using KCentralWidget::KCentralWidget;
    bool downloading = false;

protected:
    bool isDownloadInProgress(QWidget *downloadTab) const override
    {
        return downloading && qobject_cast<KDownloadStandInWidget *>(downloadTab);
    }
};

KObjectData objectRecord(int id, const QString &name, int type)
{
    KObjectData record;
    record.id = id;
    record.name = name;
    record.group.id = 0;
    record.group.name = QStringLiteral("DVR");
    record.host = QStringLiteral("127.0.0.1");
    record.recorder.type = type;
    return record;
}

QStringList labelTexts(QWidget *widget)
{
    QStringList texts;
    for (QLabel *label : widget->findChildren<QLabel *>())
        texts << label->text();
    return texts;
}

} // namespace

class tst_ShellTabs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void toolButtonTwiceOpensOneTab_data();
    void toolButtonTwiceOpensOneTab();
    void shortcutsOpenAndCloseTabs();
    void clockFollowsTime();
    void lastClosedTabShowsPlaceholder();
    void contextMenuCloses_data();
    void contextMenuCloses();
    void waitingTexts();
    void downloadTabRules();
    void currentObjectFollowsChoice();
};

void tst_ShellTabs::initTestCase()
{
    KStyleSheet::install();
    QVERIFY(KSettings::instance());
}

void tst_ShellTabs::toolButtonTwiceOpensOneTab_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("title");
    QTest::newRow("online") << 0 << QStringLiteral("Онлайн-трансляция");
    QTest::newRow("archive") << 1 << QStringLiteral("Просмотр видеоархива");
    QTest::newRow("download") << 2 << QStringLiteral("Загрузка видеоархива");
    QTest::newRow("player") << 3 << QStringLiteral("Видеоплеер");
}

void tst_ShellTabs::toolButtonTwiceOpensOneTab()
{
    QFETCH(int, button);
    QFETCH(QString, title);
    KMainWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    KCentralTabWidget *tabs = window.centralWidget()->tabWidget();
    QVERIFY(window.centralWidget()->isPlaceholderShown());

    const QList<QToolButton *> buttons = window.toolButtons();
    QCOMPARE(buttons.size(), 5);
    QTest::mouseClick(buttons.at(button), Qt::LeftButton);
    QCOMPARE(tabs->count(), 1);
    QCOMPARE(tabs->tabText(0), title);
    QVERIFY(!tabs->tabIcon(0).isNull());
    QVERIFY(!window.centralWidget()->isPlaceholderShown());

    // Another tab in between, then the same button again: still one tab of the kind, current.
    const int other = (button + 1) % 4;
    QTest::mouseClick(buttons.at(other), Qt::LeftButton);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->currentIndex(), 1);
    QTest::mouseClick(buttons.at(button), Qt::LeftButton);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(tabs->currentIndex()), title);
}

void tst_ShellTabs::shortcutsOpenAndCloseTabs()
{
    KMainWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    KCentralTabWidget *tabs = window.centralWidget()->tabWidget();

    const QList<QToolButton *> buttons = window.toolButtons();
    const Qt::Key keys[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4};
    const QString titles[] = {QStringLiteral("Онлайн-трансляция"),
                              QStringLiteral("Просмотр видеоархива"),
                              QStringLiteral("Загрузка видеоархива"), QStringLiteral("Видеоплеер")};
    for (int i = 0; i < 4; ++i) {
        QVERIFY2(buttons.at(i)->toolTip().endsWith(QStringLiteral("(Ctrl+%1)").arg(i + 1)),
                 qPrintable(buttons.at(i)->toolTip()));
        QTest::keyClick(&window, keys[i], Qt::ControlModifier);
        QCOMPARE(tabs->count(), i + 1);
        QCOMPARE(tabs->tabText(tabs->currentIndex()), titles[i]);
    }
    QCOMPARE(buttons.at(4)->toolTip(), QStringLiteral("Настройки"));
    // Ctrl+1 again selects the existing tab.
    QTest::keyClick(&window, Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->currentIndex(), 0);

    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(tabs->count(), 3);
    QVERIFY(!window.centralWidget()->onlineVideoTab());
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(tabs->count(), 0);
    QVERIFY(window.centralWidget()->isPlaceholderShown());
    // Nothing left to close.
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    QVERIFY(window.isVisible());
}

void tst_ShellTabs::clockFollowsTime()
{
    KMainWidget window;
    const QDateTime now = QDateTime::currentDateTime();
    // Either side of a minute's turn.
    QVERIFY(QStringList({now.toString(QStringLiteral("HH:mm")),
                         now.addSecs(60).toString(QStringLiteral("HH:mm"))})
                .contains(window.timeLabel()->text()));
    QCOMPARE(window.dateLabel()->text(), now.toString(QStringLiteral("dd.MM.yyyy")));
    // The one-second timer writes it again.
    window.timeLabel()->clear();
    QTRY_VERIFY_WITH_TIMEOUT(!window.timeLabel()->text().isEmpty(), 3000);
}

void tst_ShellTabs::lastClosedTabShowsPlaceholder()
{
    KMainWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    KCentralWidget *central = window.centralWidget();
    KCentralTabWidget *tabs = central->tabWidget();
    central->addOnlineVideoTab();
    central->addVideoTab();
    QCOMPARE(tabs->count(), 2);

    while (tabs->count() > 0) {
        auto *closeButton = qobject_cast<QAbstractButton *>(
            tabs->tabBar()->tabButton(tabs->count() - 1, QTabBar::RightSide));
        QVERIFY(closeButton);
        QCOMPARE(closeButton->toolTip(), QStringLiteral("Закрыть вкладку"));
        QVERIFY(!central->isPlaceholderShown());
        QTest::mouseClick(closeButton, Qt::LeftButton);
    }
    QVERIFY(central->isPlaceholderShown());
    QVERIFY(central->placeholderWidget()->isVisible());
    const QStringList texts = labelTexts(central->placeholderWidget());
    QVERIFY(texts.contains(QStringLiteral("Velmora Viewer")));
    QVERIFY(texts.contains(QStringLiteral("v190514 (64-bit)")));

    // The tab pages went with their tabs.
    QTRY_VERIFY_WITH_TIMEOUT(central->findChildren<KOnlineVideoWidget *>().isEmpty(), 5000);
}

void tst_ShellTabs::contextMenuCloses_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("remaining");
    QTest::newRow("this tab") << QStringLiteral("Закрыть вкладку")
                              << QStringList{QStringLiteral("Онлайн-трансляция"),
                                             QStringLiteral("Видеоплеер")};
    QTest::newRow("other tabs") << QStringLiteral("Закрыть другие вкладки")
                                << QStringList{QStringLiteral("Просмотр видеоархива")};
    QTest::newRow("all tabs") << QStringLiteral("Закрыть все вкладки") << QStringList{};
}

void tst_ShellTabs::contextMenuCloses()
{
    QFETCH(QString, entry);
    QFETCH(QStringList, remaining);

    KCentralWidget central({});
    central.resize(900, 500);
    central.show();
    QVERIFY(QTest::qWaitForWindowExposed(&central));
    central.addOnlineVideoTab();
    central.addArchiveVideoTab();
    central.addVideoTab();
    KCentralTabWidget *tabs = central.tabWidget();
    tabs->setCurrentIndex(0);

    QStringList entries;
    bool triggered = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        poll.stop();
        for (QAction *action : menu->actions())
            entries << action->text();
        for (QAction *action : menu->actions()) {
            if (action->text() == entry) {
                triggered = true;
                menu->close();
                action->trigger();
                return;
            }
        }
        menu->close();
    });
    poll.start();
    QTimer::singleShot(5000, &poll, &QTimer::stop);
    // The menu of the archive tab (the second one), not of the tab on screen.
    const QPoint point = tabs->tabBar()->mapTo(tabs, tabs->tabBar()->tabRect(1).center());
    tabs->showCustomMenuRequested(point);

    QCOMPARE(entries, (QStringList{QStringLiteral("Закрыть вкладку"),
                                   QStringLiteral("Закрыть другие вкладки"),
                                   QStringLiteral("Закрыть все вкладки")}));
    QVERIFY(triggered);
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    QCOMPARE(titles, remaining);
    QCOMPARE(central.isPlaceholderShown(), remaining.isEmpty());
}

void tst_ShellTabs::waitingTexts()
{
    // Type 0 has no recorder driver; type 1 never connects here (no connection threads).
    KObjectHandler unsupported(objectRecord(1, QStringLiteral("Трамвай 3"), 0));
    KObjectHandler unreachable(objectRecord(2, QStringLiteral("Автобус 9"), 1));

    KCentralWidget empty({});
    empty.addOnlineVideoTab();
    empty.addArchiveVideoTab();
    for (KProgressWidget *progress :
         {empty.onlineVideoTab()->progressWidget(), empty.archiveVideoTab()->progressWidget()}) {
        QCOMPARE(progress->text(), QStringLiteral("Объект в/н не выбран"));
        QVERIFY(!progress->isEnabled());
        QVERIFY(!progress->isAnimated());
    }

    KCentralWidget central({{1, &unsupported}, {2, &unreachable}});
    // The lowest id is current from the start.
    QCOMPARE(central.currentObject(), &unsupported);
    central.addOnlineVideoTab();
    central.addArchiveVideoTab();
    KOnlineVideoWidget *online = central.onlineVideoTab();
    KArchiveVideoWidget *archive = central.archiveVideoTab();
    QCOMPARE(online->object(), &unsupported);
    QCOMPARE(archive->object(), &unsupported);
    for (QWidget *page : {static_cast<QWidget *>(online), static_cast<QWidget *>(archive)}) {
        auto *progress = page->findChild<KProgressWidget *>();
        QCOMPARE(progress->text(), QStringLiteral("Трамвай 3 - ВР не поддерживается"));
        QVERIFY(!progress->isEnabled());
        QVERIFY(!progress->isAnimated());
        QVERIFY(!progress->isPictureVisible());
    }
    QCOMPARE(online->currentPage(), 1);
    // No recorder driver: nobody is asked to log in.
    QCOMPARE(unsupported.demand(), 0);

    central.setCurrentObject(&unreachable);
    for (QWidget *page : {static_cast<QWidget *>(online), static_cast<QWidget *>(archive)}) {
        auto *progress = page->findChild<KProgressWidget *>();
        QCOMPARE(progress->text(), QStringLiteral("Автобус 9 - подключение к ВР..."));
        QVERIFY(progress->isEnabled());
        QVERIFY(progress->isAnimated());
        QVERIFY(progress->isPictureVisible());
    }
    // Both players need the recorder now.
    QCOMPARE(unreachable.demand(), 2);
    QVERIFY(!online->isPopulated());

    // A playback request waits for the channels.
    online->startPlayback();
    QVERIFY(online->isPlaybackRequested());
    archive->startPlayback(QDateTime(QDate(2019, 5, 14), QTime(9, 30)));
    QVERIFY(archive->isPlaybackRequested());
    QCOMPARE(archive->requestedDateTime(), QDateTime(QDate(2019, 5, 14), QTime(9, 30)));
    QCOMPARE(online->player()->playbackState(), 2);

    // Closing the tabs lets go of the recorder.
    central.tabWidget()->closeAllTabs();
    QTRY_COMPARE_WITH_TIMEOUT(unreachable.demand(), 0, 5000);
}

void tst_ShellTabs::downloadTabRules()
{
    KObjectHandler first(objectRecord(1, QStringLiteral("Автобус 1"), 0));
    KObjectHandler second(objectRecord(2, QStringLiteral("Автобус 2"), 0));
    KBusyDownloadCentralWidget central({{1, &first}, {2, &second}});
    central.resize(900, 500);
    central.show();
    QVERIFY(QTest::qWaitForWindowExposed(&central));

    central.addDownloadVideoTab();
    KDownloadStandInWidget *download = central.downloadVideoTab();
    QVERIFY(download);
    QCOMPARE(download->object(), &first);
    QVERIFY(labelTexts(download).contains(QStringLiteral("Раздел в разработке")));

    // The archive tab's download request hands over object and moment.
    const QDateTime moment(QDate(2019, 5, 14), QTime(8, 0));
    central.addArchiveVideoTab();
    emit central.archiveVideoTab()->prepareDownloadRequested(&second, moment);
    QCOMPARE(central.tabWidget()->currentWidget(), download);
    QCOMPARE(download->object(), &second);
    QCOMPARE(download->dateTime(), moment);

    central.downloading = true;
    // While downloading: the tab keeps its object and says why.
    auto warning = answerNextMessage(true);
    central.addDownloadVideoTab(&first, moment.addSecs(3600));
    QVERIFY(warning->seen);
    QCOMPARE(warning->kind, int(KMessageWidget::Warning));
    QCOMPARE(warning->text, QStringLiteral("Загрузка в процессе!"));
    QCOMPARE(download->object(), &second);
    QCOMPARE(download->dateTime(), moment);

    warning = answerNextMessage(true);
    central.addDownloadVideoTab();
    QVERIFY(warning->seen);
    QCOMPARE(download->object(), &second);

    // Choosing another object moves the other tabs but not the running download.
    central.setCurrentObject(&first);
    QCOMPARE(download->object(), &second);
    QCOMPARE(central.archiveVideoTab()->object(), &first);

    // Closing asks first; "Нет" keeps the tab.
    const int index = central.tabWidget()->indexOf(download);
    auto question = answerNextMessage(false);
    central.tabWidget()->closeTab(index);
    QVERIFY(question->seen);
    QCOMPARE(question->kind, int(KMessageWidget::Question));
    QCOMPARE(question->text,
             QStringLiteral("Текущие загрузки будут прерваны.\nЗакрыть загрузчик?"));
    QVERIFY(central.downloadVideoTab());

    question = answerNextMessage(true);
    central.tabWidget()->closeTab(central.tabWidget()->indexOf(download));
    QVERIFY(question->seen);
    QVERIFY(!central.downloadVideoTab());

    // Without a download the tab closes without a question.
    central.downloading = false;
    central.addDownloadVideoTab();
    auto none = answerNextMessage(true, 300);
    central.closeCurrentTab();
    QTest::qWait(400);
    QVERIFY(!none->seen);
    QVERIFY(!central.downloadVideoTab());
}

void tst_ShellTabs::currentObjectFollowsChoice()
{
    KObjectHandler first(objectRecord(3, QStringLiteral("Маршрутка 15"), 0));
    KObjectHandler second(objectRecord(7, QStringLiteral("Автобус 101"), 0));
    KObjectHandler stranger(objectRecord(9, QStringLiteral("Чужой"), 0));
    const QMap<int, KObjectHandler *> objects{{3, &first}, {7, &second}};
    KCentralWidget central(objects);
    KObjectListWidget list(objects);
    connect(&list, &KObjectListWidget::objectChosen, &central, &KCentralWidget::setCurrentObject);
    connect(&central, &KCentralWidget::currentObjectChanged, &list,
            &KObjectListWidget::setCurrentObject);
    list.setCurrentObject(central.currentObject());
    list.resize(300, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    QCOMPARE(list.treeWidget()->topLevelItemCount(), 2);
    QCOMPARE(list.itemFor(&first)->text(KObjectListWidget::NameColumn),
             QStringLiteral("Маршрутка 15"));
    QCOMPARE(list.itemFor(&first)->text(KObjectListWidget::GroupColumn), QStringLiteral("DVR"));
    QCOMPARE(list.itemFor(&first)->text(KObjectListWidget::StateColumn),
             QStringLiteral("Не проверялся"));
    QVERIFY(list.itemFor(&first)->font(0).bold());

    central.addOnlineVideoTab();
    central.addArchiveVideoTab();
    central.addDownloadVideoTab();

    // A click in the list moves every tab, the one on screen included.
    QTreeWidgetItem *item = list.itemFor(&second);
    const QRect rect = list.treeWidget()->visualItemRect(item);
    QTest::mouseClick(list.treeWidget()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QCOMPARE(central.currentObject(), &second);
    QCOMPARE(central.onlineVideoTab()->object(), &second);
    QCOMPARE(central.archiveVideoTab()->object(), &second);
    QCOMPARE(central.downloadVideoTab()->object(), &second);
    QVERIFY(list.itemFor(&second)->font(0).bold());
    QVERIFY(!list.itemFor(&first)->font(0).bold());

    // A handler that is not in the object map is refused.
    central.setCurrentObject(&stranger);
    QCOMPARE(central.currentObject(), &second);

    // A handler that goes away leaves the list.
    auto *passing = new KObjectHandler(objectRecord(11, QStringLiteral("Временный"), 0));
    KObjectListWidget shortList({{11, passing}});
    QCOMPARE(shortList.treeWidget()->topLevelItemCount(), 1);
    delete passing;
    QCOMPARE(shortList.treeWidget()->topLevelItemCount(), 0);
}

QTEST_MAIN(tst_ShellTabs)
#include "tst_shelltabs.moc"
