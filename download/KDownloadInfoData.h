#pragma once

#include <QDateTime>
#include <QString>

// Progress of one started download job, measured by the handler once a second.
struct KDownloadInfoData
{
    QString channelID;         // the channel of the last channelChanged()
    bool channelEnded = false; // it reported its last state: its time and speed stand still
    QString filePath;          // temporary file the worker writes now; empty before the first
    QDateTime channelStartDateTime;
    QDateTime jobStartDateTime;
    qint64 fileSize = 0;     // size of filePath at the last tick
    qint64 lastFileSize = 0; // bytes of filePath's current attempt already counted
    qint64 channelBytes = 0;
    qint64 jobBytes = 0;
    qint64 tickBytes = 0; // counted since the last tick: the speed
};
