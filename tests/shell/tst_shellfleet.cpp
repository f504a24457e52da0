// The main window on a fleet database served by a real PostgreSQL server, changed from a
// shell with velmora-fleet: the object list follows in place, the current object and the
// open tab stay with their object while it exists, alarms show, and a server that goes away
// and comes back is shown and caught up with.
#include "KAppLogHandler.h"
#include "KCentralWidget.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KMainWidget.h"
#include "KMessageWidget.h"
#include "KObjectHandler.h"
#include "KObjectListWidget.h"
#include "KObjectMaster.h"
#include "KOnlineVideoWidget.h"
#include "KSettings.h"
#include "KStyleSheet.h"
#include "KTestPostgres.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

class tst_ShellFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        KStyleSheet::install();
        QVERIFY(KSettings::instance());
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        KUserData user;
        user.role = 4;
        user.group.id = 0;
        KSettings::instance()->setCurrentUser(user);
    }

    // Each test on a fleet of its own: three objects nobody answers for.
    void init()
    {
        const QString name = QStringLiteral("fleet%1").arg(++m_fleets);
        const QString sql = QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/postgresql/");
        QVERIFY2(m_server.createDatabase(name, {sql + "objects.sql", sql + "tasks.sql"}),
                 qPrintable(m_server.lastError()));
        QVERIFY2(m_server.exec(name, "INSERT INTO groups VALUES (0, 'DVR'); INSERT INTO objects "
                                     "(object_id, object_name, group_id, recorder_host) VALUES "
                                     "(1, 'Автобус 101', 0, '127.0.0.1'), (2, 'Автобус 102', 0, "
                                     "'127.0.0.1'), (3, 'Трамвай 7', 0, '127.0.0.1')"),
                 qPrintable(m_server.lastError()));
        m_database = name;
        KDBConnectionData data;
        data.backend = KDBConnectionData::PostgreSQL;
        data.host = m_server.socketDir();
        data.port = m_server.port();
        data.databaseName = name;
        data.user = KTestPostgres::superuser();
        data.password = m_server.superPassword();
        KDBHandler::instance()->setDirectory(m_dir.path());
        KDBHandler::instance()->setSharedTaskDbOverride(true);
        KDBHandler::instance()->setCheckInterval(200);
        KDBHandler::instance()->start();
        QVERIFY(KDBHandler::instance()->open(data));
        m_window = std::make_unique<KMainWidget>();
        m_window->show();
        // Its keys work once it is the active window, which may come after it is shown.
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        KDBHandler::instance()->close();
    }

    void listFollowsFleet()
    {
        QCOMPARE(rows(), QStringList({"1 Автобус 101", "2 Автобус 102", "3 Трамвай 7"}));
        KObjectHandler *first = object(1);
        QCOMPARE(current(), first);
        QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
        KOnlineVideoWidget *online = m_window->centralWidget()->onlineVideoTab();
        QVERIFY(online && online->object() == first);

        const QString hostile = QStringLiteral("Автобус «Ё» 'O\\'Brien' \\\\ 5");
        QVERIFY(fleet({"add", "5", hostile, "127.0.0.1"}));
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 4, 5000);
        QCOMPARE(rows().last(), "5 " + hostile);

        QVERIFY(fleet({"rename", "1", "Автобус 101 (резерв)"}));
        QTRY_COMPARE_WITH_TIMEOUT(rows().first(), QStringLiteral("1 Автобус 101 (резерв)"), 5000);
        QVERIFY(fleet({"remove", "2"}));
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 3, 5000);
        // The current object and its tab stayed with their object all along.
        QCOMPARE(object(1), first);
        QCOMPARE(current(), first);
        QCOMPARE(online->object(), first);

        // Another recorder for object 1: a new handler, still current, the tab follows.
        QVERIFY(m_server.exec(m_database,
                              "UPDATE objects SET recorder_host = '127.0.0.2' WHERE object_id = 1; "
                              "NOTIFY systemupdate"));
        QTRY_VERIFY_WITH_TIMEOUT(object(1) && object(1) != first, 5000);
        QCOMPARE(current(), object(1));
        QCOMPARE(online->object(), object(1));
        QCOMPARE(m_window->objectListWidget()->currentObject(), object(1));

        // The current object goes: the first one left takes its place.
        QVERIFY(fleet({"remove", "1"}));
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 2, 5000);
        QCOMPARE(current(), object(3));
        QCOMPARE(online->object(), object(3));
    }

    void alarmShowsWindowAndLog()
    {
        const int logSize = logText().size();
        QVERIFY(fleet({"alarm", "3", "42", "--time", "1700000000"}));
        QTRY_VERIFY_WITH_TIMEOUT(m_window->alarmWindow() && m_window->alarmWindow()->isVisible(),
                                 5000);
        const QString text = m_window->alarmWindow()->text();
        const QString time =
            QDateTime::fromSecsSinceEpoch(1700000000).toString("dd.MM.yyyy hh:mm:ss");
        QCOMPARE(text, "Объект: Трамвай 7\nСобытие: 42\nВремя: " + time);
        QVERIFY2(
            logText().mid(logSize).contains("Трамвай 7 (127.0.0.1, MTR-HD): Тревога: событие 42"),
            qPrintable(logText().mid(logSize)));
        // A second alarm joins the open window.
        QVERIFY(fleet({"alarm", "1", "7", "--time", "1700000000"}));
        QTRY_VERIFY_WITH_TIMEOUT(m_window->alarmWindow()->text().contains("Объект: Автобус 101"),
                                 5000);
        QTest::mouseClick(m_window->alarmWindow()->acceptButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->alarmWindow(), 5000);
    }

    // The server stops: the title shows it. It comes back and an object is added before the
    // viewer's next check, so its notification is lost: the reconnection reads the objects.
    void serverRestartShowsLostConnectionAndCatchesUp()
    {
        QLabel *state = m_window->dbStateTextLabel();
        QVERIFY(state->text().isEmpty());
        m_server.stop();
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Нет связи с БД!"), 10000);
        QVERIFY(!m_window->dbStateIconLabel()->pixmap(Qt::ReturnByValue).isNull());
        // No event loop runs from here to the end of the addition: the viewer cannot hear it.
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        QVERIFY(fleet({"add", "8", "Маршрутка 15", "127.0.0.1"}));
        QTRY_VERIFY_WITH_TIMEOUT(state->text().isEmpty(), 10000);
        QVERIFY(m_window->dbStateIconLabel()->pixmap(Qt::ReturnByValue).isNull());
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 4, 5000);
        QCOMPARE(rows().last(), QStringLiteral("8 Маршрутка 15"));
    }

