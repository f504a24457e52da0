#pragma once

#include "KAbstractVideoView.h"
#include "KVideoSetData.h"

#include <QPoint>

class QRubberBand;
class KMpvPlayer;

// A tile playing one channel file of a video set. A rectangle dragged with the left button
// zooms into that part of the picture; the right button shows the whole picture again.
class KVideoView : public KAbstractVideoView
{
    Q_OBJECT

public:
    explicit KVideoView(QWidget *parent = nullptr);
    ~KVideoView() override;

    // The set and the channel (its key in the set) this tile plays; stops what played.
    void setVideoSet(const KVideoSetData &videoSet, const QString &channelID);
    KMpvPlayer *player() const { return m_player; }
    bool isRepeat() const { return m_repeat; }
    qint64 position() const;
    // The snapshot file for the current position.
    QString snapshotPath() const;
    // Seek and speed nudge that keep this tile at a master's position.
    void followPosition(qint64 masterPosition, double baseSpeed);
    // One frame forward or back while paused.
    void stepFrame(bool forward);

    static double speedFactor(int speed);

signals:
    void positionChanged(qlonglong position);
    void durationChanged(qlonglong duration);
    void stopped();

public slots:
    void play() override;
    void pause() override;
    void stop() override;
    void setPlaybackSpeed(int speed) override;
    void setRepeat(bool playbackState);
    void setVolume(int value) override;
    void setSoundEnabled(bool enable) override;
    void takeSnapshot() override;
    void setPosition(int position);
    void saveSnapshot(QImage image);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void showError(const QString &text);
    QPoint surfacePoint(const QPoint &viewPoint) const;

    KMpvPlayer *m_player = nullptr;
    QRubberBand *m_rubberBand = nullptr;
    KVideoSetData m_videoSet;
    QString m_snapshotPath;
    bool m_repeat = false;
    bool m_selecting = false;
    QPoint m_selectionOrigin;
};
