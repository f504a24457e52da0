#pragma once

#include "KAbstractVideoTabWidget.h"

class KOnlineVideoPlayerWidget;

// Contents of the online tab: the live player, or a waiting page until the player has the
// object's channels.
class KOnlineVideoWidget : public KAbstractVideoTabWidget
{
    Q_OBJECT

public:
    explicit KOnlineVideoWidget(QWidget *parent = nullptr);

    KOnlineVideoPlayerWidget *player() const;

public slots:
    void startPlayback();

protected:
    void playRequested() override;
};
