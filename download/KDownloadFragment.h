#pragma once

#include <QDateTime>
#include <QFileInfo>

// One piece of a channel's file fetched from the recorder on its own: file is the fragment's
// ".ts" path in the set folder.
struct KDownloadFragment
{
    QFileInfo file;
    QDateTime beginDateTime;
    QDateTime endDateTime;
};
