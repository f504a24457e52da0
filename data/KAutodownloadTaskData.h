#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

// An automatic download task (a row of "autodownload_tasks"). Status 1 and 2 are picked up.
class KAutodownloadTaskData
{
public:
    KAutodownloadTaskData();

    int kind = 0;
    int objectId = -1;
    int type = 0;
    QDateTime startTime; // today 12:00:00 local time
    QDateTime stopTime;  // today 12:00:00 local time
    QDateTime currentTime;
    QString channels;
    bool pasCountEnabled = false;
    bool autoDeletionEnabled = false;
    int status = 1;
};

Q_DECLARE_METATYPE(KAutodownloadTaskData)
