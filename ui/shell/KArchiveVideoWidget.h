#pragma once

#include <QDateTime>
#include <QWidget>

class QStackedLayout;
class KArchiveVideoPlayerWidget;
class KObjectHandler;
class KProgressWidget;

// Contents of the archive tab: the archive player, or a waiting page until the player has the
// object's channels.
class KArchiveVideoWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KArchiveVideoWidget(QWidget *parent = nullptr);

    KObjectHandler *object() const { return m_object; }
    bool isPopulated() const { return m_populated; }
    bool isPlaybackRequested() const { return m_playbackRequested; }
    QDateTime requestedDateTime() const { return m_requestedDateTime; }
    KArchiveVideoPlayerWidget *player() const { return m_player; }
    KProgressWidget *progressWidget() const { return m_progressWidget; }
    // 0 while the player page is shown, 1 for the waiting page.
    int currentPage() const;

signals:
    void objectSelected(KObjectHandler *const objectHandler);
    void prepareDownloadRequested(KObjectHandler *const objectHandler, QDateTime dateTime);

public slots:
    void setObject(KObjectHandler *const objectHandler);
    void startPlayback(QDateTime dateTime);
    void stopPlayback();
    void handlePlayerPopulation();

private:
    KObjectHandler *m_object = nullptr;
    bool m_populated = false;
    bool m_playbackRequested = false;
    QDateTime m_requestedDateTime;
    KArchiveVideoPlayerWidget *m_player = nullptr;
    KProgressWidget *m_progressWidget = nullptr;
    QStackedLayout *m_stack = nullptr;
};
