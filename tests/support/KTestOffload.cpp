#include "KTestOffload.h"

#include "KTestPostgres.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

KTestOffload::KTestOffload(const QString &name, const QString &folder) : m_name(name), m_dir(folder)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

KTestOffload::~KTestOffload()
{
    if (m_process.state() != QProcess::NotRunning)
        kill();
}

QString KTestOffload::passwordFile(const KTestPostgres &server, const QString &folder)
{
    const QString path = folder + QStringLiteral("/pgpass");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(
        ("*:*:*:" + KTestPostgres::superuser() + ":" + server.superPassword() + "\n").toUtf8());
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return path;
}

bool KTestOffload::start(const KTestPostgres &server, const QString &database,
                         const QString &passwordFile, const QStringList &options,
                         int reliabilityMode)
{
    const QString config = m_dir + QStringLiteral("/home/config/Tarnwick");
    if (!QDir().mkpath(config))
        return false;
    QFile userStore(config + QStringLiteral("/Velmora Viewer.conf"));
    if (!userStore.open(QIODevice::WriteOnly))
        return false;
    userStore.write(QStringLiteral("[General]\nlocalVideoPath=%1\ndownloadReliabilityMode=%2\n")
                        .arg(store())
                        .arg(reliabilityMode)
                        .toUtf8());
    userStore.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_dir + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir + QStringLiteral("/home/config"));
    m_process.setProcessEnvironment(environment);
    m_process.start(QStringLiteral(VELMORA_BIN_DIR "/velmora-offload"),
                    QStringList{QStringLiteral("--host"), server.socketDir(),
                                QStringLiteral("--port"), QString::number(server.port()),
                                QStringLiteral("--dbname"), database, QStringLiteral("--user"),
                                KTestPostgres::superuser(), QStringLiteral("--password-file"),
                                passwordFile, QStringLiteral("--holder"), m_name,
                                QStringLiteral("--log"), m_dir + QStringLiteral("/log.txt")} +
                        options);
    const QDeadlineTimer deadline(30000);
    while (!output().contains(QLatin1String("velmora-offload: ready"))) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(100);
        QCoreApplication::processEvents();
    }
    return true;
}

int KTestOffload::terminate()
{
    m_process.terminate();
    if (!m_process.waitForFinished(30000) || m_process.exitCode() != 0)
        return -1;
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("stopped, (\\d+) tasks finished, (\\d+) database"))
            .match(output());
    if (!match.hasMatch())
        return -1;
    m_statements = match.captured(2).toLongLong();
    return match.captured(1).toInt();
}

void KTestOffload::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString KTestOffload::output()
{
    m_output += QString::fromUtf8(m_process.readAll());
    return m_output;
}

QString KTestOffload::log() const
{
    QFile file(m_dir + QStringLiteral("/log.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
