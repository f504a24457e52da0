#pragma once

#include "KDownloadChannelMap.h"

#include <QDateTime>
#include <QMap>

class KObjectHandler;

// Parameters of a download job.
struct KDownloadJobData
{
    KObjectHandler *objectHandler = nullptr; // not owned
    KDownloadChannelMap channels;
    QDateTime beginDateTime;
    QDateTime endDateTime;
    int flags = 0; // 2: delete each finished video set folder
    // Per channel: fragments ending by then were fetched by another workstation (a shared task
    // taken over) and are not fetched again when missing here.
    QMap<QString, QDateTime> fetchedElsewhere = {};
};
