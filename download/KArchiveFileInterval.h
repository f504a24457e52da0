#pragma once

#include <QDateTime>
#include <QString>

// One recording file the recorder reported for a channel.
struct KArchiveFileInterval
{
    QString fileName;
    QDateTime beginDateTime;
    QDateTime endDateTime;
    bool locked = false; // kept by the recorder: never downloaded, but said so
    qint64 size = 0;     // bytes, as the recorder reports them (0: unknown)
};
