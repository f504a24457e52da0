#include "KOnlineVideoWidget.h"

#include "KOnlineVideoPlayerWidget.h"

KOnlineVideoWidget::KOnlineVideoWidget(QWidget *parent)
    : KAbstractVideoTabWidget(new KOnlineVideoPlayerWidget, parent)
{}

KOnlineVideoPlayerWidget *KOnlineVideoWidget::player() const
{
    return static_cast<KOnlineVideoPlayerWidget *>(videoPlayer());
}

void KOnlineVideoWidget::startPlayback()
{
    if (!deferPlayback())
        player()->play();
}

void KOnlineVideoWidget::playRequested()
{
    player()->play();
}
