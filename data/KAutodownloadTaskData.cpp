#include "KAutodownloadTaskData.h"

KAutodownloadTaskData::KAutodownloadTaskData()
    : startTime(QDate::currentDate(), QTime(12, 0, 0)), stopTime(startTime)
{
    static const int typeId = qRegisterMetaType<KAutodownloadTaskData>("KAutodownloadTaskData");
    Q_UNUSED(typeId)
}

QStringList KAutodownloadTaskData::channelList() const
{
    QStringList list;
    for (const QString &part : channels.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString channel = part.trimmed();
        if (!channel.isEmpty() && !list.contains(channel))
            list.append(channel);
    }
    return list;
}

QString KAutodownloadTaskData::progressText(const QMap<QString, QDateTime> &progress)
{
    QStringList parts;
    for (auto it = progress.cbegin(); it != progress.cend(); ++it) {
        if (it.value().isValid())
            parts << it.key() + QLatin1Char('=') + QString::number(it.value().toSecsSinceEpoch());
    }
    return parts.join(QLatin1Char(';'));
}

QMap<QString, QDateTime> KAutodownloadTaskData::parseProgress(const QString &text)
{
    QMap<QString, QDateTime> progress;
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int at = part.indexOf(QLatin1Char('='));
        bool ok = false;
        const qint64 seconds = at > 0 ? part.mid(at + 1).toLongLong(&ok) : 0;
        if (ok)
            progress.insert(part.left(at).trimmed(), QDateTime::fromSecsSinceEpoch(seconds));
    }
    return progress;
}
