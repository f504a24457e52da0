#pragma once

#include "KAbstractDownloadWorker.h"

class KObjectHandler_HIKVISION;

// Download worker for the recorders driven through the recorder SDK: the archive search and
// the transfer of one fragment.
class KDownloadWorker_HIKVISION : public KAbstractDownloadWorker
{
    Q_OBJECT

public:
    explicit KDownloadWorker_HIKVISION(KObjectHandler_HIKVISION *object, QObject *parent = nullptr);
    ~KDownloadWorker_HIKVISION() override;

    int searchIntervals(QString channelID, QDateTime beginDateTime, QDateTime endDateTime,
                        QList<KArchiveFileInterval> &files) override;
    int downloadFragment(QString channelID, KDownloadFragment fragment) override;

private:
    int loginID() const;
    // Ends a transfer that will not be used and removes what it wrote.
    void dropTransfer(int handle, const QString &temporaryPath);
};
