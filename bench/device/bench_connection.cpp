// Connection polling over an emulated fleet: how long one poll pass takes until every object's
// state is known, how long the UI thread stalls meanwhile, and what one connection job costs.
#include "KConnectionHandler.h"
#include "KObjectHandler_HIKVISION.h"
#include "KObjectMaster.h"
#include "KPasswordCipher.h"
#include "KRecorderSDK.h"
#include "KSettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <vector>

#include <algorithm>
#include <cstdio>

namespace {

// Largest gap between 1-ms timer ticks on the UI thread while it runs.
class StallWatchdog : public QObject
{
public:
    StallWatchdog()
    {
        m_timer.setInterval(1);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this,
                [this]() { m_longest = std::max(m_longest, m_clock.restart()); });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_timer.start();
    }
    qint64 stop()
    {
        m_timer.stop();
        return std::max(m_longest, m_clock.elapsed());
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

int freePort(const QString &host)
{
    QTcpServer server;
    return server.listen(QHostAddress(host), 0) ? server.serverPort() : 0;
}

QString fleetHost(int index)
{
    return QStringLiteral("127.0.%1.%2").arg(100 + index / 200).arg(2 + index % 200);
}

struct PassResult
{
    qint64 milliseconds = 0;
    qint64 longestStall = 0;
    QMap<int, int> states;     // state -> objects
    QMap<int, qint64> slowest; // state -> latest answer in the pass, ms
};

// One poll pass: waits until every object reported a result (or the limit passed).
PassResult pollPass(KObjectMaster &master, bool demand, int limitMs)
{
    const QMap<int, KObjectHandler *> objects = master.objects();
    int pending = objects.size();
    QList<QMetaObject::Connection> connections;
    QEventLoop loop;
    QElapsedTimer clock;
    PassResult result;
    for (KObjectHandler *object : objects) {
        connections << QObject::connect(object, &KObjectHandler::connectionStateChanged, &loop,
                                        [&pending, &loop, &clock, &result, object]() {
                                            qint64 &slowest =
                                                result.slowest[object->connectionState()];
                                            slowest = std::max(slowest, clock.elapsed());
                                            if (--pending == 0)
                                                loop.quit();
                                        });
    }
    StallWatchdog watchdog;
    watchdog.start();
    clock.start();
    for (KObjectHandler *object : objects) {
        if (demand)
            object->requireConnection(true); // the first user starts a login job at once
    }
    if (!demand)
        QMetaObject::invokeMethod(&master, "poll");
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    if (pending > 0)
        loop.exec();
    result.milliseconds = clock.elapsed();
    result.longestStall = watchdog.stop();
    for (const auto &connection : connections)
        QObject::disconnect(connection);
    for (KObjectHandler *object : objects)
        result.states[object->connectionState()]++;
    if (pending > 0)
        std::printf("  (%d objects had not answered after %d ms)\n", pending, limitMs);
    return result;
}

void printPass(const char *title, const PassResult &result)
{
    QStringList states;
    for (auto it = result.states.cbegin(); it != result.states.cend(); ++it)
        states << QStringLiteral("state %1: %2 by %3 ms")
                      .arg(it.key())
                      .arg(it.value())
                      .arg(result.slowest.value(it.key()));
    std::printf("%-44s %7lld ms   longest UI stall %4lld ms   (%s)\n", title,
                static_cast<long long>(result.milliseconds),
                static_cast<long long>(result.longestStall), qPrintable(states.join(", ")));
}

// Average wall time of one job for the object, from addJob to the result on the UI thread.
double jobCost(KObjectHandler *object, int options, int runs)
{
    KConnectionHandler *handler = KConnectionHandler::instance();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < runs; ++i) {
        QEventLoop loop;
        int jobID = -1;
        auto connection =
            QObject::connect(handler, &KConnectionHandler::resultReceived, &loop, [&](int id, int) {
                if (id == jobID)
                    loop.quit();
            });
        jobID = handler->addJob(KDeviceJob{object, options});
        loop.exec();
        QObject::disconnect(connection);
    }
    return double(clock.nsecsElapsed()) / 1e6 / runs;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Connection polling over an emulated fleet"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("fleet"), QStringLiteral("emulated recorders (220)"),
                      QStringLiteral("N"), QStringLiteral("220")});
    parser.addOption({QStringLiteral("refused"),
                      QStringLiteral("objects on addresses where nothing listens (20)"),
                      QStringLiteral("N"), QStringLiteral("20")});
    parser.addOption({QStringLiteral("silent"),
                      QStringLiteral("objects on a documentation address that never answers (10)"),
                      QStringLiteral("N"), QStringLiteral("10")});
    parser.addOption({QStringLiteral("threads"),
                      QStringLiteral("connection threads (default: settings, 100)"),
                      QStringLiteral("N"), QString()});
    parser.process(app);
    const int fleet = parser.value(QStringLiteral("fleet")).toInt();
    const int refused = parser.value(QStringLiteral("refused")).toInt();
    const int silent = parser.value(QStringLiteral("silent")).toInt();

    KSettings *settings = KSettings::instance();
    const int threads = parser.value(QStringLiteral("threads")).isEmpty()
                            ? settings->connectionThreadLimit()
                            : parser.value(QStringLiteral("threads")).toInt();

    // One emulator process holding the whole fleet; every tenth recorder has no status port.
    QTemporaryDir dir;
    const int port = freePort(fleetHost(0));
    const int statusPort = freePort(fleetHost(0));
    QJsonArray recorders;
    for (int i = 0; i < fleet; ++i) {
        QJsonObject recorder{{"host", fleetHost(i)}, {"analog", 4}};
        if (i % 10 == 9)
            recorder.insert(QStringLiteral("statusPort"), 0);
        recorders.append(recorder);
    }
    const QJsonObject config{{"defaults", QJsonObject{{"port", port}, {"statusPort", statusPort}}},
                             {"recorders", recorders}};
    const QString configPath = dir.filePath(QStringLiteral("fleet.json"));
    QFile configFile(configPath);
    if (!configFile.open(QIODevice::WriteOnly))
        return 1;
    configFile.write(QJsonDocument(config).toJson());
    configFile.close();

    QProcess emulator;
    emulator.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"),
                   {QStringLiteral("--config"), configPath, QStringLiteral("--quiet"),
                    QStringLiteral("--render-threads"), QStringLiteral("1")});
    QByteArray output;
    QElapsedTimer startClock;
    startClock.start();
    while (!output.contains("ready") && startClock.elapsed() < 60000 &&
           emulator.state() != QProcess::NotRunning) {
        emulator.waitForReadyRead(200);
        output += emulator.readAllStandardError();
    }
    if (!output.contains("ready")) {
        std::fprintf(stderr, "emulator did not start: %s\n", output.constData());
        return 1;
    }

    QList<KObjectData> records;
    const QString password = KPasswordCipher::encipher(QStringLiteral("demo12345"));
    auto addRecord = [&](const QString &host) {
        KObjectData record;
        record.id = records.size() + 1;
        record.name = QStringLiteral("Объект %1").arg(record.id);
        record.host = host;
        record.recorder.type = 1;
        record.recorder.port = port;
        record.recorder.login = QStringLiteral("admin");
        record.recorder.password = password;
        records << record;
    };
    for (int i = 0; i < fleet; ++i)
        addRecord(fleetHost(i));
    for (int i = 0; i < refused; ++i)
        addRecord(QStringLiteral("127.0.99.%1").arg(2 + i));
    // Silent recorders: local listeners that take connections and never answer, so the
    // time-outs are exercised without sending anything off this machine.
    std::vector<std::unique_ptr<QTcpServer>> silentServers;
    for (int i = 0; i < silent; ++i) {
        const QString host = QStringLiteral("127.0.98.%1").arg(2 + i);
        for (const quint16 silentPort : {quint16(5031), quint16(port)}) {
            auto server = std::make_unique<QTcpServer>();
            if (server->listen(QHostAddress(host), silentPort)) {
                server->pauseAccepting();
                silentServers.push_back(std::move(server));
            }
        }
        addRecord(host);
    }

    KRecorderSDK::instance()->initialize();
    KConnectionHandler::instance()->initialize(threads);
    std::printf("fleet: %d emulated recorders, %d refusing addresses, %d silent addresses; "
                "%d connection threads; time-outs modem %d ms, recorder %d ms\n",
                fleet, refused, silent, threads, settings->modemConnectionTimeout(),
                settings->recorderConnectionTimeout());

    // The master polls all objects once when it starts; the fixed status port 5031 it writes
    // is not the emulator's, so its records are set to the fleet's port afterwards.
    KObjectMaster master;
    master.start(records);
    {
        QEventLoop settle;
        QTimer::singleShot(6000, &settle, &QEventLoop::quit);
        settle.exec();
    }
    for (KObjectHandler *object : master.objects())
        object->updateRecord([statusPort](KObjectData &r) { r.modem.statusPort = statusPort; });

    printPass("poll pass, reachability only:", pollPass(master, false, 60000));
    printPass("poll pass, every object needed (login):", pollPass(master, true, 120000));
    printPass("poll pass, all logged in (clock only):", pollPass(master, false, 60000));

    KObjectHandler *one = master.object(1);
    std::printf("one job, reachability only:              %8.2f ms\n", jobCost(one, 0, 50));
    std::printf("one job, connected (clock only):         %8.2f ms\n", jobCost(one, 1, 50));
    // A fresh object handler logs in and reads device information and channels.
    double firstLogin = 0;
    const int logins = 20;
    for (int i = 0; i < logins; ++i) {
        KObjectData record = records.at(1);
        record.recorder.password = QStringLiteral("demo12345");
        record.modem.statusPort = statusPort;
        KObjectHandler_HIKVISION fresh(record);
        firstLogin += jobCost(&fresh, 1, 1);
    }
    std::printf("one job, first login with device info:  %8.2f ms\n", firstLogin / logins);
    std::printf("one job, unreachable (refused):          %8.2f ms\n",
                jobCost(master.object(fleet + 1), 1, 20));

    master.stop();
    KConnectionHandler::instance()->shutdown();
    KRecorderSDK::instance()->cleanup();
    emulator.terminate();
    emulator.waitForFinished(5000);
    return 0;
}
