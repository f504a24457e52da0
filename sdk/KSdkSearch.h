#pragma once

#include "KRecorderMessages.h"
#include "KSdkSession.h"

#include <QVector>
#include <memory>
#include <mutex>

// One open archive search: the recorder's search id and the files fetched but not yet handed
// to the caller (at most one batch).
struct KSdkSearch
{
    std::shared_ptr<KSdkSession> session;
    quint32 searchId = 0;
    QVector<KMsgFile> buffer;
    int nextIndex = 0;
    quint64 returned = 0;
    bool done = false;
    qint64 busySince = -1; // KSdkSocket::now() of the first "busy" in a row, else -1
    int error = 0;         // set once the search failed
    std::mutex mutex;      // one call at a time per search; guards the fields above
};
