// velmora-offload, the headless download service, several at once on one fleet database
// served by a real PostgreSQL server, against eight emulated recorders: they drain the queue
// downloading each task exactly once (as the recorders count their downloads), and a service
// killed mid-task has its task finished by another after the lease, without the fragments it
// had finished being fetched again.
#include "KPasswordCipher.h"
#include "KTestEmulator.h"
#include "KTestOffload.h"
#include "KTestPostgres.h"

#include <QDir>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int kRecorders = 8;
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddThh:mm:ss");

} // namespace

class tst_Offload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        m_passFile = KTestOffload::passwordFile(m_server, m_dir.path());
        QVERIFY(!m_passFile.isEmpty());

        // Eight recorders on eight neighbouring addresses, one channel each.
        const QStringList octets = KTestEmulator::freeHost().split('.');
        const int first = std::min(octets.at(3).toInt(), 254 - kRecorders);
        m_prefix = octets.mid(0, 3).join('.') + '.';
        m_first = first;
        QVERIFY2(m_emulator.start({"--host",
                                   QStringLiteral("%1%2-%3").arg(m_prefix).arg(first).arg(
                                       first + kRecorders - 1),
                                   "--analog", "1", "--size", "160x120", "--fps", "2",
                                   "--clip-kbps", "16", "--download-rate", "200"}),
                 qPrintable(m_emulator.log()));
        const QDateTime middle =
            KTestEmulator::commonMoment({KTestEmulator::unlocked(m_emulator.pastFiles(1))}, 1200);
        QVERIFY2(middle.isValid(), "no recording long enough in the emulated archive");
        m_begin = middle.addSecs(-540 - middle.time().second());
    }

    // A fleet database of its own per test, with the eight vehicles.
    void init()
    {
        m_database = QStringLiteral("depot%1").arg(++m_databases);
        const QString sql = QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/postgresql/");
        QVERIFY2(m_server.createDatabase(m_database, {sql + "objects.sql", sql + "tasks.sql"}),
                 qPrintable(m_server.lastError()));
        for (int i = 1; i <= kRecorders; ++i) {
            QVERIFY2(m_server.exec(m_database,
                                   "INSERT INTO objects (object_id, object_name, recorder_host, "
                                   "recorder_port, recorder_login, recorder_password) "
                                   "VALUES (?, ?, ?, ?, 'admin', ?)",
                                   {i, QStringLiteral("Автобус %1").arg(i), host(i),
                                    m_emulator.port(), KPasswordCipher::encipher("demo12345")}),
                     qPrintable(m_server.lastError()));
        }
        m_db = m_server.connect(m_database);
        QVERIFY(m_db.isOpen());
        m_counted = downloadCounts();
    }

    // Two services, twenty tasks over the eight vehicles: every task done, each by one of
    // them, each interval fetched once.
    void twoServicesDrainTheQueueOnce()
    {
        for (int k = 0; k < 20; ++k)
            QVERIFY(addTask(k % kRecorders + 1, m_begin.addSecs(50 * k), 40));
        KTestOffload a("A", m_dir.filePath("a")), b("B", m_dir.filePath("b"));
        QVERIFY2(start(a), qPrintable(a.output()));
        QVERIFY2(start(b), qPrintable(b.output()));
        QTRY_COMPARE_WITH_TIMEOUT(scalar("SELECT count(*) FROM autodownload_tasks WHERE "
                                         "status = 3 AND holder IN ('A', 'B')"),
                                  20, 120000);
        const int byA = a.terminate();
        const int byB = b.terminate();
        qInfo("tasks finished: %d by A, %d by B", byA, byB);
        QCOMPARE(byA + byB, 20);
        QVERIFY(byA >= 0 && byB >= 0);

        const QMap<QString, int> fetched = newDownloads();
        QCOMPARE(fetched.size(), 20);
        for (auto it = fetched.cbegin(); it != fetched.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(it.key() + " " + QString::number(it.value())));
        for (int k = 0; k < 20; ++k)
            QVERIFY2(fetched.contains(downloadKey(k % kRecorders + 1, m_begin.addSecs(50 * k),
                                                  m_begin.addSecs(50 * k + 40))),
                     qPrintable(QString::number(k)));
    }

    // A service killed (SIGKILL) after the first fragment of three: the other takes the task
    // over once the lease has ended, fetches only what was not finished, and its set holds
    // the rest, checked whole.
    void killedServiceIsTakenOver()
    {
        const QDateTime end = m_begin.addSecs(750);
        QVERIFY(addTask(1, m_begin, 750));
        KTestOffload a("A", m_dir.filePath("ka")), b("B", m_dir.filePath("kb"));
        QVERIFY2(start(a), qPrintable(a.output()));
        // About three seconds a fragment: 600 KB at 200 KiB/s.
        QTRY_VERIFY_WITH_TIMEOUT(progress() >= m_begin.addSecs(300), 60000);
        a.kill();
        const QDateTime reached = progress();
        QVERIFY2(reached < end, "the task ended before the service was killed");
        QCOMPARE(text("SELECT holder FROM autodownload_tasks"), QStringLiteral("A"));

        QVERIFY2(start(b), qPrintable(b.output()));
        QTRY_COMPARE_WITH_TIMEOUT(text("SELECT holder || ' ' || status FROM autodownload_tasks"),
                                  QStringLiteral("B 3"), 60000);
        QCOMPARE(b.terminate(), 1);

        // Finished by A: once. The one A was fetching when it died: at most twice.
        const QMap<QString, int> fetched = newDownloads();
        for (QDateTime t = m_begin; t < end; t = t.addSecs(300)) {
            const QDateTime to = std::min(t.addSecs(300), end);
            const int count = fetched.value(downloadKey(1, t, to));
            QVERIFY2(count >= 1 && count <= (to <= reached ? 1 : 2),
                     qPrintable(t.toString(kTimeFormat) + " " + QString::number(count)));
        }
        QVERIFY(b.log().contains("фрагмент загружен на другом рабочем месте"));
        const QString file = b.store() + "/Автобус 1/" + m_begin.toString("yyyy.MM.dd_hh.mm.ss") +
                             end.toString("-hh.mm.ss") + "/ACAM01.mp4";
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of",
                                "default=nw=1:nk=1", file});
        QVERIFY(probe.waitForFinished(30000));
        const double seconds = probe.readAllStandardOutput().trimmed().toDouble();
        QVERIFY2(qAbs(seconds - reached.secsTo(end)) < 3, qPrintable(QString::number(seconds)));
    }

