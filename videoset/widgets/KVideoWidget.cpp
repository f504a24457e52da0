#include "KVideoWidget.h"

#include "KVideoPlayerWidget.h"

#include <QVBoxLayout>

KVideoWidget::KVideoWidget(QWidget *parent) : QWidget(parent)
{
    m_player = new KVideoPlayerWidget(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_player);
}

void KVideoWidget::holdPlayback()
{
    if (m_player->playbackState() == 0)
        m_player->pause();
}
