#include "KAppLogHandler.h"
#include "KObjectData.h"
#include "KUserLogHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const QString stampPattern =
    QStringLiteral("^\\[\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\] ");

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QtMessageHandler testLogHandler = nullptr;

// The echo of every log line would drown the test report.
void dropLogEcho(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && message.startsWith(QLatin1String("--------> ")))
        return;
    testLogHandler(type, context, message);
}

QStringList capturedDebug;
QtMessageHandler previousHandler = nullptr;

void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg)
        capturedDebug.append(message);
    previousHandler(type, context, message);
}

// Writes during the application object's destruction: must leave no trace.
class LateWriter : public QObject
{
public:
    using QObject::QObject;
    ~LateWriter() override { KAppLogHandler::instance()->write(QStringLiteral("late line")); }
};

// Modes of the same binary run as a child under another name:
//   --write TEXT         writes one plain line
//   --closing TEXT       writes TEXT, then tries to write while the application closes down
int childMain(int argc, char **argv)
{
    auto *application = new QCoreApplication(argc, argv);
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString text = QString::fromUtf8(argv[2]);
    KAppLogHandler::instance()->write(text);
    if (mode == QLatin1String("--closing"))
        new LateWriter(application);
    delete application;
    return 0;
}

} // namespace

class tst_Log : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { testLogHandler = qInstallMessageHandler(dropLogEcho); }
    void cleanupTestCase() { qInstallMessageHandler(testLogHandler); }
    void init();
    void cleanup();
    void fileBesideProgramNamedAfterBaseName();
    void lineFormats_data();
    void lineFormats();
    void echoesToDebugOutput();
    void truncatesAtExactlyTenMebibytes_data();
    void truncatesAtExactlyTenMebibytes();
    void concurrentWritersNeitherInterleaveNorLoseLines();
    void concurrentWritersAcrossTruncation();
    void nothingWrittenWhileClosingDown();
    void unwritableLogLosesLineQuietly();
    void userLogRecordsNothing();

private:
    // Runs this test binary hard-linked as dir/name with the given arguments.
    int runChild(const QString &dir, const QString &name, const QStringList &arguments,
                 QByteArray *errorOutput = nullptr);

    QString m_logPath;
};

void tst_Log::init()
{
    m_logPath = KAppLogHandler::instance()->filePath();
    QFile::remove(m_logPath);
}

void tst_Log::cleanup()
{
    QFile::remove(m_logPath);
}

int tst_Log::runChild(const QString &dir, const QString &name, const QStringList &arguments,
                      QByteArray *errorOutput)
{
    const QString program = dir + QLatin1Char('/') + name;
    // A copy, not a link: the program finds its directory through its own file.
    if (!QFile::exists(program) && !QFile::copy(QCoreApplication::applicationFilePath(), program))
        return -1;
    QProcess child;
    child.setProgram(program);
    child.setArguments(arguments);
    child.start();
    if (!child.waitForFinished(30000)) {
        child.kill();
        child.waitForFinished(5000);
        return -1;
    }
    if (errorOutput)
        *errorOutput = child.readAllStandardError();
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

void tst_Log::fileBesideProgramNamedAfterBaseName()
{
    QCOMPARE(m_logPath,
             QCoreApplication::applicationDirPath() + QStringLiteral("/tst_log_log.txt"));

    // A program file with dots in its name: the base name ends at the first dot.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(runChild(dir.path(), QStringLiteral("viewer.v2.exe"),
                      {QStringLiteral("--write"), QStringLiteral("строка журнала")}),
             0);
    const QStringList lines = readLines(dir.path() + QStringLiteral("/viewer_log.txt"));
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().contains(
        QRegularExpression(stampPattern + QStringLiteral("строка журнала$"))));
}

void tst_Log::lineFormats_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("recorderType");
    QTest::addColumn<QString>("context");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << 0 << 1 << QString() << 0
                           << QStringLiteral("Подключение к базе данных");
    QTest::newRow("object, code 0")
        << 1 << 1 << QString() << 0
        << QStringLiteral("Автобус 101 (127.0.0.2, MTR-HD): Вход выполнен");
    QTest::newRow("object, code 7")
        << 1 << 1 << QString() << 7
        << QStringLiteral("Автобус 101 (127.0.0.2, MTR-HD): Вход выполнен [7]");
    QTest::newRow("object, negative code")
        << 1 << 1 << QString() << -3
        << QStringLiteral("Автобус 101 (127.0.0.2, MTR-HD): Вход выполнен [-3]");
    QTest::newRow("object, unknown type")
        << 1 << 0 << QString() << 0
        << QStringLiteral("Автобус 101 (127.0.0.2, Неизвестный тип): Вход выполнен");
    QTest::newRow("context, code 0")
        << 2 << 1 << QStringLiteral("ACAM02") << 0
        << QStringLiteral("Автобус 101 (127.0.0.2, MTR-HD, ACAM02): Вход выполнен");
    QTest::newRow("context, code 23")
        << 2 << 5 << QStringLiteral("канал 1") << 23
        << QStringLiteral("Автобус 101 (127.0.0.2, Неизвестный тип, канал 1): Вход выполнен [23]");
}

