#pragma once

#include "KDownloadChannelMap.h"

#include <QDateTime>

class KObjectHandler;

// Parameters of a download job.
struct KDownloadJobData
{
    KObjectHandler *objectHandler = nullptr; // not owned
    KDownloadChannelMap channels;
    QDateTime beginDateTime;
    QDateTime endDateTime;
    int flags = 0; // 2: delete each finished video set folder
};
