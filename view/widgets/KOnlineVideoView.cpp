#include "KOnlineVideoView.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>

KOnlineVideoView::KOnlineVideoView(QWidget *parent) : KAbstractRecorderVideoView(parent)
{
    m_soundButton->setChecked(true);
    setSoundEnabled(true);
    m_pauseButton->hide();
}

void KOnlineVideoView::play()
{
    if (!m_objectHandler || m_streamType < 0 || m_viewState == 0)
        return;
    startJob(0, QDateTime());
    KAbstractVideoView::play();
    m_videoSurface->setText(QStringLiteral("Подключение..."));
}
