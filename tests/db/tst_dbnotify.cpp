#include "DbTestSupport.h"
#include "KAppLogHandler.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KMetaTypes.h"
#include "KTestPostgres.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace DbTestSupport;

// The fleet database's change channels on a real PostgreSQL server: every channel reaches its
// signal, alarms are read strictly, and the traps of the Qt driver are handled: a dropped
// connection comes back with working subscriptions, what was sent meanwhile is made up for by
// one reading, a healthy check never drops a subscription, and a second process hears us.
class tst_dbnotify : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        KMetaTypes::registerAll();
        // Every statement in the server's log: the checks are read from it.
        QVERIFY2(m_server.start({QStringLiteral("log_statement=all")}), qPrintable(m_server.log()));
        QVERIFY2(m_server.createDatabase(QStringLiteral("fleet"), serverSchema()),
                 qPrintable(m_server.lastError()));
    }

    void init()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        handler()->setDirectory(m_dir.path());
        handler()->setSharedTaskDbOverride(true);
        handler()->setCheckInterval(3600000); // checks by hand unless a test says otherwise
        handler()->start();
        QVERIFY(handler()->open(connection()));
        m_other = m_server.connect(QStringLiteral("fleet"));
        QVERIFY2(m_other.isOpen(), qPrintable(m_server.lastError()));
    }

    void cleanup()
    {
        m_other.close();
        handler()->close();
        handler()->setCheckInterval(0);
    }

    void channelsReachTheirSignals_data()
    {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QByteArray>("signal");
        QTest::newRow("systemupdate") << "systemupdate" << QByteArray(SIGNAL(systemUpdated()));
        QTest::newRow("objectsconnectionupdate")
            << "objectsconnectionupdate" << QByteArray(SIGNAL(objectsConnectionUpdated()));
        QTest::newRow("diagnosticsupdate")
            << "diagnosticsupdate" << QByteArray(SIGNAL(diagnosticsUpdated()));
        QTest::newRow("geotrackingupdate")
            << "geotrackingupdate" << QByteArray(SIGNAL(geoTrackingUpdated()));
        QTest::newRow("logupdate") << "logupdate" << QByteArray(SIGNAL(logUpdated()));
        QTest::newRow("autodownloadupdate")
            << "autodownloadupdate" << QByteArray(SIGNAL(autodownloadUpdated()));
    }

    void channelsReachTheirSignals()
    {
        QFETCH(QString, channel);
        QFETCH(QByteArray, signal);
        QSignalSpy spy(handler(), signal.constData());
        QSignalSpy systemSpy(handler(), &KDBHandler::systemUpdated);
        QVERIFY(notify(channel));
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        // Only its own signal.
        QCOMPARE(systemSpy.count(), channel == "systemupdate" ? 1 : 0);
    }

    void alarmPayloads_data()
    {
        QTest::addColumn<QString>("payload");
        QTest::addColumn<QString>("expected"); // empty: not delivered
        QTest::newRow("alarm") << "17|1700000000|42"
                               << "17|1700000000|42";
        QTest::newRow("later fields ignored") << "3|100|7|extra"
                                              << "3|100|7";
        QTest::newRow("missing code") << "17|1700000000"
                                      << "";
        QTest::newRow("not a number") << "bus|1700000000|42"
                                      << "";
        QTest::newRow("negative time") << "17|-5|42"
                                       << "";
        QTest::newRow("empty") << ""
                               << "";
    }

    void alarmPayloads()
    {
        QFETCH(QString, payload);
        QFETCH(QString, expected);
        QSignalSpy alarms(handler(), &KDBHandler::alarmReceived);
        // A marker after the alarm: once it arrived, the alarm has been handled too.
        QSignalSpy marker(handler(), &KDBHandler::logUpdated);
        const int logSize = logText().size();
        QVERIFY(notify("alarm", payload) && notify("logupdate"));
        QTRY_COMPARE_WITH_TIMEOUT(marker.count(), 1, 5000);
        if (expected.isEmpty()) {
            QCOMPARE(alarms.count(), 0);
            QVERIFY(logText().mid(logSize).contains("Тревога с неверными данными: \"" + payload));
            return;
        }
        QCOMPARE(alarms.count(), 1);
        const KAlarmData alarm = alarms.at(0).at(0).value<KAlarmData>();
        QCOMPARE(QStringLiteral("%1|%2|%3")
                     .arg(alarm.sourceId)
                     .arg(alarm.eventTime.toSecsSinceEpoch())
                     .arg(alarm.eventCode),
                 expected);
    }

    // The driver keeps a dead connection's subscriptions and refuses new ones until the
    // connection is reopened; the timed check notices the loss, reopens, listens again, and
    // makes up for what was sent meanwhile with one reading.
    void droppedConnectionComesBackListening()
    {
        handler()->setCheckInterval(100);
        QSignalSpy states(handler(), &KDBHandler::connectionStateChanged);
        QSignalSpy updates(handler(), &KDBHandler::systemUpdated);
        QVERIFY(exec(m_other, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                              "WHERE application_name = 'Velmora Viewer'"));
        // Sent while the handler's connection is gone: never delivered.
        QVERIFY(notify("systemupdate"));
        QTRY_VERIFY_WITH_TIMEOUT(updates.count() >= 1, 10000);
        QVERIFY(!states.isEmpty() && states.last().at(0).toBool());
        QVERIFY(logText().contains("Подключение к БД восстановлено"));
        QCOMPARE(handler()->mainDatabase().driver()->subscribedToNotifications(),
                 KDBHandler::notificationChannels);

        // The new subscriptions work.
        QSignalSpy logs(handler(), &KDBHandler::logUpdated);
        QVERIFY(notify("logupdate"));
        QTRY_COMPARE_WITH_TIMEOUT(logs.count(), 1, 5000);
    }

    // A check of a sound connection takes no subscription down and up (what is sent between
    // an UNLISTEN and a LISTEN is lost).
    void healthyCheckKeepsSubscriptions()
    {
        // The server writes its log on its own time: markers fence the check in.
        const int from = logMarker("before-check");
        QSignalSpy states(handler(), &KDBHandler::connectionStateChanged);
        handler()->updateConnection();
        QCOMPARE(states.count(), 1);
        QVERIFY(states.at(0).at(0).toBool());
        const int to = logMarker("after-check");
        QVERIFY(from > 0 && to > from);
        const QString checked = m_server.log().mid(from, to - from);
        QVERIFY2(checked.contains("SELECT TRUE") && !checked.contains("LISTEN"),
                 qPrintable(checked));
    }

    // The server goes away and comes back: the state follows, and the first good check reads
    // again.
    void serverStoppedAndStarted()
    {
        QSignalSpy states(handler(), &KDBHandler::connectionStateChanged);
        QSignalSpy updates(handler(), &KDBHandler::systemUpdated);
        m_other.close();
        m_server.stop();
        handler()->updateConnection();
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.at(0).at(0).toBool(), false);
        QVERIFY(logText().contains("Ошибка подключения к БД!"));
        QCOMPARE(updates.count(), 0);

        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        handler()->updateConnection();
        QCOMPARE(states.count(), 2);
        QCOMPARE(states.at(1).at(0).toBool(), true);
        QCOMPARE(updates.count(), 1);
        m_other = m_server.connect(QStringLiteral("fleet"));
        QSignalSpy logs(handler(), &KDBHandler::logUpdated);
        QVERIFY(notify("logupdate"));
        QTRY_COMPARE_WITH_TIMEOUT(logs.count(), 1, 5000);
    }

    // Two workstations, two processes: each hears the other's change and alarm.
    void twoProcessesHearEachOther()
    {
        QProcess peer;
        peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        peer.start(QStringLiteral(VELMORA_TEST_BIN_DIR "/tst_dbpeer"),
                   {m_server.socketDir(), QString::number(m_server.port()), "fleet",
                    KTestPostgres::superuser()});
        QVERIFY(peer.waitForStarted(10000));
        peer.write(m_server.superPassword().toUtf8() + "\n");
        QString heard;
        const auto hears = [&](const QString &line) {
            return QTest::qWaitFor(
                       [&] {
                           heard += QString::fromUtf8(peer.readAll());
                           return heard.contains(line) || peer.state() == QProcess::NotRunning;
                       },
                       10000) &&
                   heard.contains(line);
        };
        QVERIFY2(hears("ready\n"), qPrintable(heard));

        KDBWorker *worker = handler()->worker(QThread::currentThread());
        worker->notifySystemUpdate();
        QVERIFY2(hears("got systemupdate\n"), qPrintable(heard));
        KAlarmData alarm;
        alarm.sourceId = 4;
        alarm.eventTime = QDateTime::fromSecsSinceEpoch(1700000123);
        alarm.eventCode = 9;
        worker->notifyAlarm(alarm);
        QVERIFY2(hears("got alarm 4|1700000123|9\n"), qPrintable(heard));

        QSignalSpy updates(handler(), &KDBHandler::systemUpdated);
        QSignalSpy alarms(handler(), &KDBHandler::alarmReceived);
        peer.write("systemupdate\nalarm 7 1700000456 3\n");
        QTRY_VERIFY_WITH_TIMEOUT(updates.count() == 1 && alarms.count() == 1, 10000);
        const KAlarmData received = alarms.at(0).at(0).value<KAlarmData>();
        QCOMPARE(qMakePair(received.sourceId, received.eventCode), qMakePair(7, 3));
        QCOMPARE(received.eventTime.toSecsSinceEpoch(), qint64(1700000456));

        peer.closeWriteChannel();
        QVERIFY(peer.waitForFinished(10000));
        QCOMPARE(peer.exitCode(), 0);
    }

