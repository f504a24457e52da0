#pragma once

#include "KAbstractDeviceWorker.h"
#include "KDownloadChannelMap.h"

#include <QDateTime>
#include <QFileInfo>
#include <QString>

// Base of the archive download workers: downloads every channel of the map over the interval.
class KAbstractDownloadWorker : public KAbstractDeviceWorker
{
    Q_OBJECT

public:
    explicit KAbstractDownloadWorker(KObjectHandler *object, QObject *parent = nullptr);
    ~KAbstractDownloadWorker() override;

signals:
    void channelChanged(QString channelID);
    void channelStateChanged(QString channelID, int state);
    void intervalChanged(QString channelID, QDateTime beginDateTime, QDateTime endDateTime);
    void fileChanged(QString channelID, QFileInfo fileInfo);
    void progressStagesCountChanged(QString channelID, int count);
    void progressStageCompleted(QString channelID, int stage);

public slots:
    void run(KDownloadChannelMap channels, QDateTime beginDateTime, QDateTime endDateTime,
             int flags);
    virtual void quit();

protected:
    // The download itself, given by the worker family.
    virtual void download(const KDownloadChannelMap &channels, const QDateTime &beginDateTime,
                          const QDateTime &endDateTime, int flags) = 0;

    QString m_currentChannelID;
};
