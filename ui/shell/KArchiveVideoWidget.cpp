#include "KArchiveVideoWidget.h"

#include "KArchiveVideoPlayerWidget.h"
#include "KObjectHandler.h"

KArchiveVideoWidget::KArchiveVideoWidget(QWidget *parent)
    : KAbstractVideoTabWidget(new KArchiveVideoPlayerWidget, parent)
{
    connect(player(), &KArchiveVideoPlayerWidget::prepareDownloadRequested, this,
            &KArchiveVideoWidget::prepareDownloadRequested);
}

KArchiveVideoPlayerWidget *KArchiveVideoWidget::player() const
{
    return static_cast<KArchiveVideoPlayerWidget *>(videoPlayer());
}

void KArchiveVideoWidget::startPlayback(QDateTime dateTime)
{
    if (deferPlayback())
        m_requestedDateTime = dateTime;
    else
        player()->play(dateTime);
}

void KArchiveVideoWidget::playRequested()
{
    player()->play(m_requestedDateTime);
}
