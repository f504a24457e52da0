// The main window against a real emulated recorder: the object list follows the connection
// states, the online tab shows the recorder's channels once logged in, choosing an object moves
// the tabs to it, and leaving a tab stops its playback.
#include "KArchiveVideoPlayerWidget.h"
#include "KArchiveVideoWidget.h"
#include "KCentralTabWidget.h"
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
#include "KShellTestSupport.h"
#include "KSqlScript.h"
#include "KStyleSheet.h"

#include <QHostAddress>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace KShellTest;

class tst_ShellObjects : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void listShowsCheckedStates();
    void onlineTabShowsChannels();
    void choosingObjectMovesTabs();
    void leavingTabStopsPlayback();
    void listFollowsLostRecorder();

private:
    KObjectHandler *object(int id) const { return m_window->objectMaster()->object(id); }
    QTreeWidgetItem *row(int id) const { return m_window->objectListWidget()->itemFor(object(id)); }
    int shownState(int id) const
    {
        QTreeWidgetItem *item = row(id);
        return item ? item->data(KObjectListWidget::StateColumn, Qt::UserRole).toInt() : -1;
    }
    QColor markerColour(int id) const;
    void clickRow(int id);
    bool startEmulator();

    QTemporaryDir m_dir;
    QString m_host;
    QString m_deadHost;
    int m_port = 0;
    QProcess m_emulator;
    std::unique_ptr<KMainWidget> m_window;
};

QColor tst_ShellObjects::markerColour(int id) const
{
    const QIcon icon = row(id)->icon(KObjectListWidget::NameColumn);
    const QImage image = icon.pixmap(12, 12).toImage();
    return QColor(image.pixel(6, 6));
}

void tst_ShellObjects::clickRow(int id)
{
    QTreeWidget *tree = m_window->objectListWidget()->treeWidget();
    const QRect rect = tree->visualItemRect(row(id));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

bool tst_ShellObjects::startEmulator()
{
    m_emulator.setProgram(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"));
    m_emulator.setArguments({QStringLiteral("--host"), m_host, QStringLiteral("--port"),
                             QString::number(m_port), QStringLiteral("--status-port"),
                             QStringLiteral("5031"), QStringLiteral("--analog"),
                             QStringLiteral("4"), QStringLiteral("--quiet")});
    m_emulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_emulator.start();
    if (!m_emulator.waitForStarted(5000))
        return false;
    return waitFor(
        [&] {
            QTcpSocket socket;
            socket.connectToHost(m_host, quint16(m_port));
            return socket.waitForConnected(200);
        },
        10000);
}

void tst_ShellObjects::initTestCase()
{
    KStyleSheet::install();
    QVERIFY(KSettings::instance());
    QVERIFY(m_dir.isValid());

    // An address of our own on loopback, so that fixed ports (the status port) are free.
    auto *random = QRandomGenerator::global();
    const int a = int(random->bounded(20, 250));
    const int b = int(random->bounded(2, 250));
    m_host = QStringLiteral("127.0.%1.%2").arg(a).arg(b);
    m_deadHost = QStringLiteral("127.0.%1.%2").arg(a).arg(b + 1);
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress(m_host), 0));
        m_port = probe.serverPort();
    }
    QVERIFY2(startEmulator(), "recorder-emulator did not start");

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
            .arg(m_host, m_deadHost)
            .arg(m_port)
            .toUtf8());
    seed.close();
    const QString dbPath = m_dir.filePath(QStringLiteral("demo.db"));
    QString error;
    QVERIFY2(KSqlScript::createIfMissing(
                 dbPath, {QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/objects.sql"), seedPath},
                 nullptr, &error),
             qPrintable(error));

    KDBHandler *db = KDBHandler::instance();
    db->setDirectory(m_dir.path());
    db->start();
    QVERIFY(db->open(dbPath));
    KUserData user;
    user.login = QStringLiteral("Demo");
    user.role = 4;
    user.group.id = 0;
    user.group.name = QStringLiteral("DVR");
    KSettings::instance()->setCurrentUser(user);

    QVERIFY(KRecorderSDK::instance()->initialize());
    KConnectionHandler::instance()->initialize();

    m_window = std::make_unique<KMainWidget>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void tst_ShellObjects::cleanupTestCase()
{
    // The order of the program's end: handlers, SDK, then the window with its objects.
    KConnectionHandler::instance()->shutdown();
    KRecorderSDK::instance()->cleanup();
    m_window.reset();
    KDBHandler::instance()->close();
    if (m_emulator.state() != QProcess::NotRunning) {
        m_emulator.kill();
        m_emulator.waitForFinished(5000);
    }
}

void tst_ShellObjects::listShowsCheckedStates()
{
    KObjectListWidget *list = m_window->objectListWidget();
    QCOMPARE(list->treeWidget()->topLevelItemCount(), 2);
    QCOMPARE(row(1)->text(KObjectListWidget::NameColumn), QStringLiteral("Автобус 501"));
    QCOMPARE(row(1)->text(KObjectListWidget::GroupColumn), QStringLiteral("DVR"));
    QCOMPARE(m_window->centralWidget()->currentObject(), object(1));

    // The first poll only checks reachability.
    QVERIFY(waitFor([&] { return shownState(1) == 3 && shownState(2) == 4; }, 20000));
    KSettings *settings = KSettings::instance();
    QCOMPARE(row(1)->text(KObjectListWidget::StateColumn), QStringLiteral("Доступен без входа"));
    QCOMPARE(row(2)->text(KObjectListWidget::StateColumn), QStringLiteral("Недоступен"));
    QCOMPARE(markerColour(1), QColor(settings->themeColor(15)));
    QCOMPARE(markerColour(2), QColor(settings->themeColor(16)));

    const KConnectionData connection = object(1)->connection();
    const QString toolTip = row(1)->toolTip(KObjectListWidget::NameColumn);
    QVERIFY2(toolTip.contains(QStringLiteral("Время проверки: ") +
                              connection.checkTime.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))),
             qPrintable(toolTip));
    QVERIFY2(toolTip.contains(QStringLiteral("Время отклика: ") +
                              QString::number(connection.responseTime) + QStringLiteral(" мс")),
             qPrintable(toolTip));
    QVERIFY(toolTip.contains(m_host));
}

