#include "KApplication.h"
#include "x11close.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSharedMemory>
#include <QSystemSemaphore>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <signal.h>
#include <unistd.h>

static const QString errorHeading = QStringLiteral("Ошибка!");
static const int waitLimit = 20000;

// Real processes of the program. The program file is linked into a directory of its own with its
// libraries, so that its log and settings.xml are the test's; the guard's key files live in a
// private TMPDIR.
class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The test runner gives the test an X server of its own.
        m_display = qgetenv("DISPLAY");
        QVERIFY2(!m_display.isEmpty(), "no X server");
        const QString binDir = QStringLiteral(VELMORA_BIN_DIR);
        m_runDir.reset(new QTemporaryDir(binDir + "/../tests/singleinstance-XXXXXX"));
        QVERIFY(m_runDir->isValid());
        m_program = m_runDir->filePath(QStringLiteral("velmora-viewer"));
        const QString original = binDir + QStringLiteral("/velmora-viewer");
        if (::link(QFile::encodeName(original).constData(),
                   QFile::encodeName(m_program).constData()))
            QVERIFY2(QFile::copy(original, m_program), qPrintable(original));
        const QDir bin(binDir);
        for (const QString &library : bin.entryList({QStringLiteral("*.so*")}, QDir::Files))
            QVERIFY(QFile::link(bin.filePath(library), m_runDir->filePath(library)));
        QVERIFY(QFile::copy(bin.filePath("settings.xml"), m_runDir->filePath("settings.xml")));

        m_ipcDir.reset(new QTemporaryDir);
        QVERIFY(QDir(m_ipcDir->path()).mkdir("runtime"));
        QFile::setPermissions(m_ipcDir->filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner |
                                                                 QFile::ExeOwner);
        // HOME and XDG_CONFIG_HOME stay the test's own, as given by the test runner.
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.remove("QT_LOGGING_RULES");
        m_environment.insert("QT_QPA_PLATFORM", "xcb");
        m_environment.insert("TMPDIR", m_ipcDir->path());
        m_environment.insert("XDG_RUNTIME_DIR", m_ipcDir->filePath("runtime"));
    }

    void cleanupTestCase()
    {
        // Remove whatever system-wide objects the guard left, using the program's key files.
        qputenv("TMPDIR", m_ipcDir->path().toLocal8Bit());
        const QString key = "VELMORA_VIEWER";
        QSharedMemory segment(KApplication::deriveKey(key, "_sharedMemKey"));
        if (segment.attach())
            segment.detach();
        for (const char *suffix : {"_memLockKey", "_sharedMemKey"})
            QSystemSemaphore(KApplication::deriveKey(key, suffix), 1, QSystemSemaphore::Create);
    }

    void init() { QFile::remove(m_runDir->filePath(QStringLiteral("velmora-viewer_log.txt"))); }

    void cleanup()
    {
        for (QProcess *process : m_processes) {
            if (process->state() != QProcess::NotRunning)
                closeNormally(process);
            process->kill();
            process->waitForFinished(5000);
            delete process;
        }
        m_processes.clear();
    }

    void refusedWhileRunningFreeAfterEnd_data()
    {
        QTest::addColumn<QString>("key"); // answers the refusal
        QTest::addColumn<bool>("killed");
        QTest::newRow("Enter, normal end") << QStringLiteral("Return") << false;
        // Nobody detached: the segment outlives the process.
        QTest::newRow("Space, SIGKILL") << QStringLiteral("space") << true;
    }

    void refusedWhileRunningFreeAfterEnd()
    {
        QFETCH(QString, key);
        QFETCH(bool, killed);
        QProcess *first = startProgram();
        const QString name = windowName(first);
        QVERIFY2(!name.isNull() && name != errorHeading, "the first start failed");
        startRefused(key);
        QCOMPARE(first->state(), QProcess::Running);
        // Both starts, the refused one too, wrote their start lines.
        QCOMPARE(logLines().filter(QStringLiteral("Приложение запущено: ")).size(), 2);

        if (killed)
            ::kill(pid_t(first->processId()), SIGKILL);
        else
            closeNormally(first);
        first->waitForFinished(waitLimit);
        QCOMPARE(first->exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit);

        QProcess *next = startProgram();
        const QString nextName = windowName(next);
        QVERIFY2(!nextName.isNull() && nextName != errorHeading, "the new start was refused");
        // The new instance holds the guard properly: one more start is refused.
        startRefused(QStringLiteral("Return"));
        closeNormally(next);
        QCOMPARE(next->exitCode(), 0);
    }

private:
    QProcess *startProgram()
    {
        auto *process = new QProcess;
        m_processes.append(process);
        process->setProcessEnvironment(m_environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(m_program, QStringList());
        process->waitForStarted(waitLimit);
        return process;
    }

    // The process's visible windows; with wait, the first one once it is shown (bounded).
    QList<unsigned long> windowsOf(const QProcess *process, bool wait = false)
    {
        QStringList arguments{"search", "--onlyvisible", "--pid",
                              QString::number(process->processId())};
        if (wait)
            arguments.insert(1, "--sync");
        QList<unsigned long> windows;
        for (const QByteArray &id : xdotool(arguments).split('\n'))
            if (id.toULong())
                windows.append(id.toULong());
        return windows;
    }

    // The name of the process's first window once it is shown; null when none came.
    QString windowName(const QProcess *process)
    {
        const QList<unsigned long> windows = windowsOf(process, true);
        return windows.isEmpty() ? QString()
                                 : QString::fromUtf8(xdotool(
                                       {"getwindowname", QString::number(windows.first())}));
    }

    // The tool's output; null when it fails or does not end in time.
    QByteArray xdotool(const QStringList &arguments)
    {
        QProcess tool;
        tool.setProcessEnvironment(m_environment);
        tool.start("xdotool", arguments);
        if (!tool.waitForFinished(waitLimit) || tool.exitStatus() != QProcess::NormalExit ||
            tool.exitCode() != 0) {
            tool.kill();
            tool.waitForFinished(5000);
            return QByteArray();
        }
        const QByteArray output = tool.readAllStandardOutput().trimmed();
        return output.isNull() ? QByteArray("") : output;
    }

    // Starts one more instance, checks it is refused and answers its message with key.
    void startRefused(const QString &key)
    {
        QProcess *refused = startProgram();
        QCOMPARE(windowName(refused), errorHeading);
        QCOMPARE(refused->state(), QProcess::Running); // waits for the answer
        const QString window = QString::number(windowsOf(refused).value(0));
        QVERIFY(!xdotool({"windowfocus", "--sync", window, "key", key}).isNull());
        QVERIFY2(refused->waitForFinished(waitLimit), "the refused instance does not end");
        QCOMPARE(refused->exitCode(), 0);
    }

    // The log's lines after their "[dd.MM.yyyy hh:mm:ss] ".
    QStringList logLines() const
    {
        QFile file(m_runDir->filePath("velmora-viewer_log.txt"));
        QStringList lines;
        if (file.open(QIODevice::ReadOnly))
            for (const QString &line : QString::fromUtf8(file.readAll()).split('\n'))
                lines.append(line.mid(22));
        return lines;
    }

    void closeNormally(QProcess *process)
    {
        for (unsigned long window : windowsOf(process))
            sendCloseRequest(m_display.constData(), window);
        process->waitForFinished(waitLimit);
    }

    QByteArray m_display;
    std::unique_ptr<QTemporaryDir> m_runDir;
    std::unique_ptr<QTemporaryDir> m_ipcDir;
    QProcessEnvironment m_environment;
    QString m_program;
    QList<QProcess *> m_processes;
};

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
