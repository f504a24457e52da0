#pragma once

#include "KAbstractDeviceWorker.h"
#include "KChannelData.h"

#include <QDateTime>
#include <QMutex>
#include <QString>

class QTimer;

// Base of the live and archive view workers: plays one channel of the object's recorder into a
// native window. State: 0 playing, 1 paused, 2 stopped. The families log their own texts around
// the common slots and give the device primitives.
class KAbstractViewWorker : public KAbstractDeviceWorker
{
    Q_OBJECT

public:
    KAbstractViewWorker(KObjectHandler *object, int windowHandle, QObject *parent = nullptr);
    ~KAbstractViewWorker() override;

    int windowHandle() const { return m_windowHandle; }
    // Time of the picture on screen; read by the handler from the UI thread.
    QDateTime currentDateTime() const;
    int playbackSpeed() const { return m_playbackSpeed; }
    int streamType() const { return m_streamType; }

signals:
    void snapshotTaken(bool result);

public slots:
    // Takes the channel from the object's map; an unavailable channel leaves the worker idle.
    void run(const QString &channelID, int streamType, const QDateTime &dateTime);
    // Stops the view and ends the job, also for a worker that never started.
    void quit();

    virtual void play(QDateTime dateTime);
    virtual void stop();
    virtual void pause();
    virtual void resume();
    virtual void restart(QDateTime dateTime);
    virtual void setStreamType(int type);
    virtual void setPlaybackSpeed(int speed);
    virtual void setVolume(int volume);
    virtual void takeSnapshot(QString savePath);

protected:
    virtual bool startView() = 0;
    virtual bool pauseView() = 0;
    virtual bool resumeView() = 0;
    virtual bool stopView() = 0;
    virtual bool applyPlaybackSpeed() = 0;
    virtual bool applyVolume() = 0;
    virtual bool saveSnapshot() = 0;
    virtual void readCurrentDateTime() = 0;

    bool isConnected() const;
    void setCurrentDateTime(const QDateTime &dateTime);
    // One log line about the object with the channel's name as context.
    void log(const QString &message, int code = 0) const;
    // Sleeps channelNumber x channelStartDelay ms so that the channels of one recorder start
    // staggered; returns the delay.
    int sleepChannelDelay() const;
    // The snapshot file's path for a picture time.
    QString snapshotPath(const QDateTime &pictureTime) const;
    // Waits for the written picture and logs the outcome with the family's texts.
    bool checkSnapshot(const QString &path, const QString &savedText, const QString &errorText);

    int m_windowHandle = 0;
    KChannelData m_channel;
    QDateTime m_startDateTime;
    int m_streamType = -1;
    int m_playbackSpeed = 3;
    bool m_soundOpened = false;
    int m_volume = 100;
    QString m_snapshotSavePath;
    QTimer *m_dateTimeTimer = nullptr;

private slots:
    void updateConnection();
    void updateCurrentDateTime();

private:
    // The view runs: read its on-screen time now and then every second, however it was started
    // (play, or the recorder's return after a lost connection).
    void startDateTimeTimer();
    void deleteTimer();

    // Guards m_currentDateTime, written in the worker's thread and read by the handler.
    mutable QMutex m_dateTimeLock;
    QDateTime m_currentDateTime;
};
