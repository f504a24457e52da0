#pragma once

#include <QWidget>

class QStackedLayout;
class KObjectHandler;
class KProgressWidget;
class KAbstractVideoPlayerWidget;

// Common part of the online and archive tabs: the tab's player, or a waiting page until the
// player has the object's channels. A playback asked for before then starts once they arrive.
class KAbstractVideoTabWidget : public QWidget
{
    Q_OBJECT

public:
    KObjectHandler *object() const { return m_object; }
    bool isPopulated() const { return m_populated; }
    bool isPlaybackRequested() const { return m_playbackRequested; }
    KProgressWidget *progressWidget() const { return m_progressWidget; }
    // 0 while the player page is shown, 1 for the waiting page.
    int currentPage() const;

signals:
    void objectSelected(KObjectHandler *const objectHandler);

public slots:
    void setObject(KObjectHandler *const objectHandler);
    void stopPlayback();
    void handlePlayerPopulation();

protected:
    // Takes the player as the first page.
    explicit KAbstractVideoTabWidget(KAbstractVideoPlayerWidget *player, QWidget *parent = nullptr);

    KAbstractVideoPlayerWidget *videoPlayer() const { return m_player; }
    // True when the player has no channels yet: the playback is then remembered instead.
    bool deferPlayback();
    // Starts the remembered playback.
    virtual void playRequested() = 0;

private:
    // The waiting page says what the recorder's connection is waiting for, or what stops it.
    void showWaitingText();

    KObjectHandler *m_object = nullptr;
    bool m_populated = false;
    bool m_playbackRequested = false;
    KAbstractVideoPlayerWidget *m_player = nullptr;
    KProgressWidget *m_progressWidget = nullptr;
    QStackedLayout *m_stack = nullptr;
};
