// The main window against a real emulated recorder: the object list follows the connection
// states, the online tab shows the recorder's channels once logged in, choosing an object moves
// the tabs to it, and leaving a tab stops its playback.
#include "../archiveinfo/KArchiveTestSupport.h"
#include "KArchiveInfoCalendarWidget.h"
#include "KArchiveInfoSlider.h"
#include "KArchiveInfoWidget.h"
#include "KArchiveVideoPlayerWidget.h"
#include "KArchiveVideoWidget.h"
#include "KCentralWidget.h"
#include "KDBHandler.h"
#include "KMainWidget.h"
#include "KObjectListWidget.h"
#include "KObjectMaster.h"
#include "KOnlineVideoPlayerWidget.h"
#include "KOnlineVideoWidget.h"
#include "KProgressWidget.h"
#include "KSettings.h"
#include "KSlider.h"
#include "KSqlScript.h"
#include "KStyleSheet.h"

#include <QDateEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QtTest>

class tst_ShellObjects : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        KStyleSheet::install();
        QVERIFY(KSettings::instance());
        m_host = hostWithClosedStatusPort();
        const QString deadHost = hostWithClosedStatusPort(m_host);
        QVERIFY2(!m_host.isEmpty() && !deadHost.isEmpty(), "port 5031 is taken on every address");
        m_port = KTestEmulator::freePort(m_host);

        // The object database: the emulated recorder and one nobody answers for.
        const QString seedPath = m_dir.filePath(QStringLiteral("seed.sql"));
        QFile seed(seedPath);
        QVERIFY(seed.open(QIODevice::WriteOnly | QIODevice::Text));
        seed.write(QStringLiteral(
                       "INSERT INTO groups (group_id, group_name) VALUES (0, 'DVR');\n"
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
    }

    void cleanupTestCase() { KDBHandler::instance()->close(); }

    // Each test on a fresh login (objects not yet checked) and a running recorder.
    void init()
    {
        if (!m_emulator.isRunning())
            QVERIFY2(startEmulator(), qPrintable(m_emulator.log()));
        QVERIFY(m_emulator.commandOk(QStringLiteral("stall 0")));
        QVERIFY(KRecorderSDK::instance()->initialize());
        KConnectionHandler::instance()->initialize();
        KArchiveInfoHandler::instance()->initialize();
        m_window = std::make_unique<KMainWidget>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    // The order of the program's end: handlers, SDK, then the window with its objects.
    void cleanup()
    {
        KArchiveInfoHandler::instance()->shutdown();
        KConnectionHandler::instance()->shutdown();
        KRecorderSDK::instance()->cleanup();
        m_window.reset();
    }

    // The first poll only checks reachability; a tab that needs the recorder logs in, and the
    // list follows the recorder going away and coming back.
    void listFollowsRecorder()
    {
        QVERIFY(QTest::qWaitFor([&] { return shownState(1) == 3 && shownState(2) == 4; }, 20000));
        QCOMPARE(row(1)->text(KObjectListWidget::StateColumn),
                 QStringLiteral("Доступен без входа"));
        QCOMPARE(row(2)->text(KObjectListWidget::StateColumn), QStringLiteral("Недоступен"));
        QCOMPARE(qMakePair(marker(1), marker(2)), qMakePair(theme(15), theme(16)));
        const QString toolTip = row(1)->toolTip(KObjectListWidget::NameColumn);
        QVERIFY2(
            toolTip.contains(
                QStringLiteral("Время отклика: %1 мс").arg(object(1)->connection().responseTime)),
            qPrintable(toolTip));

        QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
        KOnlineVideoWidget *online = m_window->centralWidget()->onlineVideoTab();
        QVERIFY(online && QTest::qWaitFor([&] { return online->isPopulated(); }, 20000));
        QCOMPARE(shownState(1), 2);
        QCOMPARE(marker(1), theme(14));
        m_emulator.stop();
        // The next check of every object, without waiting for the poll interval.
        QVERIFY(QMetaObject::invokeMethod(m_window->objectMaster(), "poll"));
        QVERIFY(QTest::qWaitFor([&] { return shownState(1) == 4; }, 20000));
        QVERIFY2(startEmulator(), qPrintable(m_emulator.log()));
        QVERIFY(QMetaObject::invokeMethod(m_window->objectMaster(), "poll"));
        QVERIFY(QTest::qWaitFor([&] { return shownState(1) == 2; }, 20000));
    }

    void choosingObjectMovesTabsLeavingStops()
    {
        // The recorder's answers are held back, so that the playback is asked for before the
        // channels arrive (it starts once they do).
        QVERIFY(m_emulator.commandOk(QStringLiteral("stall 1500")));
        QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
        KOnlineVideoWidget *online = m_window->centralWidget()->onlineVideoTab();
        QVERIFY(online && !online->isPopulated());
        online->startPlayback();
        QVERIFY(m_emulator.commandOk(QStringLiteral("stall 0")));
        QVERIFY(QTest::qWaitFor([&] { return online->isPopulated(); }, 20000));
        QCOMPARE(online->player()->playbackState(), 0);
        QCOMPARE(online->player()->channelIDs(),
                 (QStringList{"ACAM01", "ACAM02", "ACAM03", "ACAM04"}));

        clickRow(2);
        QCOMPARE(m_window->centralWidget()->currentObject(), object(2));
        QCOMPARE(online->object(), object(2));
        QCOMPARE(online->currentPage(), 1);
        QCOMPARE(qMakePair(object(1)->demand(), object(2)->demand()), qMakePair(0, 1));
        // Asked for at once, it stays unreachable; the waiting page says so and stops turning.
        QVERIFY(QTest::qWaitFor([&] { return object(2)->connectionJobID() < 1; }, 10000));
        QCOMPARE(shownState(2), 4);
        QVERIFY(!online->isPopulated());
        QTRY_COMPARE(online->progressWidget()->text(),
                     QStringLiteral("Автобус 502 - ВР недоступен, ожидание связи"));
        QVERIFY(!online->progressWidget()->isAnimated());

        clickRow(1);
        QCOMPARE(online->object(), object(1));
        QVERIFY(QTest::qWaitFor([&] { return online->isPopulated(); }, 20000));

        // Leaving a tab stops its playback.
        QTest::mouseClick(online->player()->playButton(), Qt::LeftButton);
        QCOMPARE(online->player()->playbackState(), 0);
        QTest::keyClick(m_window.get(), Qt::Key_2, Qt::ControlModifier);
        KArchiveVideoWidget *archive = m_window->centralWidget()->archiveVideoTab();
        QVERIFY(archive);
        QCOMPARE(online->player()->playbackState(), 2);

        const QDateTime moment = KTestEmulator::momentIn(m_emulator.pastFiles(1), 60);
        archive->startPlayback(moment);
        QVERIFY(QTest::qWaitFor([&] { return archive->isPopulated(); }, 20000));
        QCOMPARE(archive->player()->playbackState(), 0);
        QCOMPARE(archive->player()->beginDateTime(), moment);
        QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(archive->player()->playbackState(), 2);
    }

    // A refused login shows where the operator looks, not only in the log: the list's state and
    // tool tip, and the tab's page, which stops saying "подключение".
    void refusedLoginShown()
    {
        m_emulator.stop();
        QVERIFY2(m_emulator.start({"--host", m_host, "--port", QString::number(m_port),
                                   "--status-port", "0", "--password", "another12345"}),
                 qPrintable(m_emulator.log()));
        QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
        KOnlineVideoWidget *online = m_window->centralWidget()->onlineVideoTab();
        QVERIFY(online);
        const QString text =
            QStringLiteral("Автобус 501 - ошибка авторизации: проверьте логин и пароль");
        QVERIFY(QTest::qWaitFor([&] { return online->progressWidget()->text() == text; }, 20000));
        QVERIFY(!online->progressWidget()->isAnimated());
        QCOMPARE(row(1)->text(KObjectListWidget::StateColumn),
                 QStringLiteral("Ошибка авторизации"));
        QVERIFY(
            row(1)->toolTip(KObjectListWidget::StateColumn).contains("проверьте логин и пароль"));
        m_emulator.stop(); // the next test's recorder takes the right password again
    }

    // The time-line shows the first channel's day, a typed time moves its handle, and the
    // calendar pop-up marks the days recordings start on.
    void archiveTabShowsArchive()
    {
        QTest::keyClick(m_window.get(), Qt::Key_2, Qt::ControlModifier);
        KArchiveVideoWidget *archive = m_window->centralWidget()->archiveVideoTab();
        QVERIFY(archive);
        KArchiveVideoPlayerWidget *player = archive->player();
        QVERIFY(QTest::qWaitFor([&] { return player->isPopulated(); }, 20000));
        KArchiveInfoWidget *timeLine = player->timeLine();
        QCOMPARE(timeLine->object(), object(1));
        QCOMPARE(player->calendar()->object(), object(1));

        // Finished for the recorder even should midnight pass, and before the host's today,
        // where the month search stops.
        const QDate day =
            qMin(m_emulator.now().date().addDays(-2), QDate::currentDate().addDays(-1));
        player->dateEdit()->setDate(day);
        QVERIFY(QTest::qWaitFor([&] { return timeLine->jobID() == -1; }, 20000));
        const KArchiveTest::Files files = KArchiveTest::dayFiles(m_emulator, day, day);
        const QList<bool> expected = KArchiveTest::expectedMinutes(files, day);
        QCOMPARE(timeLine->strip()->cellData(), expected);

        KSlider *slider = static_cast<KArchiveInfoSlider *>(timeLine->strip())->handleSlider();
        // A time typed with seconds moves the handle to its minute and keeps its seconds.
        player->timeEdit()->setTime(QTime(10, 15, 30));
        QCOMPARE(slider->value(), 615);
        QCOMPARE(player->timeEdit()->time(), QTime(10, 15, 30));

        // The pop-up (the arrow at the edit's right end) for the month of the date edit.
        QDateEdit *dateEdit = player->dateEdit();
        QTest::mouseClick(dateEdit, Qt::LeftButton, Qt::NoModifier,
                          QPoint(dateEdit->width() - 6, dateEdit->height() / 2));
        KArchiveInfoCalendarWidget *calendar = player->calendar();
        QVERIFY(QTest::qWaitFor([&] { return calendar->isVisible(); }, 5000));
        QCOMPARE(calendar->monthShown(), day.month());
        QVERIFY(QTest::qWaitFor([&] { return calendar->archive().size() == 31; }, 20000));
        QCOMPARE(calendar->archive().at(day.day() - 1),
                 KArchiveTest::expectedDays(files, day).at(day.day() - 1));
        QTest::keyClick(calendar, Qt::Key_Escape);
    }

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
        return QColor(
            row(id)->icon(KObjectListWidget::NameColumn).pixmap(12).toImage().pixel(6, 6));
    }
    static QColor theme(int index) { return QColor(KSettings::instance()->themeColor(index)); }
    void clickRow(int id)
    {
        QTreeWidget *tree = m_window->objectListWidget()->treeWidget();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(row(id)).center());
    }
    // Without a status service: the objects' status port is the fixed 5031, which stays
    // closed on these addresses, so the recorder port tells reachability.
    bool startEmulator()
    {
        return m_emulator.start({"--host", m_host, "--port", QString::number(m_port),
                                 "--status-port", "0", "--analog", "4"});
    }
    // A loopback address of its own where nobody listens on the fixed status port.
    static QString hostWithClosedStatusPort(const QString &other = QString())
    {
        for (int i = 0; i < 100; ++i) {
            const QString host = KTestEmulator::freeHost();
            QTcpServer probe;
            if (host != other && probe.listen(QHostAddress(host), KObjectMaster::modemStatusPort))
                return host;
        }
        return QString();
    }

    QTemporaryDir m_dir;
    QString m_host;
    int m_port = 0;
    KTestEmulator m_emulator;
    std::unique_ptr<KMainWidget> m_window;
};

QTEST_MAIN(tst_ShellObjects)
#include "tst_shellobjects.moc"
