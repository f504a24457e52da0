#pragma once

#include "KChannelData.h"

#include <QMap>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;

// One tile of a player: a black video area with the channel selector above it and a row of
// buttons that shows while the mouse is over the tile. State: 0 playing, 1 paused, 2 stopped.
class KAbstractVideoView : public QWidget
{
    Q_OBJECT

public:
    explicit KAbstractVideoView(QWidget *parent = nullptr);
    ~KAbstractVideoView() override;

    // The channels to choose from, keyed by name; the first available one becomes current.
    void setChannels(const QMap<QString, KChannelData> &channels);
    void clearChannel();

    int viewState() const { return m_viewState; }
    KChannelData currentChannel() const { return m_currentChannel; }
    bool hasChannel() const { return m_hasChannel; }
    bool isFullWindowMode() const { return m_fullWindowMode; }
    bool isSoundEnabled() const { return m_soundEnabled; }
    int volume() const { return m_volume; }
    int playbackSpeed() const { return m_playbackSpeed; }

    QLabel *backgroundLabel() const { return m_backgroundLabel; }
    QLabel *videoSurface() const { return m_videoSurface; }
    QWidget *topBar() const { return m_topBar; }
    QWidget *controlBar() const { return m_controlBar; }
    QComboBox *channelSelector() const { return m_channelSelector; }
    QLabel *titleLabel() const { return m_titleLabel; }
    QPushButton *playButton() const { return m_playButton; }
    QPushButton *pauseButton() const { return m_pauseButton; }
    QPushButton *stopButton() const { return m_stopButton; }
    QPushButton *soundButton() const { return m_soundButton; }
    QPushButton *snapshotButton() const { return m_snapshotButton; }
    QPushButton *maximizeButton() const { return m_maximizeButton; }
    // The snapshot result label while it shows; nullptr otherwise.
    QLabel *snapshotMessage() const { return m_snapshotMessage; }

    // An icon with a picture for the normal and one for the disabled mode.
    static QIcon modeIcon(const QString &normal, const QString &disabled);

signals:
    void setFullWindowModeRequested();

public slots:
    virtual void setCurrentChannel(QString channelID);
    virtual void play();
    virtual void pause();
    virtual void stop();
    virtual void setPlaybackSpeed(int speed);
    virtual void setVolume(int value) = 0;
    virtual void setSoundEnabled(bool enable);
    virtual void takeSnapshot() = 0;
    void setFullScreenMode();

protected slots:
    void setFullWindowMode();
    void showSnapshotSaveResultMessage(bool success);

protected:
    bool event(QEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

    int m_viewState = 2;
    QMap<QString, KChannelData> m_channels;
    KChannelData m_currentChannel;
    bool m_fullWindowMode = false;
    bool m_controlsVisible = false;
    bool m_soundEnabled = false;
    int m_volume = 100;
    int m_playbackSpeed = 3;
    bool m_hasChannel = false;

    QLabel *m_backgroundLabel = nullptr;
    QLabel *m_videoSurface = nullptr;
    QWidget *m_topBar = nullptr;
    QLabel *m_titleLabel = nullptr;
    QComboBox *m_channelSelector = nullptr;
    QWidget *m_controlBar = nullptr;
    QPushButton *m_playButton = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QPushButton *m_soundButton = nullptr;
    QPushButton *m_snapshotButton = nullptr;
    QPushButton *m_maximizeButton = nullptr;
    QLabel *m_snapshotMessage = nullptr;

private:
    QPushButton *addButton(QHBoxLayout *layout, const QString &icon, const QString &toolTip);
};