private:
    bool fleet(const QStringList &arguments)
    {
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PGPASSWORD", m_server.superPassword());
        tool.setProcessEnvironment(environment);
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QStringLiteral(VELMORA_BIN_DIR "/velmora-fleet"),
                   QStringList{"--host", m_server.socketDir(), "--port",
                               QString::number(m_server.port()), "--dbname", m_database, "--user",
                               KTestPostgres::superuser()} +
                       arguments);
        const bool done = tool.waitForFinished(30000) && tool.exitCode() == 0;
        if (!done)
            qWarning("velmora-fleet: %s", tool.readAll().constData());
        return done;
    }
    KObjectHandler *object(int id) const { return m_window->objectMaster()->object(id); }
    KObjectHandler *current() const { return m_window->centralWidget()->currentObject(); }
    // "id name" of the list's rows, top to bottom.
    QStringList rows() const
    {
        QStringList result;
        KObjectListWidget *list = m_window->objectListWidget();
        for (int i = 0; i < list->treeWidget()->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = list->treeWidget()->topLevelItem(i);
            KObjectHandler *handler = list->objectAt(item);
            result << (handler ? QString::number(handler->id()) : QStringLiteral("?")) + " " +
                          item->text(KObjectListWidget::NameColumn);
        }
        return result;
    }
    static QString logText()
    {
        QFile file(KAppLogHandler::instance()->filePath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    KTestPostgres m_server;
    QTemporaryDir m_dir;
    QString m_database;
    int m_fleets = 0;
    std::unique_ptr<KMainWidget> m_window;
};

QTEST_MAIN(tst_ShellFleet)
#include "tst_shellfleet.moc"
