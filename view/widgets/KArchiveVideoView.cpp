#include "KArchiveVideoView.h"

#include "KViewHandler.h"

#include <QLabel>
#include <QPushButton>

KArchiveVideoView::KArchiveVideoView(QWidget *parent) : KAbstractRecorderVideoView(parent)
{
    m_soundButton->setChecked(true);
    setSoundEnabled(true);
}

void KArchiveVideoView::play()
{
    if (!m_objectHandler || !m_beginDateTime.isValid() || m_streamType < 0 || m_viewState == 0)
        return;
    if (m_viewState == 1) {
        KViewHandler::instance()->resume(m_jobID);
    } else {
        startJob(1, m_beginDateTime);
        if (m_playbackSpeed != 3)
            KViewHandler::instance()->setPlaybackSpeed(m_jobID, m_playbackSpeed);
    }
    KAbstractVideoView::play();
    m_videoSurface->setText(QStringLiteral("Подключение..."));
}

void KArchiveVideoView::play(QDateTime dateTime)
{
    m_beginDateTime = dateTime;
    play();
}

void KArchiveVideoView::restart(QDateTime dateTime)
{
    m_beginDateTime = dateTime;
    if (m_jobID >= 0)
        KViewHandler::instance()->restart(m_jobID, dateTime);
}

void KArchiveVideoView::setBeginDateTime(QDateTime dateTime)
{
    m_beginDateTime = dateTime;
}
