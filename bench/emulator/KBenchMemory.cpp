#include "KBenchMemory.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace KBenchMemory {

double rssMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QString text = QString::fromLatin1(status.readAll());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB")).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() / 1024.0 : 0;
}

qint64 emulatorPid(quint16 controlPort)
{
    const QString needle = QString::number(controlPort);
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmd.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = cmd.readAll().split('\0');
        if (!args.isEmpty() && args[0].endsWith("recorder-emulator") &&
            args.contains(needle.toLatin1()))
            return pid;
    }
    return 0;
}

} // namespace KBenchMemory
