// The main window against a real emulated recorder: the object list follows the connection
// states, the online tab shows the recorder's channels once logged in, choosing an object moves
// the tabs to it, and leaving a tab stops its playback.
#include "KArchiveInfoCalendarWidget.h"
#include "KArchiveInfoHandler.h"
#include "KArchiveInfoSlider.h"
#include "KArchiveInfoWidget.h"
#include "KArchiveVideoPlayerWidget.h"
#include "KArchiveVideoWidget.h"
#include "KCentralWidget.h"
#include "KConnectionHandler.h"
#include "KDBHandler.h"
#include "KMainWidget.h"
#include "KObjectHandler.h"
#include "KObjectListWidget.h"
#include "KObjectMaster.h"
#include "KOnlineVideoPlayerWidget.h"
#include "KOnlineVideoWidget.h"
#include "KProgressWidget.h"
#include "KRecorderSDK.h"
#include "KSettings.h"
#include "KSlider.h"
#include "KSqlScript.h"
#include "KStyleSheet.h"
#include "KTestEmulator.h"

#include <QDateEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

class tst_ShellObjects : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void listShowsCheckedStates();
    void choosingObjectMovesTabs();
    void leavingTabStopsPlayback();
    void archiveTabShowsArchive();
    void listFollowsLostRecorder();

private:
    KObjectHandler *object(int id) const { return m_window->objectMaster()->object(id); }
    QTreeWidgetItem *row(int id) const { return m_window->objectListWidget()->itemFor(object(id)); }
    int shownState(int id) const
    {
        return row(id)->data(KObjectListWidget::StateColumn, Qt::UserRole).toInt();
    }
    // The colour of the state marker beside the name.
    QColor marker(int id) const
    {
        const QImage image = row(id)->icon(KObjectListWidget::NameColumn).pixmap(12).toImage();
        return QColor(image.pixel(6, 6));
    }
    static QColor theme(int index) { return QColor(KSettings::instance()->themeColor(index)); }
    void clickRow(int id)
    {
        QTreeWidget *tree = m_window->objectListWidget()->treeWidget();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(row(id)).center());
    }
    bool startEmulator()
    {
        // The status port is fixed; the emulator's own loopback address keeps it free.
        return m_emulator.start({"--host", m_host, "--port", QString::number(m_port),
                                 "--status-port", "5031", "--analog", "4"});
    }

    QTemporaryDir m_dir;
    QString m_host;
    int m_port = 0;
    KTestEmulator m_emulator;
    std::unique_ptr<KMainWidget> m_window;
};

