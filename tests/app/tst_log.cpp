#include "KAppLogHandler.h"
#include "KObjectData.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

namespace {

const QString stamp = QStringLiteral("^\\[\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\] ");

QStringList readLines(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

KObjectData busObject(int recorderType)
{
    KObjectData object;
    object.name = "Автобус 101";
    object.host = "127.0.0.2";
    object.recorder.type = recorderType;
    return object;
}

QtMessageHandler testLogHandler = nullptr;

// The echo of every log line would drown the test report.
void dropLogEcho(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg || !message.startsWith(QLatin1String("--------> ")))
        testLogHandler(type, context, message);
}

// Writes during the application object's destruction: must leave no trace.
class LateWriter : public QObject
{
public:
    using QObject::QObject;
    ~LateWriter() override { KAppLogHandler::instance()->write(QStringLiteral("late line")); }
};

// The same binary run as a child with "--closing TEXT": writes TEXT, then tries to write while
// the application closes down.
int childMain(int argc, char **argv)
{
    auto *application = new QCoreApplication(argc, argv);
    KAppLogHandler::instance()->write(QString::fromUtf8(argv[2]));
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
    void init() { QFile::remove(m_logPath = KAppLogHandler::instance()->filePath()); }
    void cleanup() { QFile::remove(m_logPath); }
    void lineFormats_data()
    {
        QTest::addColumn<int>("operation"); // 0 plain, 1 about an object, 2 with a context
        QTest::addColumn<int>("recorderType");
        QTest::addColumn<QString>("context");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        const QString object = "Автобус 101 (127.0.0.2, ";
        QTest::newRow("plain") << 0 << 1 << QString() << 0 << "Подключение к БД";
        QTest::newRow("object, negative code")
            << 1 << 1 << QString() << -3 << object + "MTR-HD): Вход выполнен [-3]";
        QTest::newRow("context, code 23") << 2 << 5 << "канал 1" << 23
                                          << object + "Неизвестный тип, канал 1): Вход выполнен [23]";
    }

    void lineFormats()
    {
        QFETCH(int, operation);
        QFETCH(int, recorderType);
        QFETCH(QString, context);
        QFETCH(int, code);
        QFETCH(QString, expected);
        const KObjectData object = busObject(recorderType);
        if (operation == 0)
            KAppLogHandler::instance()->write(expected);
        else if (operation == 1)
            KAppLogHandler::instance()->write(object, "Вход выполнен", code);
        else
            KAppLogHandler::instance()->write(object, context, "Вход выполнен", code);
        const QStringList lines = readLines(m_logPath);
        const QString text = lines.value(0);
        QVERIFY2(lines.size() == 1 && QRegularExpression(stamp).match(text).hasMatch(),
                 qPrintable(lines.join('\n')));
        QCOMPARE(text.mid(22), expected);
        // The stamp is the local time of the write.
        const QDateTime at = QDateTime::fromString(text.mid(1, 19), "dd.MM.yyyy hh:mm:ss");
        QVERIFY(qAbs(at.secsTo(QDateTime::currentDateTime())) < 120);
    }

    void truncatesAtExactlyTenMebibytes_data()
    {
        QTest::addColumn<qint64>("initialSize");
        QTest::addColumn<bool>("truncated");
        QTest::newRow("one byte below") << KAppLogHandler::maximumFileSize - 1 << false;
        QTest::newRow("exactly 10 MiB") << KAppLogHandler::maximumFileSize << true;
    }

    void truncatesAtExactlyTenMebibytes()
    {
        QFETCH(qint64, initialSize);
        QFETCH(bool, truncated);
        {
            QFile file(m_logPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(QByteArray(int(initialSize), 'x')), initialSize);
        }
        KAppLogHandler::instance()->write(QStringLiteral("после предела"));
        QFile file(m_logPath);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(truncated ? 0 : initialSize));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(QRegularExpression(stamp + "после предела\n$").match(text).hasMatch(),
                 qPrintable(text.left(100)));
    }

    void concurrentWritersAcrossTruncation()
    {
        // Just below the limit: one writer's line crosses it and the next empties the file while
        // the others keep writing. Lines are long, so interleaved writes would show.
        {
            QFile file(m_logPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(KAppLogHandler::maximumFileSize - 10));
        }
        const int threadCount = 8;
        const int linesPerThread = 300;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back(QThread::create([t] {
                const KObjectData object = busObject(1);
                for (int i = 0; i < linesPerThread; ++i) {
                    const QString message =
                        QStringLiteral("t%1 n%2 %3").arg(t).arg(i).arg(QString(200, QChar(0x0436)));
                    if (i % 2)
                        KAppLogHandler::instance()->write(object, message, 0);
                    else
                        KAppLogHandler::instance()->write(message);
                }
            }));
            threads.back()->start();
        }
        for (auto &thread : threads)
            QVERIFY(thread->wait(60000));

        QVERIFY(QFileInfo(m_logPath).size() < KAppLogHandler::maximumFileSize);
        const QStringList lines = readLines(m_logPath);
        // The line that crossed the limit went with the old contents; every other one is here.
        QCOMPARE(lines.size(), threadCount * linesPerThread - 1);
        const QRegularExpression whole(
            stamp +
            QStringLiteral("(Автобус 101 \\(127\\.0\\.0\\.2, MTR-HD\\): )?(t\\d n\\d+) ж{200}$"));
        QSet<QString> seen;
        for (const QString &line : lines) {
            const QRegularExpressionMatch match = whole.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line.left(120)));
            seen.insert(match.captured(2));
        }
        QCOMPARE(seen.size(), lines.size());
    }

    void nothingWrittenWhileClosingDown()
    {
        // A copy of this binary (a program finds its directory through its own file) as a child.
        QTemporaryDir dir;
        const QString program = dir.filePath("closing");
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
        QProcess child;
        child.start(program, {"--closing", "early line"});
        QVERIFY(child.waitForFinished(30000) && child.exitCode() == 0);
        const QStringList lines = readLines(dir.filePath("closing_log.txt"));
        QVERIFY2(lines.size() == 1 && lines[0].endsWith("] early line"), qPrintable(lines.join('\n')));
    }

private:
    QString m_logPath;
};

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--closing") == 0)
        return childMain(argc, argv);
    QCoreApplication application(argc, argv);
    tst_Log test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_log.moc"
