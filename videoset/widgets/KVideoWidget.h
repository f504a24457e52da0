#pragma once

#include <QWidget>

class KVideoPlayerWidget;

// Contents of the "Видеоплеер" tab: the local player.
class KVideoWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KVideoWidget(QWidget *parent = nullptr);

    KVideoPlayerWidget *player() const { return m_player; }

public slots:
    // The tab is left: playback waits, paused, for the operator's return.
    void holdPlayback();

private:
    KVideoPlayerWidget *m_player = nullptr;
};
