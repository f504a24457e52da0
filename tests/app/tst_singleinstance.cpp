#include "KApplication.h"
#include "x11close.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSharedMemory>
#include <QSystemSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <signal.h>
#include <unistd.h>

namespace {

const QString errorHeading = QStringLiteral("Ошибка!");
const int waitLimit = 20000;

} // namespace

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
        m_runDir.reset(
            new QTemporaryDir(binDir + QStringLiteral("/../tests/singleinstance-XXXXXX")));
        QVERIFY(m_runDir->isValid());
        m_program = m_runDir->filePath(QStringLiteral("velmora-viewer"));
        const QString original = binDir + QStringLiteral("/velmora-viewer");
        if (::link(QFile::encodeName(original).constData(),
                   QFile::encodeName(m_program).constData()))
            QVERIFY2(QFile::copy(original, m_program), qPrintable(original));
        const QDir bin(binDir);
        for (const QString &library : bin.entryList({QStringLiteral("*.so*")}, QDir::Files))
            QVERIFY(QFile::link(bin.filePath(library), m_runDir->filePath(library)));
        QVERIFY(QFile::copy(bin.filePath(QStringLiteral("settings.xml")),
                            m_runDir->filePath(QStringLiteral("settings.xml"))));

        m_ipcDir.reset(new QTemporaryDir);
        QVERIFY(QDir(m_ipcDir->path()).mkdir(QStringLiteral("runtime")));
        QFile::setPermissions(m_ipcDir->filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // HOME and XDG_CONFIG_HOME stay the test's own, as given by the test runner.
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_environment.remove(QStringLiteral("QT_LOGGING_RULES"));
        m_environment.insert(QStringLiteral("TMPDIR"), m_ipcDir->path());
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                             m_ipcDir->filePath(QStringLiteral("runtime")));
    }

    void cleanupTestCase()
    {
        // Remove whatever system-wide objects the guard left, using the program's key files.
        qputenv("TMPDIR", m_ipcDir->path().toLocal8Bit());
        const QString key = QStringLiteral("VELMORA_VIEWER");
        {
            QSharedMemory segment(KApplication::deriveKey(key, QStringLiteral("_sharedMemKey")));
            if (segment.attach())
                segment.detach();
        }
        for (const QString &suffix :
             {QStringLiteral("_memLockKey"), QStringLiteral("_sharedMemKey")})
            QSystemSemaphore(KApplication::deriveKey(key, suffix), 1, QSystemSemaphore::Create);
    }

    void init() { QFile::remove(m_runDir->filePath(QStringLiteral("velmora-viewer_log.txt"))); }

    void cleanup()
    {
        for (QProcess *process : m_processes) {
            if (process->state() != QProcess::NotRunning)
                closeNormally(process);
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
            delete process;
        }
        m_processes.clear();
    }

    void secondInstanceRefused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("Enter") << QStringLiteral("Return");
        QTest::newRow("Space") << QStringLiteral("space");
    }

    void secondInstanceRefused()
    {
        QFETCH(QString, key);
        QProcess *first = startProgram();
        const auto window = waitForWindow(first);
        QVERIFY2(window.first != 0, "the first instance shows no window");
        QVERIFY(window.second != errorHeading);

        startRefused(key);
        QCOMPARE(first->state(), QProcess::Running);
        // Both starts, the refused one too, wrote their start lines.
        const QString start = QStringLiteral(
            "Приложение запущено: Velmora Viewer v190514 (64-bit) ===================>");
        const QString version = QStringLiteral("Версия приложения: выпуск");
        QCOMPARE(logLines(), QStringList({start, version, start, version}));

        closeNormally(first);
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
    }

    void newStartAfterEnd_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("normal end") << false;
        QTest::newRow("SIGKILL") << true; // nobody detached: the segment outlives the process
    }

    void newStartAfterEnd()
    {
        QFETCH(bool, killed);
        QProcess *first = startProgram();
        QVERIFY(waitForWindow(first).first != 0);
        if (killed)
            ::kill(pid_t(first->processId()), SIGKILL);
        else
            closeNormally(first);
        first->waitForFinished(waitLimit);
        QCOMPARE(first->state(), QProcess::NotRunning);
        QCOMPARE(first->exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit);

        QProcess *next = startProgram();
        const auto window = waitForWindow(next);
        QVERIFY2(window.first != 0, "the new start shows no window");
        QVERIFY2(window.second != errorHeading, "the new start was refused");
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

    QList<unsigned long> windowsOf(const QProcess *process)
    {
        QList<unsigned long> windows;
        QByteArray ids;
        if (xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--pid"), QString::number(process->processId())},
                    &ids)) {
            for (const QByteArray &id : ids.split('\n'))
                windows.append(id.trimmed().toULong());
        }
        return windows;
    }

    // Waits until the process shows a window; returns its id (0 if none) and name.
    QPair<unsigned long, QString> waitForWindow(const QProcess *process)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < waitLimit && process->state() == QProcess::Running) {
            const QList<unsigned long> windows = windowsOf(process);
            if (!windows.isEmpty()) {
                QByteArray name;
                xdotool({QStringLiteral("getwindowname"), QString::number(windows.first())}, &name);
                return {windows.first(), QString::fromUtf8(name)};
            }
            QThread::msleep(200);
        }
        return {0, QString()};
    }

    bool xdotool(const QStringList &arguments, QByteArray *output = nullptr)
    {
        QProcess tool;
        tool.setProcessEnvironment(m_environment);
        tool.start(QStringLiteral("xdotool"), arguments);
        if (!tool.waitForFinished(waitLimit)) {
            tool.kill();
            tool.waitForFinished(5000);
            return false;
        }
        if (output)
            *output = tool.readAllStandardOutput().trimmed();
        return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    }

    // Starts one more instance, checks it is refused and answers its message with key.
    void startRefused(const QString &key)
    {
        QProcess *refused = startProgram();
        const auto message = waitForWindow(refused);
        QCOMPARE(message.second, errorHeading);
        QCOMPARE(refused->state(), QProcess::Running); // waits for the answer
        QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                         QString::number(message.first)}));
        QVERIFY(xdotool({QStringLiteral("key"), key}));
        QVERIFY2(refused->waitForFinished(waitLimit), "the refused instance does not end");
        QCOMPARE(refused->exitStatus(), QProcess::NormalExit);
        QCOMPARE(refused->exitCode(), 0);
    }

    QStringList logLines() const;
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

QStringList tst_SingleInstance::logLines() const
{
    QFile file(m_runDir->filePath(QStringLiteral("velmora-viewer_log.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (!line.isEmpty())
            lines.append(line.mid(22)); // after "[dd.MM.yyyy hh:mm:ss] "
    }
    return lines;
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
