// The tab area: one tab of each kind, the placeholder, and the waiting texts of the online and
// archive tabs.
#include "KAbstractVideoView.h"
#include "KArchiveVideoPlayerWidget.h"
#include "KArchiveVideoWidget.h"
#include "KCentralTabWidget.h"
#include "KCentralWidget.h"
#include "KMainWidget.h"
#include "KObjectHandler.h"
#include "KOnlineVideoPlayerWidget.h"
#include "KOnlineVideoWidget.h"
#include "KProgressWidget.h"
#include "KResources.h"
#include "KSettings.h"
#include "KStyleSheet.h"

#include <QComboBox>
#include <QLabel>
#include <QTabBar>
#include <QToolButton>
#include <QtTest>

namespace {

KObjectData objectRecord(int id, const QString &name, int type)
{
    KObjectData record;
    record.id = id;
    record.name = name;
    record.host = QStringLiteral("127.0.0.1");
    record.recorder.type = type;
    return record;
}

} // namespace

class tst_ShellTabs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Without the program's style sheet: nothing here depends on it, and polishing the
        // players' many tiles under it took most of this test's time.
        KResources::init();
        QVERIFY(KSettings::instance());
    }

    void toolButtonTwiceOpensOneTab_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("title");
        QTest::newRow("online") << 0 << QStringLiteral("Онлайн-трансляция");
        QTest::newRow("archive") << 1 << QStringLiteral("Просмотр видеоархива");
        QTest::newRow("download") << 2 << QStringLiteral("Загрузка видеоархива");
        QTest::newRow("player") << 3 << QStringLiteral("Видеоплеер");
    }

    // Twice the same button opens one tab of the kind; closing the last tab shows the
    // placeholder, and the pages go with their tabs.
    void toolButtonTwiceOpensOneTab()
    {
        QFETCH(int, button);
        QFETCH(QString, title);
        KMainWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        KCentralWidget *central = window.centralWidget();
        KCentralTabWidget *tabs = central->tabWidget();
        const QList<QToolButton *> buttons = window.toolButtons();
        QTest::mouseClick(buttons.at(button), Qt::LeftButton);
        QTest::mouseClick(buttons.at((button + 1) % 4), Qt::LeftButton);
        QTest::mouseClick(buttons.at(button), Qt::LeftButton);
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->tabText(0), title);
        while (tabs->count() > 0) {
            QVERIFY(!central->isPlaceholderShown());
            QTest::mouseClick(tabs->tabBar()->tabButton(tabs->count() - 1, QTabBar::RightSide),
                              Qt::LeftButton);
        }
        QVERIFY(central->placeholderWidget()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(central->findChildren<KOnlineVideoWidget *>().isEmpty(), 5000);
        // The empty pane says what to do next: every tool with its key, as its tool tip does.
        QStringList shown;
        for (QLabel *label : central->placeholderWidget()->findChildren<QLabel *>())
            shown << label->text();
        for (QToolButton *tool : buttons) {
            if (tool->toolTip().contains("Ctrl+"))
                QVERIFY2(shown.contains(tool->toolTip()), qPrintable(tool->toolTip()));
        }
    }

    // At the default window size, with the theme's tab font, no tab is ever scrolled out of
    // sight, however many kinds are open (shortened titles keep the whole one as tool tip).
    void tabsFitTheDefaultWindow()
    {
        const QString sheet = qApp->styleSheet();
        qApp->setStyleSheet("QTabBar::tab { padding: 5px; font: bold 14px; width: 220px; "
                            "border: 1px solid black; }");
        const auto restore = qScopeGuard([&] { qApp->setStyleSheet(sheet); });
        KMainWidget window;
        window.resize(1280, 720);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTabBar *bar = window.centralWidget()->tabWidget()->tabBar();
        const QList<QToolButton *> tools = window.toolButtons();
        for (int i = 0; i < tools.size(); ++i) {
            if (!tools.at(i)->toolTip().contains("Ctrl+"))
                continue;
            tools.at(i)->click();
            QTRY_VERIFY(bar->tabRect(bar->count() - 1).right() <= bar->width());
        }
        for (int t = 0; t < bar->count(); ++t)
            QCOMPARE(bar->tabToolTip(t), bar->tabText(t));
    }

    // The players' controls show their whole texts in the pane a 1280x720 window leaves them,
    // in the theme's fonts (the stream choice, the volume "100").
    void playerControlsShowWholeTexts()
    {
        const QString sheet = qApp->styleSheet();
        KStyleSheet::install();
        const auto restore = qScopeGuard([&] { qApp->setStyleSheet(sheet); });
        KOnlineVideoPlayerWidget online;
        KArchiveVideoPlayerWidget archive;
        for (QWidget *player :
             {static_cast<QWidget *>(&online), static_cast<QWidget *>(&archive)}) {
            player->resize(880, 600);
            player->show();
            QVERIFY(QTest::qWaitForWindowExposed(player));
            for (QComboBox *box : player->findChildren<QComboBox *>()) {
                if (box->isVisible())
                    QVERIFY2(box->width() >= box->sizeHint().width(),
                             qPrintable(box->itemText(box->count() - 1)));
            }
            for (QLabel *label : player->findChildren<QLabel *>()) {
                const QString text = label->text();
                if (!label->isVisible() || text.isEmpty() || text.contains('<') ||
                    label->parentWidget()->inherits("KAbstractVideoView"))
                    continue;
                QVERIFY2(label->contentsRect().width() >=
                             label->fontMetrics().horizontalAdvance(text),
                         qPrintable(text));
            }
        }
    }

    void waitingTexts()
    {
        // Type 0 has no recorder driver; type 1 never connects here (no connection threads).
        KObjectHandler unsupported(objectRecord(1, QStringLiteral("Трамвай 3"), 0));
        KObjectHandler unreachable(objectRecord(2, QStringLiteral("Автобус 9"), 1));
        KCentralWidget empty({});
        empty.addArchiveVideoTab();
        QCOMPARE(empty.archiveVideoTab()->progressWidget()->text(),
                 QStringLiteral("Объект в/н не выбран"));

        KCentralWidget central({{1, &unsupported}, {2, &unreachable}});
        central.addOnlineVideoTab();
        central.addArchiveVideoTab();
        KOnlineVideoWidget *online = central.onlineVideoTab();
        KArchiveVideoWidget *archive = central.archiveVideoTab();
        const QList<KAbstractVideoTabWidget *> pages{online, archive};
        // The lowest id is current from the start; nobody is asked to log in without a driver.
        for (KAbstractVideoTabWidget *page : pages) {
            QCOMPARE(page->object(), &unsupported);
            QCOMPARE(page->currentPage(), 1);
            QCOMPARE(page->progressWidget()->text(),
                     QStringLiteral("Трамвай 3 - ВР не поддерживается"));
            QVERIFY(!page->progressWidget()->isAnimated());
        }
        QCOMPARE(unsupported.demand(), 0);

        central.setCurrentObject(&unreachable);
        QVERIFY(online->progressWidget()->isAnimated() && archive->progressWidget()->isAnimated());
        QCOMPARE(unreachable.demand(), 2); // both players need the recorder now

        // A playback request waits for the channels; leaving the tab drops it.
        online->startPlayback();
        archive->startPlayback(QDateTime(QDate(2019, 5, 14), QTime(9, 30)));
        QVERIFY(online->isPlaybackRequested() && archive->isPlaybackRequested());
        QCOMPARE(archive->requestedDateTime(), QDateTime(QDate(2019, 5, 14), QTime(9, 30)));
        QCOMPARE(online->player()->playbackState(), 2);
        central.tabWidget()->setCurrentWidget(online);
        QVERIFY(!archive->isPlaybackRequested());

        // Closing the tabs lets go of the recorder.
        central.tabWidget()->closeAllTabs();
        QTRY_COMPARE_WITH_TIMEOUT(unreachable.demand(), 0, 5000);
    }
};

QTEST_MAIN(tst_ShellTabs)
#include "tst_shelltabs.moc"
