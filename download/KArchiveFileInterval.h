#pragma once

#include <QDateTime>
#include <QString>

// One recording file the recorder reported for a channel.
struct KArchiveFileInterval
{
    QString fileName;
    QDateTime beginDateTime;
    QDateTime endDateTime;
};
