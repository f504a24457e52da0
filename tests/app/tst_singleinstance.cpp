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

const QString startLine =
    QStringLiteral("Приложение запущено: Velmora Viewer v190514 (64-bit) ===================>");
const QString versionLine = QStringLiteral("Версия приложения: выпуск");
const QString errorHeading = QStringLiteral("Ошибка!");
const int waitLimit = 20000;

} // namespace

// Real processes of the program, on an X server of the test's own so that keyboard focus is
// not shared with other GUI tests. The program file is hard-linked into a directory of its own
// with its libraries, so that its log and settings.xml are the test's, and the guard's key
// files live in a private TMPDIR.
class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void derivedKeys();
    void secondInstanceRefused_data();
    void secondInstanceRefused();
    void newStartAfterNormalEnd();
    void newStartAfterKill();

private:
    QProcess *startProgram();
    // Visible top-level windows of the process: id and name.
    QList<QPair<unsigned long, QString>> windowsOf(const QProcess *process);
    // Waits until the process shows a window; returns its id and name, or 0.
    QPair<unsigned long, QString> waitForWindow(const QProcess *process);
    bool runTool(const QStringList &arguments, QByteArray *output = nullptr);
    QStringList logLines() const;
    bool segmentKeyFileExists() const;
    void closeNormally(QProcess *process);

    QProcess m_xserver;
    QByteArray m_display;
    std::unique_ptr<QTemporaryDir> m_runDir;
    std::unique_ptr<QTemporaryDir> m_ipcDir;
    QProcessEnvironment m_environment;
    QString m_program;
    QList<QProcess *> m_processes;
};

void tst_SingleInstance::initTestCase()
{
    // The X server picks a free display and tells its number on standard output; without
    // -noreset it restarts whenever its last client leaves and refuses connections meanwhile.
    m_xserver.setProgram(QStringLiteral("Xvfb"));
    m_xserver.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                            QStringLiteral("-screen"), QStringLiteral("0"),
                            QStringLiteral("1280x1024x24"), QStringLiteral("-noreset"),
                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    m_xserver.start();
    QVERIFY2(m_xserver.waitForStarted(waitLimit), "Xvfb does not start");
    QElapsedTimer timer;
    timer.start();
    while (!m_xserver.canReadLine() && timer.elapsed() < waitLimit)
        m_xserver.waitForReadyRead(500);
    m_display = ':' + m_xserver.readLine().trimmed();
    QVERIFY2(m_display.size() > 1, "Xvfb gave no display number");

    // The program's own directory: the same program file, its libraries and settings.xml.
    const QString binDir = QStringLiteral(VELMORA_BIN_DIR);
    m_runDir.reset(new QTemporaryDir(binDir + QStringLiteral("/../tests/singleinstance-XXXXXX")));
    QVERIFY(m_runDir->isValid());
    m_program = m_runDir->path() + QStringLiteral("/velmora-viewer");
    const QString original = binDir + QStringLiteral("/velmora-viewer");
    QVERIFY2(QFile::exists(original), qPrintable(original));
    if (::link(QFile::encodeName(original).constData(), QFile::encodeName(m_program).constData()) !=
        0)
        QVERIFY(QFile::copy(original, m_program));
    const QDir bin(binDir);
    for (const QString &library : bin.entryList({QStringLiteral("*.so*")}, QDir::Files))
        QVERIFY(QFile::link(bin.filePath(library), m_runDir->filePath(library)));
    QVERIFY(QFile::copy(bin.filePath(QStringLiteral("settings.xml")),
                        m_runDir->filePath(QStringLiteral("settings.xml"))));

    m_ipcDir.reset(new QTemporaryDir);
    QVERIFY(m_ipcDir->isValid());
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

void tst_SingleInstance::cleanupTestCase()
{
    // Remove whatever system-wide objects the guard left, using the program's key files.
    qputenv("TMPDIR", m_ipcDir->path().toLocal8Bit());
    const QString key = QStringLiteral("VELMORA_VIEWER");
    {
        QSharedMemory segment(KApplication::deriveKey(key, QStringLiteral("_sharedMemKey")));
        if (segment.attach())
            segment.detach();
    }
    for (const QString &suffix : {QStringLiteral("_memLockKey"), QStringLiteral("_sharedMemKey")})
        QSystemSemaphore(KApplication::deriveKey(key, suffix), 1, QSystemSemaphore::Create);

    m_xserver.terminate();
    if (!m_xserver.waitForFinished(5000))
        m_xserver.kill();
}

void tst_SingleInstance::init()
{
    QFile::remove(m_runDir->filePath(QStringLiteral("velmora-viewer_log.txt")));
}

void tst_SingleInstance::cleanup()
{
    for (QProcess *process : m_processes) {
        if (process->state() != QProcess::NotRunning) {
            closeNormally(process);
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        delete process;
    }
    m_processes.clear();
}

QProcess *tst_SingleInstance::startProgram()
{
    auto *process = new QProcess;
    m_processes.append(process);
    process->setProcessEnvironment(m_environment);
    process->setProgram(m_program);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start();
    process->waitForStarted(waitLimit);
    return process;
}

bool tst_SingleInstance::runTool(const QStringList &arguments, QByteArray *output)
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
        *output = tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

QList<QPair<unsigned long, QString>> tst_SingleInstance::windowsOf(const QProcess *process)
{
    QList<QPair<unsigned long, QString>> windows;
    QByteArray ids;
    if (!runTool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--pid"), QString::number(process->processId())},
                 &ids))
        return windows;
    for (const QByteArray &id : ids.split('\n')) {
        if (id.trimmed().isEmpty())
            continue;
        QByteArray name;
        runTool({QStringLiteral("getwindowname"), QString::fromLatin1(id.trimmed())}, &name);
        windows.append({id.trimmed().toULong(), QString::fromUtf8(name).trimmed()});
    }
    return windows;
}

QPair<unsigned long, QString> tst_SingleInstance::waitForWindow(const QProcess *process)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < waitLimit && process->state() == QProcess::Running) {
        const auto windows = windowsOf(process);
        if (!windows.isEmpty())
            return windows.first();
        QThread::msleep(200);
    }
    return {0, QString()};
}

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

