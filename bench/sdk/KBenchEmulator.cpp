#include "KBenchEmulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <sys/resource.h>
#include <unistd.h>

KBenchEmulator::~KBenchEmulator()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool KBenchEmulator::start(const QString &host, const QStringList &flags)
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress(host), 0))
        return false;
    m_port = probe.serverPort();
    probe.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"),
                    QStringList{QStringLiteral("--host"), host, QStringLiteral("--port"),
                                QString::number(m_port), QStringLiteral("--status-port"),
                                QStringLiteral("0")} +
                        flags);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000 && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(200);
        if (log().contains(QLatin1String("ready")))
            return true;
    }
    return false;
}

QString KBenchEmulator::log()
{
    m_log += QString::fromUtf8(m_process.readAll());
    return m_log;
}

double KBenchEmulator::cpuSeconds() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(m_process.processId()));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

double KBenchEmulator::ownCpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
