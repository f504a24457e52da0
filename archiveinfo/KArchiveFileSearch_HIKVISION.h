#pragma once

#include "KChannelData.h"

#include <QDateTime>

#include <functional>

class KObjectHandler_HIKVISION;

// One search of a channel's archive files through the recorder SDK, shared by the day and the
// month search: opens the search for an interval, hands every file found to a callback, waits
// politely while the recorder is busy, and always closes the search it opened.
class KArchiveFileSearch_HIKVISION
{
public:
    enum Outcome { Completed, Cancelled, Failed };
    using FileHandler = std::function<void(const QDateTime &start, const QDateTime &stop)>;
    using ActiveTest = std::function<bool()>;

    KArchiveFileSearch_HIKVISION(KObjectHandler_HIKVISION *object, const KChannelData &channel);

    // Searches [from, to] (whole seconds, recorder local time). active() is asked before every
    // request; once it is false the search ends as Cancelled. A search that could not be
    // opened or broke off is logged and ends as Failed.
    Outcome run(const QDateTime &from, const QDateTime &to, const ActiveTest &active,
                const FileHandler &onFile);

    // The SDK error of the failure; 0 otherwise.
    int errorCode() const { return m_errorCode; }
    // Busy answers the recorder gave in this search.
    int busyAnswers() const { return m_busyAnswers; }

private:
    void logFailure(int code) const;

    KObjectHandler_HIKVISION *m_object;
    KChannelData m_channel;
    int m_errorCode = 0;
    int m_busyAnswers = 0;
};
