#pragma once

#include <QDateTime>
#include <QString>

class KObjectHandler;

// Parameters of a view job: live (viewType 0) or archive (1) view of one channel into a
// native window.
struct KViewJob
{
    KObjectHandler *object = nullptr;
    int viewType = 0;
    int windowHandle = 0; // the render widget's native window id cut to 32 bits
    QString channelID;    // key in the object's channel map
    int streamType = 0;   // 0 main, 1 sub stream
    QDateTime dateTime;   // archive start; ignored for live
};
