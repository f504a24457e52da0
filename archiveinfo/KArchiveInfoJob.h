#pragma once

#include <QDateTime>
#include <QString>

class KObjectHandler;

// Parameters of an archive-information job: which minutes of a day (searchType 0) or which
// days of a month (1) hold recordings of one channel.
struct KArchiveInfoJob
{
    KObjectHandler *object = nullptr;
    QString channelID;  // key in the object's channel map
    int searchType = 0; // 0 day, 1 month
    QDateTime dateTime; // only its date is used
};