private:
    // Short intervals: vehicles checked every 200 ms, leases of 3 s, the queue read every 300 ms.
    bool start(KTestOffload &service)
    {
        return service.start(
            m_server, m_database, m_passFile,
            {"--threads", "2", "--poll-ms", "200", "--lease-ms", "3000", "--retry-ms", "300"});
    }

    QString host(int object) const { return m_prefix + QString::number(m_first + object - 1); }

    bool addTask(int object, const QDateTime &begin, int seconds)
    {
        return m_server.exec(
            m_database,
            "INSERT INTO autodownload_tasks (object_id, start_time, stop_time, "
            "channels) VALUES (?, ?, ?, 'ACAM01')",
            {object, begin.toSecsSinceEpoch(), begin.addSecs(seconds).toSecsSinceEpoch()});
    }

    QVariant value(const QString &statement)
    {
        QSqlQuery query(m_db);
        return query.exec(statement) && query.next() ? query.value(0) : QVariant();
    }
    int scalar(const QString &statement) { return value(statement).toInt(); }
    QString text(const QString &statement) { return value(statement).toString(); }
    QDateTime progress()
    {
        const QVariant at = value("SELECT channel_progress FROM autodownload_tasks");
        const QStringList parts = at.toString().split('=');
        return parts.size() == 2 ? QDateTime::fromSecsSinceEpoch(parts.at(1).toLongLong())
                                 : QDateTime();
    }

    QString downloadKey(int object, const QDateTime &from, const QDateTime &to) const
    {
        return host(object) + ":" + QString::number(m_emulator.port()) + " ch1 " +
               from.toString(kTimeFormat) + " " + to.toString(kTimeFormat);
    }
    // "endpoint chN FROM TO" to the number of downloads the recorders started.
    QMap<QString, int> downloadCounts()
    {
        QStringList lines;
        QMap<QString, int> counts;
        if (!m_emulator.commandOk("downloads", &lines))
            return counts;
        for (const QString &line : lines) {
            const int at = line.lastIndexOf(' ');
            counts.insert(line.left(at), line.mid(at + 1).toInt());
        }
        return counts;
    }
    // What was fetched since the test began.
    QMap<QString, int> newDownloads()
    {
        QMap<QString, int> counts = downloadCounts();
        for (auto it = m_counted.cbegin(); it != m_counted.cend(); ++it) {
            counts[it.key()] -= it.value();
            if (counts.value(it.key()) == 0)
                counts.remove(it.key());
        }
        return counts;
    }

    QTemporaryDir m_dir;
    KTestPostgres m_server;
    KTestEmulator m_emulator;
    QString m_passFile;
    QString m_prefix;
    int m_first = 0;
    QDateTime m_begin;
    QString m_database;
    int m_databases = 0;
    QSqlDatabase m_db;
    QMap<QString, int> m_counted;
};

QTEST_GUILESS_MAIN(tst_Offload)
#include "tst_offload.moc"
