#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// The real recorder-emulator program started for one test, and the small helpers every
// network test needs. Every wait is bounded. The destructor stops the emulator.
//
//     KTestEmulator emu;
//     QVERIFY2(emu.start({"--analog", "8"}), qPrintable(emu.log()));
//     NET_DVR_Login_V30(emu.host(), emu.port(), ...);
//     QVERIFY(emu.commandOk("unreachable 2"));
class KTestEmulator
{
public:
    enum Logging { Quiet, Events };

    // One recording file as the control channel's `files` lists it.
    struct File
    {
        QString name;
        QDateTime begin, end;
        bool locked = false;
        bool operator==(const File &o) const
        {
            return name == o.name && begin == o.begin && end == o.end && locked == o.locked;
        }
        friend char *toString(const File &f); // for QCOMPARE's messages
    };

    // Every emulator of the tests keeps this archive, whatever its address: the schedule
    // follows the seed and the day only, and the days kept reach past the window below.
    static constexpr const char *archiveSeed = "velmora-test";
    static constexpr int archiveDays = 14;
    // Days of the archive that tests take recordings from: nine back to the day before
    // yesterday of the recorder's clock. They are finished and stay kept when midnight
    // passes during a test; on every day of 2024..2045 they hold what the pickers below look
    // for (tst_emulator_archive proves it).
    static QPair<QDateTime, QDateTime> pastWindow(const QDateTime &now);
    // A moment 30 s into the first file of at least seconds + 60 s; invalid when none.
    static QDateTime momentIn(const QList<File> &files, int seconds);
    // The first hole of minimumSeconds to three hours between two files of five minutes or
    // more.
    static QPair<QDateTime, QDateTime> gapIn(const QList<File> &files, int minimumSeconds = 1);
    // The files a download takes (the recorder keeps locked ones back).
    static QList<File> unlocked(const QList<File> &files);
    // The middle of the first stretch of at least seconds that every list records.
    static QDateTime commonMoment(const QList<QList<File>> &channels, int seconds);

    KTestEmulator() { m_process.setProcessChannelMode(QProcess::MergedChannels); }
    ~KTestEmulator() { stop(); }
    KTestEmulator(const KTestEmulator &) = delete;
    KTestEmulator &operator=(const KTestEmulator &) = delete;

    // A random loopback address 127.0.x.y (never 127.0.0.1), so that tests running side by
    // side do not share one.
    static QString freeHost();
    // A port nobody listens on at host right now; 0 when host cannot be bound.
    static quint16 freePort(const QString &host);
    // Runs the event loop until condition() holds or timeoutMs pass; the last condition().
    static bool waitFor(const std::function<bool()> &condition, int timeoutMs);

    // Starts the emulator with the arguments. Unless they give them, --host (freeHost()),
    // --port and --status-port (free ports there), --archive-seed and --archive-days (above)
    // are added; a control channel on 127.0.0.1 is always added, and --quiet with Quiet.
    // VELMORA_TEST_EMULATOR_NOW (yyyy-MM-ddThh:mm:ss) sets the recorder clock at the start:
    // its offset is added to any --clock-offset. Waits until it reports ready; started again
    // on other ports when one it was given was taken meanwhile. False (see log()) when it did
    // not start or ended.
    bool start(const QStringList &arguments = {}, Logging logging = Quiet, int timeoutMs = 20000);
    // Terminates it (kills it after 5 s); the exit is then in exitCode().
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    // The first --host (or the one chosen) and the ports.
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    quint16 statusPort() const { return m_statusPort; }
    quint16 controlPort() const { return m_controlPort; }
    // The recorder clock: the host's plus the clock offset.
    QDateTime now() const { return QDateTime::currentDateTime().addSecs(m_clockOffset); }
    // Sets every recorder's clock to read at now.
    bool moveClock(const QDateTime &at);
    // The channel's files overlapping [from, to] as the recorder at host() lists them.
    QList<File> files(int channel, const QDateTime &from, const QDateTime &to);
    // The same over pastWindow(now()).
    QList<File> pastFiles(int channel);

    // One control-channel command; the answer lines, the last one starting with "ok" or
    // "error" ("error timeout" / "error no control channel" when nothing came).
    QStringList command(const QString &line, int timeoutMs = 10000);
    // The same, true when the answer is "ok"; *data gets the lines before it.
    bool commandOk(const QString &line, QStringList *data = nullptr, int timeoutMs = 10000);

    // Everything the emulator printed so far (stdout and stderr).
    QString log();
    // Waits until the log holds text.
    bool waitForLog(const QString &text, int timeoutMs);
    // The exit code after a normal end; -1 after a crash or while it runs.
    int exitCode() const;

    // One exchange with a vehicle status port: the bytes that came back until a pause of
    // 200 ms after the first ones, or until timeoutMs.
    static QByteArray statusExchange(const QString &host, quint16 port, const QByteArray &request,
                                     int timeoutMs = 2000);

private:
    bool launch(const QStringList &arguments, Logging logging, int timeoutMs);
    void readOutput() { m_log += QString::fromUtf8(m_process.readAll()); }

    QProcess m_process;
    QString m_log;
    QString m_host;
    quint16 m_port = 0;
    quint16 m_statusPort = 0;
    quint16 m_controlPort = 0;
    qint64 m_clockOffset = 0;
};
