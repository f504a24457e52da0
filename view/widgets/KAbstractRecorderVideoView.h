#pragma once

#include "KAbstractVideoView.h"

class KObjectHandler;
class QTimer;

// A tile bound to a recorder channel: its playback is a view job of the view handler. While it
// plays, its title bar shows the stream's bit rate, and "слабый канал" while the pictures come
// late or the link leaves some out (read once a second from the SDK's picture surface).
class KAbstractRecorderVideoView : public KAbstractVideoView
{
    Q_OBJECT

public:
    explicit KAbstractRecorderVideoView(QWidget *parent = nullptr);
    ~KAbstractRecorderVideoView() override;

    void setObject(KObjectHandler *objectHandler);
    KObjectHandler *object() const { return m_objectHandler; }
    int jobID() const { return m_jobID; }
    int streamType() const { return m_streamType; }
    QLabel *linkLabel() const { return m_linkLabel; }

    // The folder a snapshot of the object goes to: the object's name as one folder below root.
    // Separators and ".." in the name cannot lead out of root.
    static QString snapshotFolder(const QString &root, const QString &objectName);

public slots:
    void pause() override;
    void stop() override;
    void setCurrentChannel(QString channelID) override;
    void setStreamType(int type);
    void setPlaybackSpeed(int speed) override;
    void setVolume(int value) override;
    void setSoundEnabled(bool enable) override;
    void takeSnapshot() override;

protected slots:
    void handleSnapshotTake(int jobID, bool success);

protected:
    void paintEvent(QPaintEvent *event) override;
    // Adds the view job of this tile (viewType 0 live, 1 archive) and shows the playing state.
    void startJob(int viewType, const QDateTime &dateTime);

    KObjectHandler *m_objectHandler = nullptr;
    int m_jobID = -1;
    int m_streamType = -1;

private:
    void showLink();

    QLabel *m_linkLabel = nullptr;
    QTimer *m_linkTimer = nullptr;
};