void tst_ShellObjects::initTestCase()
{
    KStyleSheet::install();
    QVERIFY(KSettings::instance());
    m_host = KTestEmulator::freeHost();
    m_port = KTestEmulator::freePort(m_host);
    QVERIFY2(startEmulator(), qPrintable(m_emulator.log()));
    QString deadHost;
    do
        deadHost = KTestEmulator::freeHost();
    while (deadHost == m_host);

    // The object database: the emulated recorder and one nobody answers for.
    const QString seedPath = m_dir.filePath(QStringLiteral("seed.sql"));
    QFile seed(seedPath);
    QVERIFY(seed.open(QIODevice::WriteOnly | QIODevice::Text));
    seed.write(
        QStringLiteral("INSERT INTO groups (group_id, group_name) VALUES (0, 'DVR');\n"
                       "INSERT INTO objects (object_id, object_name, group_id, recorder_type, "
                       "recorder_host, recorder_port, recorder_login, recorder_password) VALUES "
                       "(1, 'Автобус 501', 0, 1, '%1', %3, 'admin', '@ENCIPHER:demo12345@'),"
                       "(2, 'Автобус 502', 0, 1, '%2', %3, 'admin', '@ENCIPHER:demo12345@');\n")
            .arg(m_host, deadHost)
            .arg(m_port)
            .toUtf8());
    seed.close();
    const QString dbPath = m_dir.filePath(QStringLiteral("demo.db"));
    QString error;
    QVERIFY2(KSqlScript::createIfMissing(
                 dbPath, {QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/objects.sql"), seedPath},
                 nullptr, &error),
             qPrintable(error));
    KDBHandler::instance()->setDirectory(m_dir.path());
    KDBHandler::instance()->start();
    QVERIFY(KDBHandler::instance()->open(dbPath));
    KUserData user;
    user.login = QStringLiteral("Demo");
    user.role = 4;
    user.group.id = 0;
    KSettings::instance()->setCurrentUser(user);

    QVERIFY(KRecorderSDK::instance()->initialize());
    KConnectionHandler::instance()->initialize();
    KArchiveInfoHandler::instance()->initialize();
    m_window = std::make_unique<KMainWidget>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void tst_ShellObjects::cleanupTestCase()
{
    // The order of the program's end: handlers, SDK, then the window with its objects.
    KArchiveInfoHandler::instance()->shutdown();
    KConnectionHandler::instance()->shutdown();
    KRecorderSDK::instance()->cleanup();
    m_window.reset();
    KDBHandler::instance()->close();
}

void tst_ShellObjects::listShowsCheckedStates()
{
    QCOMPARE(m_window->objectListWidget()->treeWidget()->topLevelItemCount(), 2);
    QCOMPARE(row(1)->text(KObjectListWidget::NameColumn), QStringLiteral("Автобус 501"));
    QCOMPARE(m_window->centralWidget()->currentObject(), object(1));
    // The first poll only checks reachability.
    QVERIFY(QTest::qWaitFor([&] { return shownState(1) == 3 && shownState(2) == 4; }, 20000));
    QCOMPARE(row(1)->text(KObjectListWidget::StateColumn), QStringLiteral("Доступен без входа"));
    QCOMPARE(row(2)->text(KObjectListWidget::StateColumn), QStringLiteral("Недоступен"));
    QCOMPARE(marker(1), theme(15));
    QCOMPARE(marker(2), theme(16));
    const QString toolTip = row(1)->toolTip(KObjectListWidget::NameColumn);
    QVERIFY2(toolTip.contains(
                 QStringLiteral("Время отклика: %1 мс").arg(object(1)->connection().responseTime)),
             qPrintable(toolTip));
}

void tst_ShellObjects::choosingObjectMovesTabs()
{
    // The online tab needs the recorder: the object logs in and the list turns green.
    QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
    KOnlineVideoWidget *online = m_window->centralWidget()->onlineVideoTab();
    QVERIFY(online);
    // A playback asked for before the channels arrive starts once they do.
    QVERIFY(!online->isPopulated());
    online->startPlayback();
    QVERIFY(QTest::qWaitFor([&] { return online->isPopulated(); }, 20000));
    QCOMPARE(online->player()->playbackState(), 0);
    QCOMPARE(shownState(1), 2);
    QCOMPARE(marker(1), theme(14));
    QCOMPARE(online->player()->channelIDs(), (QStringList{"ACAM01", "ACAM02", "ACAM03", "ACAM04"}));

    clickRow(2);
    QCOMPARE(m_window->centralWidget()->currentObject(), object(2));
    QCOMPARE(online->object(), object(2));
    QCOMPARE(online->currentPage(), 1);
    QCOMPARE(online->progressWidget()->text(), QStringLiteral("Автобус 502 - подключение к ВР..."));
    QCOMPARE(object(1)->demand(), 0);
    QCOMPARE(object(2)->demand(), 1);
    // The new object is asked for at once and stays unreachable.
    QVERIFY(QTest::qWaitFor([&] { return object(2)->connectionJobID() < 1; }, 10000));
    QCOMPARE(shownState(2), 4);
    QVERIFY(!online->isPopulated());

    clickRow(1);
    QCOMPARE(online->object(), object(1));
    QVERIFY(QTest::qWaitFor([&] { return online->isPopulated(); }, 20000));
}

void tst_ShellObjects::leavingTabStopsPlayback()
{
    KCentralWidget *central = m_window->centralWidget();
    KOnlineVideoWidget *online = central->onlineVideoTab();
    QVERIFY(online && online->isPopulated());
    QTest::mouseClick(online->player()->playButton(), Qt::LeftButton);
    QCOMPARE(online->player()->playbackState(), 0);
    QTest::keyClick(m_window.get(), Qt::Key_2, Qt::ControlModifier);
    KArchiveVideoWidget *archive = central->archiveVideoTab();
    QVERIFY(archive);
    QCOMPARE(online->player()->playbackState(), 2);

    const QDateTime moment(QDate::currentDate().addDays(-1), QTime(10, 15));
    archive->startPlayback(moment);
    QVERIFY(QTest::qWaitFor([&] { return archive->isPopulated(); }, 20000));
    QCOMPARE(archive->player()->playbackState(), 0);
    QCOMPARE(archive->player()->beginDateTime(), moment);
    QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(archive->player()->playbackState(), 2);
}

// The archive tab's time-line shows the recorder's first channel for the chosen day, a click
// on the strip moves the handle and the time there, and the calendar pop-up marks the days
// recordings start on.
void tst_ShellObjects::archiveTabShowsArchive()
{
    QTest::keyClick(m_window.get(), Qt::Key_2, Qt::ControlModifier);
    KArchiveVideoWidget *archive = m_window->centralWidget()->archiveVideoTab();
    QVERIFY(archive);
    KArchiveVideoPlayerWidget *player = archive->player();
    QVERIFY(QTest::qWaitFor([&] { return player->isPopulated(); }, 20000));
    KArchiveInfoWidget *timeLine = player->timeLine();
    QCOMPARE(timeLine->object(), object(1));
    QCOMPARE(player->calendar()->object(), object(1));

    // Yesterday: nothing is recorded there any more while the test runs.
    const QDate day = QDate::currentDate().addDays(-1);
    player->dateEdit()->setDate(day);
    QCOMPARE(timeLine->date(), day);
    QVERIFY(QTest::qWaitFor([&] { return timeLine->jobID() == -1; }, 20000));
    QStringList files;
    QVERIFY(m_emulator.commandOk(
        QStringLiteral("files %1 1 %2T00:00:00 %2T23:59:59").arg(m_host, day.toString(Qt::ISODate)),
        &files));
    QList<bool> expected;
    for (int m = 0; m < 1440; ++m) {
        const QDateTime t(day, QTime(m / 60, m % 60));
        bool recorded = false;
        for (const QString &line : qAsConst(files)) {
            const QStringList f = line.split(' ');
            auto minute = [](QDateTime time) { return time.addSecs(-time.time().second()); };
            recorded = recorded || (minute(QDateTime::fromString(f[2], Qt::ISODate)) <= t &&
                                    t < minute(QDateTime::fromString(f[3], Qt::ISODate)));
        }
        expected << recorded;
    }
    QCOMPARE(timeLine->strip()->cellData(), expected);

    KSlider *slider = static_cast<KArchiveInfoSlider *>(timeLine->strip())->handleSlider();
    const int minute = qMax(0, expected.indexOf(true));
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier,
                      QPoint(KAbstractArchiveInfoSlider::cellRect(minute).right(), 5));
    QCOMPARE(slider->value(), minute);
    QCOMPARE(player->timeEdit()->time(), QTime(minute / 60, minute % 60));
    QCOMPARE(player->beginDateTime(), QDateTime(day, QTime(minute / 60, minute % 60)));
    // A time typed with seconds moves the handle to its minute and keeps its seconds.
    player->timeEdit()->setTime(QTime(10, 15, 30));
    QCOMPARE(slider->value(), 615);
    QCOMPARE(player->timeEdit()->time(), QTime(10, 15, 30));

    // The pop-up (the arrow at the edit's right end): the month of the date edit, answered
    // for the first channel.
    QDateEdit *dateEdit = player->dateEdit();
    QTest::mouseClick(dateEdit, Qt::LeftButton, Qt::NoModifier,
                      QPoint(dateEdit->width() - 6, dateEdit->height() / 2));
    KArchiveInfoCalendarWidget *calendar = player->calendar();
    QVERIFY(QTest::qWaitFor([&] { return calendar->isVisible(); }, 5000));
    QCOMPARE(calendar->monthShown(), day.month());
    QVERIFY(QTest::qWaitFor([&] { return calendar->archive().size() == 31; }, 20000));
    const bool started = std::any_of(files.cbegin(), files.cend(), [&](const QString &line) {
        return line.split(' ').at(2).startsWith(day.toString(Qt::ISODate));
    });
    QCOMPARE(calendar->archive().at(day.day() - 1), started);
    QTest::keyClick(calendar, Qt::Key_Escape);
}

void tst_ShellObjects::listFollowsLostRecorder()
{
    m_emulator.stop();
    // The next check of every object, without waiting for the poll interval.
    QVERIFY(QMetaObject::invokeMethod(m_window->objectMaster(), "poll"));
    QVERIFY(QTest::qWaitFor([&] { return shownState(1) == 4; }, 20000));
    QCOMPARE(marker(1), theme(16));

    // The recorder comes back: the tab that needs it logs in again.
    QVERIFY2(startEmulator(), qPrintable(m_emulator.log()));
    QVERIFY(QMetaObject::invokeMethod(m_window->objectMaster(), "poll"));
    QVERIFY(QTest::qWaitFor([&] { return shownState(1) == 2; }, 20000));
    QCOMPARE(marker(1), theme(14));
}

QTEST_MAIN(tst_ShellObjects)
#include "tst_shellobjects.moc"