private:
    static KDBHandler *handler() { return KDBHandler::instance(); }
    static QString logText() { return readFile(KAppLogHandler::instance()->filePath()); }

    KDBConnectionData connection() const
    {
        KDBConnectionData data;
        data.backend = KDBConnectionData::PostgreSQL;
        data.host = m_server.socketDir();
        data.port = m_server.port();
        data.databaseName = QStringLiteral("fleet");
        data.user = KTestPostgres::superuser();
        data.password = m_server.superPassword();
        return data;
    }

    // Where a statement of the other connection shows in the server's log.
    int logMarker(const QString &marker)
    {
        if (!exec(m_other, "SELECT ?::text", {marker}))
            return -1;
        int at = -1;
        return QTest::qWaitFor([&] { return (at = m_server.log().indexOf(marker)) >= 0; }, 5000)
                   ? at
                   : -1;
    }

    // Another workstation's NOTIFY.
    bool notify(const QString &channel, const QString &payload = QString())
    {
        return exec(m_other, "SELECT pg_notify(?, ?)", {channel, payload.isNull() ? "" : payload});
    }

    KTestPostgres m_server;
    QTemporaryDir m_dir;
    QSqlDatabase m_other;
};

QTEST_GUILESS_MAIN(tst_dbnotify)
#include "tst_dbnotify.moc"