bool tst_SingleInstance::segmentKeyFileExists() const
{
    return !QDir(m_ipcDir->path())
                .entryList({QStringLiteral("qipc_sharedmemory_*")}, QDir::Files)
                .isEmpty();
}

void tst_SingleInstance::closeNormally(QProcess *process)
{
    for (const auto &window : windowsOf(process))
        sendCloseRequest(m_display.constData(), window.first);
    process->waitForFinished(waitLimit);
}

void tst_SingleInstance::derivedKeys()
{
    // Expected values from sha1sum of the concatenated texts.
    QCOMPARE(
        KApplication::deriveKey(QStringLiteral("VELMORA_VIEWER"), QStringLiteral("_sharedMemKey")),
        QStringLiteral("101b0d13dc6a79c5faae7555fa022d680e3c5f92"));
    QCOMPARE(
        KApplication::deriveKey(QStringLiteral("VELMORA_VIEWER"), QStringLiteral("_memLockKey")),
        QStringLiteral("fa3f28cac2ba424f654c23973d7f8c4b0785bc27"));
}

void tst_SingleInstance::secondInstanceRefused_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("Enter") << QStringLiteral("Return");
    QTest::newRow("Space") << QStringLiteral("space");
}

void tst_SingleInstance::secondInstanceRefused()
{
    QFETCH(QString, key);

    QProcess *first = startProgram();
    const auto firstWindow = waitForWindow(first);
    QVERIFY2(firstWindow.first != 0, "the first instance shows no window");
    QVERIFY(firstWindow.second != errorHeading);
    QVERIFY(segmentKeyFileExists());

    QProcess *second = startProgram();
    const auto message = waitForWindow(second);
    QVERIFY2(message.first != 0, "the second instance shows no window");
    QCOMPARE(message.second, errorHeading);
    QCOMPARE(second->state(), QProcess::Running); // waits for the answer

    QVERIFY(runTool(
        {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(message.first)}));
    QVERIFY(runTool({QStringLiteral("key"), key}));
    QVERIFY2(second->waitForFinished(waitLimit), "the refused instance does not end");
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);

    // The first keeps running and still holds the guard.
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(segmentKeyFileExists());

    // Both starts, the refused one too, wrote their start lines.
    QCOMPARE(logLines(), QStringList({startLine, versionLine, startLine, versionLine}));

    closeNormally(first);
    QCOMPARE(first->state(), QProcess::NotRunning);
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);
}

void tst_SingleInstance::newStartAfterNormalEnd()
{
    QProcess *first = startProgram();
    QVERIFY(waitForWindow(first).first != 0);
    closeNormally(first);
    QCOMPARE(first->state(), QProcess::NotRunning);
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);
    // The last detach removed the segment.
    QVERIFY(!segmentKeyFileExists());

    QProcess *next = startProgram();
    const auto window = waitForWindow(next);
    QVERIFY2(window.first != 0, "the new start shows no window");
    QVERIFY(window.second != errorHeading);
    QCOMPARE(next->state(), QProcess::Running);
    closeNormally(next);
    QCOMPARE(next->exitCode(), 0);
}

void tst_SingleInstance::newStartAfterKill()
{
    QProcess *first = startProgram();
    QVERIFY(waitForWindow(first).first != 0);
    ::kill(pid_t(first->processId()), SIGKILL);
    QVERIFY(first->waitForFinished(waitLimit));
    QCOMPARE(first->exitStatus(), QProcess::CrashExit);
    // Nobody detached: the segment outlives the killed instance.
    QVERIFY(segmentKeyFileExists());

    QProcess *next = startProgram();
    const auto window = waitForWindow(next);
    QVERIFY2(window.first != 0, "the start after a kill shows no window");
    QVERIFY2(window.second != errorHeading, "the start after a kill was refused");
    QCOMPARE(next->state(), QProcess::Running);

    // The new instance holds the guard properly: one more start is refused.
    QProcess *third = startProgram();
    const auto message = waitForWindow(third);
    QCOMPARE(message.second, errorHeading);
    QVERIFY(runTool(
        {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(message.first)}));
    QVERIFY(runTool({QStringLiteral("key"), QStringLiteral("Return")}));
    QVERIFY(third->waitForFinished(waitLimit));
    QCOMPARE(third->exitCode(), 0);

    closeNormally(next);
    QCOMPARE(next->state(), QProcess::NotRunning);
    QCOMPARE(next->exitCode(), 0);
    QVERIFY(!segmentKeyFileExists());
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
