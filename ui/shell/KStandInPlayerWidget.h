#pragma once

#include <QDateTime>
#include <QList>
#include <QWidget>

class QGridLayout;
class QLabel;
class QPushButton;
class KObjectHandler;

// A player without video: it takes an object the way the real players do (declares that it
// needs the recorder, follows the connection state, reports populated() once the recorder is
// logged in) and lays the recorder's available channels out as tiles with their titles. The
// online and archive tabs use it until the video players are built.
class KStandInPlayerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KStandInPlayerWidget(QWidget *parent = nullptr);
    ~KStandInPlayerWidget() override;

    KObjectHandler *object() const { return m_object; }
    bool isPopulated() const { return m_populated; }
    // 0 playing, 1 paused, 2 stopped, 3 frozen.
    int playbackState() const { return m_playbackState; }
    // Keys of the channels shown, in tile order (e.g. "ACAM01").
    QStringList channelIDs() const { return m_channelIDs; }
    QLabel *titleLabel() const { return m_titleLabel; }
    QLabel *stateLabel() const { return m_stateLabel; }
    QPushButton *playButton() const { return m_playButton; }
    QPushButton *stopButton() const { return m_stopButton; }

signals:
    void populated();
    void playbackStateChanged(int state);

public slots:
    void setObject(KObjectHandler *const objectHandler);
    virtual void play();
    virtual void pause();
    virtual void stop();

protected:
    // The row above the tiles; subclasses add their own controls here.
    QWidget *controlsRow() const { return m_controlsRow; }
    // Puts a widget under the controls row (the archive player's time-line).
    void addBottomWidget(QWidget *widget);
    // Called at the end of every setObject() that changed the object (also to none).
    virtual void objectChanged() {}
    void setPlaybackState(int state);
    virtual void setControlsEnabled(bool enabled);

private slots:
    void populate();
    void updateConnectionText();

private:
    void takeObject(KObjectHandler *const objectHandler);
    void clearTiles();

    KObjectHandler *m_object = nullptr;
    bool m_populated = false;
    int m_playbackState = 2;
    QStringList m_channelIDs;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_stateLabel = nullptr;
    QLabel *m_noteLabel = nullptr;
    QWidget *m_controlsRow = nullptr;
    QPushButton *m_playButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QWidget *m_tileArea = nullptr;
    QGridLayout *m_tileLayout = nullptr;
    QList<QLabel *> m_tiles;
};