void tst_Log::lineFormats()
{
    QFETCH(int, operation);
    QFETCH(int, recorderType);
    QFETCH(QString, context);
    QFETCH(int, code);
    QFETCH(QString, expected);

    KObjectData object;
    object.name = QStringLiteral("Автобус 101");
    object.host = QStringLiteral("127.0.0.2");
    object.recorder.type = recorderType;
    const QString message = QStringLiteral("Вход выполнен");
    switch (operation) {
    case 0:
        KAppLogHandler::instance()->write(expected);
        break;
    case 1:
        KAppLogHandler::instance()->write(object, message, code);
        break;
    default:
        KAppLogHandler::instance()->write(object, context, message, code);
        break;
    }

    QFile file(m_logPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.endsWith('\n'));
    QCOMPARE(bytes.count('\n'), 1);
    const QString line = QString::fromUtf8(bytes.left(bytes.size() - 1));
    const QRegularExpressionMatch match =
        QRegularExpression(stampPattern + QStringLiteral("(.*)$")).match(line);
    QVERIFY2(match.hasMatch(), qPrintable(line));
    QCOMPARE(match.captured(1), expected);

    // The stamp is the local time of the write.
    const QDateTime stamp =
        QDateTime::fromString(line.mid(1, 19), QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    QVERIFY(stamp.isValid());
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 120);
}

void tst_Log::echoesToDebugOutput()
{
    capturedDebug.clear();
    previousHandler = qInstallMessageHandler(captureDebug);
    KAppLogHandler::instance()->write(QStringLiteral("эхо в отладку"));
    qInstallMessageHandler(previousHandler);

    const QStringList lines = readLines(m_logPath);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(capturedDebug, QStringList{QStringLiteral("--------> ") + lines.first()});
}

void tst_Log::truncatesAtExactlyTenMebibytes_data()
{
    QTest::addColumn<qint64>("initialSize");
    QTest::addColumn<bool>("truncated");
    QTest::newRow("one byte below") << KAppLogHandler::maximumFileSize - 1 << false;
    QTest::newRow("exactly 10 MiB") << KAppLogHandler::maximumFileSize << true;
    QTest::newRow("above") << KAppLogHandler::maximumFileSize + 4096 << true;
}

void tst_Log::truncatesAtExactlyTenMebibytes()
{
    QFETCH(qint64, initialSize);
    QFETCH(bool, truncated);
    {
        QFile file(m_logPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray block(1024 * 1024, 'x');
        qint64 left = initialSize;
        while (left > 0) {
            const qint64 chunk = qMin<qint64>(left, block.size());
            QCOMPARE(file.write(block.constData(), chunk), chunk);
            left -= chunk;
        }
    }
    QCOMPARE(QFileInfo(m_logPath).size(), initialSize);

    KAppLogHandler::instance()->write(QStringLiteral("после предела"));

    QFile file(m_logPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    if (truncated) {
        const QStringList lines = readLines(m_logPath);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().contains(
            QRegularExpression(stampPattern + QStringLiteral("после предела$"))));
    } else {
        QVERIFY(file.size() > initialSize);
        file.seek(initialSize);
        const QString tail = QString::fromUtf8(file.readAll());
        QVERIFY(
            tail.contains(QRegularExpression(stampPattern + QStringLiteral("после предела\n$"))));
    }
}

void tst_Log::concurrentWritersNeitherInterleaveNorLoseLines()
{
    const int threadCount = 8;
    const int linesPerThread = 400;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back(QThread::create([t] {
            KObjectData object;
            object.name = QStringLiteral("Объект %1").arg(t);
            object.host = QStringLiteral("127.0.0.%1").arg(t + 2);
            object.recorder.type = 1;
            for (int i = 0; i < linesPerThread; ++i) {
                const QString message = QStringLiteral("поток %1 строка %2 %3")
                                            .arg(t)
                                            .arg(i)
                                            .arg(QString(200, QChar(0x0436)));
                if (i % 2)
                    KAppLogHandler::instance()->write(object, message, i);
                else
                    KAppLogHandler::instance()->write(message);
            }
        }));
    }
    for (auto &thread : threads)
        thread->start();
    for (auto &thread : threads)
        QVERIFY(thread->wait(60000));

    const QStringList lines = readLines(m_logPath);
    QCOMPARE(lines.size(), threadCount * linesPerThread);
    const QRegularExpression plain(stampPattern +
                                   QStringLiteral("поток (\\d+) строка (\\d+) ж{200}$"));
    const QRegularExpression aboutObject(
        stampPattern + QStringLiteral("Объект (\\d+) \\(127\\.0\\.0\\.\\d+, MTR-HD\\): поток "
                                      "(\\d+) строка (\\d+) ж{200} \\[(\\d+)\\]$"));
    QSet<QString> seen;
    for (const QString &line : lines) {
        QRegularExpressionMatch match = plain.match(line);
        QString key;
        if (match.hasMatch()) {
            key = match.captured(1) + QLatin1Char('/') + match.captured(2);
        } else {
            match = aboutObject.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line.left(120)));
            QCOMPARE(match.captured(1), match.captured(2));
            QCOMPARE(match.captured(3), match.captured(4));
            key = match.captured(2) + QLatin1Char('/') + match.captured(3);
        }
        QVERIFY2(!seen.contains(key), qPrintable(key));
        seen.insert(key);
    }
    QCOMPARE(seen.size(), threadCount * linesPerThread);
}

