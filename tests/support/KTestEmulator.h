#pragma once

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

    KTestEmulator();
    ~KTestEmulator();
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
    // --port and --status-port (free ports there) are added; a control channel on 127.0.0.1
    // is always added, and --quiet with Quiet. Waits until it reports ready. False (see
    // log()) when it did not start or ended.
    bool start(const QStringList &arguments = {}, Logging logging = Quiet, int timeoutMs = 20000);
    // Terminates it (kills it after 5 s); the exit is then in exitCode().
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    // The first --host (or the one chosen), the recorder port and the status port.
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    quint16 statusPort() const { return m_statusPort; }
    quint16 controlPort() const { return m_controlPort; }

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
    void readOutput();

    QProcess m_process;
    QString m_log;
    QString m_host;
    quint16 m_port = 0;
    quint16 m_statusPort = 0;
    quint16 m_controlPort = 0;
};
