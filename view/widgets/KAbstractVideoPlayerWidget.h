#pragma once

#include "KObjectHandler.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <initializer_list>

class QHBoxLayout;
class QKeySequence;
class QLabel;
class QPushButton;
class QVBoxLayout;
class KAbstractVideoView;
class KChannelData;
class KFullSizeVideoPlayerWidget;
class KSlider;
class KVideoViewTableWidget;

// The common player: a grid of tiles driven together (play, pause, stop, speed, sound, number
// of windows, full screen). State: 0 playing, 1 paused, 2 stopped, 3 frozen. Frequent actions
// have keys: Space, "+", "-", F11 and Escape (leaves full screen).
class KAbstractVideoPlayerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KAbstractVideoPlayerWidget(QWidget *parent = nullptr);
    ~KAbstractVideoPlayerWidget() override;

    KObjectHandler *object() const { return m_object.data(); }
    bool isPopulated() const { return m_populated; }
    QLabel *titleLabel() const { return m_titleLabel; }

    int playbackState() const { return m_playbackState; }
    int playbackSpeed() const { return m_playbackSpeed; }
    int viewCount() const { return m_viewCount; }
    // Names of the channels in the tiles in use, in tile order (e.g. "ACAM01").
    QStringList channelIDs() const;
    QList<KAbstractVideoView *> views() const { return m_views; }
    KVideoViewTableWidget *grid() const { return m_grid; }
    KFullSizeVideoPlayerWidget *fullSizeWindow() const { return m_fullSizeWindow; }
    QPushButton *playButton() const { return m_playButton; }
    QPushButton *pauseButton() const { return m_pauseButton; }
    QPushButton *stopButton() const { return m_stopButton; }
    QPushButton *slowerButton() const { return m_slowerButton; }
    QPushButton *fasterButton() const { return m_fasterButton; }
    QLabel *speedLabel() const { return m_speedLabel; }
    QPushButton *soundButton() const { return m_soundButton; }
    KSlider *volumeSlider() const { return m_volumeSlider; }
    QPushButton *fullScreenButton() const { return m_fullScreenButton; }
    QList<QPushButton *> arrangementButtons() const { return m_arrangementButtons; }
    bool isFullScreenMode() const;

signals:
    void playbackStateChanged(int state);
    void repaintRequested();
    // The object's channels are in the tiles (also sent for an object without channels).
    void populated();

public slots:
    // Stops everything and waits for the object's connection to fill the tiles.
    virtual void setObject(KObjectHandler *const objectHandler);
    virtual void play();
    virtual void pause();
    virtual void stop();
    virtual void freeze();
    virtual void unfreeze();
    virtual void playFaster();
    virtual void playSlower();
    void setSoundEnabled(bool enable);
    void setVolume(int volume);
    void enableFullScreenMode();
    void disableFullScreenMode();

protected slots:
    void populate();

protected:
    // Enables or disables the player's controls (the title stays enabled).
    virtual void setControlsEnabled(bool enabled) = 0;
    // Gives a tile in use its channel.
    virtual void prepareView(KAbstractVideoView *view, const KChannelData &channel) = 0;
    // The object was set and asked to connect.
    virtual void objectChanged() {}

    // Hands the tiles to the grid.
    void setViews(const QList<KAbstractVideoView *> &views);
    void setPlaybackState(int state);
    // The side column, sound controls and grid together.
    void setCommonControlsEnabled(bool enabled);
    // setCommonControlsEnabled(), the speed buttons within their limits, play (pause and stop
    // wait for playback) and the player's own controls.
    void setPlaybackControlsEnabled(bool enabled, std::initializer_list<QWidget *> controls);
    // A key for a slot, working in the player and in the full-screen window.
    void addKey(const QKeySequence &key, const std::function<void()> &action);
    // Space: plays, or (while playing) does what the player's pause key does.
    virtual void togglePlayback();
    // A button's tool tip with its key.
    static QString keyToolTip(const QString &text, const QString &key);
    static QPushButton *makeButton(const QString &icon, const QString &toolTip, int size = 35);
    // A vertical line between groups of controls.
    static QWidget *separator();

    QHBoxLayout *m_topRow = nullptr;
    QHBoxLayout *m_middleRow = nullptr;
    QHBoxLayout *m_controlsRow = nullptr;
    QHBoxLayout *m_bottomRow = nullptr;
    QWidget *m_sideColumn = nullptr;

    QPointer<KObjectHandler> m_object;
    bool m_populated = false;
    // An object without channels to show was reported once (populated()).
    bool m_emptyShown = false;
    QLabel *m_titleLabel = nullptr;
    QList<KAbstractVideoView *> m_views;
    int m_viewCount = 0;
    KVideoViewTableWidget *m_grid = nullptr;
    KFullSizeVideoPlayerWidget *m_fullSizeWindow = nullptr;
    int m_volume = 100;
    int m_playbackSpeed = 3;
    int m_playbackState = 2;
    QPointer<QWidget> m_hiddenWindow;

    QPushButton *m_playButton = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QPushButton *m_slowerButton = nullptr;
    QPushButton *m_fasterButton = nullptr;
    QLabel *m_speedLabel = nullptr;
    QPushButton *m_soundButton = nullptr;
    KSlider *m_volumeSlider = nullptr;
    QLabel *m_volumeLabel = nullptr;
    QPushButton *m_fullScreenButton = nullptr;
    QList<QPushButton *> m_arrangementButtons;

private:
    void setSpeed(int speed);
};
