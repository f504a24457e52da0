#pragma once

#include <QWidget>

class QStackedLayout;
class KObjectHandler;
class KOnlineVideoPlayerWidget;
class KProgressWidget;

// Contents of the online tab: the live player, or a waiting page until the player has the
// object's channels.
class KOnlineVideoWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KOnlineVideoWidget(QWidget *parent = nullptr);

    KObjectHandler *object() const { return m_object; }
    bool isPopulated() const { return m_populated; }
    bool isPlaybackRequested() const { return m_playbackRequested; }
    KOnlineVideoPlayerWidget *player() const { return m_player; }
    KProgressWidget *progressWidget() const { return m_progressWidget; }
    // 0 while the player page is shown, 1 for the waiting page.
    int currentPage() const;

signals:
    void objectSelected(KObjectHandler *const objectHandler);

public slots:
    void setObject(KObjectHandler *const objectHandler);
    void startPlayback();
    void stopPlayback();
    void handlePlayerPopulation();

private:
    KObjectHandler *m_object = nullptr;
    bool m_populated = false;
    bool m_playbackRequested = false;
    KOnlineVideoPlayerWidget *m_player = nullptr;
    KProgressWidget *m_progressWidget = nullptr;
    QStackedLayout *m_stack = nullptr;
};