void tst_ShellObjects::onlineTabShowsChannels()
{
    QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
    KOnlineVideoWidget *online = m_window->centralWidget()->onlineVideoTab();
    QVERIFY(online);
    QCOMPARE(online->object(), object(1));
    // The tab needs the recorder: the object logs in and the list turns green.
    QVERIFY(waitFor([&] { return online->isPopulated(); }, 20000));
    QCOMPARE(shownState(1), 2);
    QCOMPARE(row(1)->text(KObjectListWidget::StateColumn), QStringLiteral("Подключен"));
    QCOMPARE(markerColour(1), QColor(KSettings::instance()->themeColor(14)));
    QCOMPARE(online->currentPage(), 0);
    QCOMPARE(online->player()->channelIDs(),
             (QStringList{QStringLiteral("ACAM01"), QStringLiteral("ACAM02"),
                          QStringLiteral("ACAM03"), QStringLiteral("ACAM04")}));
    QVERIFY(!online->progressWidget()->isAnimated());
}

void tst_ShellObjects::choosingObjectMovesTabs()
{
    KCentralWidget *central = m_window->centralWidget();
    KOnlineVideoWidget *online = central->onlineVideoTab();
    QVERIFY(online);

    clickRow(2);
    QCOMPARE(central->currentObject(), object(2));
    QCOMPARE(online->object(), object(2));
    QVERIFY(!online->isPopulated());
    QCOMPARE(online->currentPage(), 1);
    QCOMPARE(online->progressWidget()->text(), QStringLiteral("Автобус 502 - подключение к ВР..."));
    QVERIFY(row(2)->font(0).bold());
    QCOMPARE(object(1)->demand(), 0);
    QCOMPARE(object(2)->demand(), 1);
    // The new object is asked for at once and stays unreachable.
    QVERIFY(waitFor([&] { return object(2)->connectionJobID() < 1; }, 10000));
    QCOMPARE(shownState(2), 4);
    QVERIFY(!online->isPopulated());

    clickRow(1);
    QCOMPARE(online->object(), object(1));
    QVERIFY(waitFor([&] { return online->isPopulated(); }, 20000));
    QCOMPARE(online->player()->channelIDs().size(), 4);
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

    // A playback asked for before the channels arrive starts once they do.
    const QDateTime moment(QDate::currentDate().addDays(-1), QTime(10, 15));
    archive->startPlayback(moment);
    QVERIFY(waitFor([&] { return archive->isPopulated(); }, 20000));
    QCOMPARE(archive->player()->playbackState(), 0);
    QCOMPARE(archive->player()->beginDateTime(), moment);

    QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(archive->player()->playbackState(), 2);
}

void tst_ShellObjects::listFollowsLostRecorder()
{
    m_emulator.kill();
    QVERIFY(m_emulator.waitForFinished(5000));
    // The next check of every object, without waiting for the poll interval.
    QVERIFY(QMetaObject::invokeMethod(m_window->objectMaster(), "poll"));
    QVERIFY(waitFor([&] { return shownState(1) == 4; }, 20000));
    QCOMPARE(row(1)->text(KObjectListWidget::StateColumn), QStringLiteral("Недоступен"));
    QCOMPARE(markerColour(1), QColor(KSettings::instance()->themeColor(16)));

    // The recorder comes back: the tab that needs it logs in again.
    QVERIFY2(startEmulator(), "recorder-emulator did not restart");
    QVERIFY(QMetaObject::invokeMethod(m_window->objectMaster(), "poll"));
    QVERIFY(waitFor([&] { return shownState(1) == 2; }, 20000));
    QCOMPARE(markerColour(1), QColor(KSettings::instance()->themeColor(14)));
}

QTEST_MAIN(tst_ShellObjects)
#include "tst_shellobjects.moc"