void tst_Log::concurrentWritersAcrossTruncation()
{
    // Just below the limit: one writer's line crosses it and the next empties the file while
    // the others keep writing. Every line that survives must be whole, and all lines after the
    // emptying must be there.
    {
        QFile file(m_logPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(KAppLogHandler::maximumFileSize - 10));
    }
    const int threadCount = 4;
    const int linesPerThread = 300;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back(QThread::create([t] {
            for (int i = 0; i < linesPerThread; ++i)
                KAppLogHandler::instance()->write(QStringLiteral("t%1 n%2").arg(t).arg(i));
        }));
    }
    for (auto &thread : threads)
        thread->start();
    for (auto &thread : threads)
        QVERIFY(thread->wait(60000));

    QFile file(m_logPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.size() < KAppLogHandler::maximumFileSize);
    const QStringList lines = readLines(m_logPath);
    // The line that crossed the limit went to the old file; everything else is here.
    QCOMPARE(lines.size(), threadCount * linesPerThread - 1);
    const QRegularExpression whole(stampPattern + QStringLiteral("t\\d n\\d+$"));
    for (const QString &line : lines)
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
}

void tst_Log::nothingWrittenWhileClosingDown()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(runChild(dir.path(), QStringLiteral("closing"),
                      {QStringLiteral("--closing"), QStringLiteral("early line")}),
             0);
    const QStringList lines = readLines(dir.path() + QStringLiteral("/closing_log.txt"));
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().endsWith(QStringLiteral("] early line")));
}

void tst_Log::unwritableLogLosesLineQuietly()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A directory where the log file should be: the file cannot be opened.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("blocked_log.txt")));
    QByteArray errorOutput;
    QCOMPARE(runChild(dir.path(), QStringLiteral("blocked"),
                      {QStringLiteral("--write"), QStringLiteral("потерянная строка")},
                      &errorOutput),
             0);
    QVERIFY(QFileInfo(dir.path() + QStringLiteral("/blocked_log.txt")).isDir());
    QVERIFY2(QString::fromUtf8(errorOutput).contains(QStringLiteral("--------> [")),
             errorOutput.constData());
    QVERIFY(QString::fromUtf8(errorOutput).contains(QStringLiteral("] потерянная строка")));
}

void tst_Log::userLogRecordsNothing()
{
    const QStringList before = QDir(QCoreApplication::applicationDirPath()).entryList(QDir::Files);
    KUserLogHandler::instance()->write(0, QStringLiteral("Выход из программы"));
    KUserLogHandler::instance()->write(1, QStringLiteral("Удаление видеонабора"));
    QCOMPARE(KUserLogHandler::instance(), KUserLogHandler::instance());
    QVERIFY(!QFile::exists(m_logPath));
    QCOMPARE(QDir(QCoreApplication::applicationDirPath()).entryList(QDir::Files), before);
}

int main(int argc, char **argv)
{
    if (argc == 3 &&
        (std::strcmp(argv[1], "--write") == 0 || std::strcmp(argv[1], "--closing") == 0))
        return childMain(argc, argv);
    QCoreApplication application(argc, argv);
    tst_Log test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_log.moc"
