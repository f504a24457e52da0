#pragma once

#include <QDateTime>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>

// An automatic download task (a row of "autodownload_tasks"). Status 1 and 2 are picked up.
//
// A task is downloading while a workstation (holder) keeps a lease on it; a holder that dies
// stops renewing, and after the lease another workstation takes the task over from what its
// progress says was fetched.
class KAutodownloadTaskData
{
public:
    enum Status {
        Waiting = 1,    // never begun
        Begun = 2,      // begun; waits for its vehicle again (or is held)
        Done = 3,       // every channel over the whole interval
        PartlyDone = 4, // finished, but minutes of the interval were not on the recorder
        Failed = 5,     // ended with an error (reason)
        Cancelled = 6   // by an operator
    };

    KAutodownloadTaskData();

    int kind = 0;
    int objectId = -1;
    int type = 0;
    QDateTime startTime; // today 12:00:00 local time
    QDateTime stopTime;  // today 12:00:00 local time
    // The moment up to which every channel of the task is fetched.
    QDateTime currentTime;
    // Channel IDs separated by commas; empty: every channel the recorder has.
    QString channels;
    bool pasCountEnabled = false;
    bool autoDeletionEnabled = false;
    int status = 1;

    // Columns added for the shared queue; old rows leave them empty.
    int id = -1;
    QString holder;         // the workstation working on it, or the one that finished it
    QDateTime leaseExpiry;  // when the holder's claim ends unless renewed
    bool leaseLive = false; // read from the database's clock: the holder's lease has not ended
    // How far each channel is fetched (the fragments before it exist somewhere).
    QMap<QString, QDateTime> channelProgress;
    QString reason;         // why it failed; the channels lacking minutes when partly done
    int missingSeconds = 0; // partly done: seconds of the interval the recorder did not have

    bool isPending() const { return status == Waiting || status == Begun; }
    // The channel IDs; empty for every channel.
    QStringList channelList() const;
    // "ACAM01=1710400000;ACAM02=1710400300" (seconds since 1970 UTC) and back; entries that
    // do not read are left out.
    static QString progressText(const QMap<QString, QDateTime> &progress);
    static QMap<QString, QDateTime> parseProgress(const QString &text);
};

Q_DECLARE_METATYPE(KAutodownloadTaskData)
