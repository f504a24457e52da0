#include "KOnlineVideoWidget.h"

#include "KObjectHandler.h"
#include "KOnlineVideoPlayerWidget.h"
#include "KProgressWidget.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QStackedLayout>

KOnlineVideoWidget::KOnlineVideoWidget(QWidget *parent) : QWidget(parent)
{
    m_player = new KOnlineVideoPlayerWidget;
    m_progressWidget = new KProgressWidget;
    m_progressWidget->setText(QStringLiteral("Объект в/н не выбран"));
    m_progressWidget->setEnabled(false);
    m_progressWidget->setPictureVisible(false);
    m_progressWidget->setAnimated(false);

    auto *stackHolder = new QWidget;
    m_stack = new QStackedLayout(stackHolder);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_player);
    m_stack->addWidget(m_progressWidget);
    m_stack->setCurrentIndex(1);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stackHolder);

    connect(m_player, &KOnlineVideoPlayerWidget::populated, this,
            &KOnlineVideoWidget::handlePlayerPopulation);
}

int KOnlineVideoWidget::currentPage() const
{
    return m_stack->currentIndex();
}

void KOnlineVideoWidget::setObject(KObjectHandler *const objectHandler)
{
    if (objectHandler == m_object)
        return;
    if (objectHandler) {
        const KObjectData record = objectHandler->record();
        if (record.recorder.type != 0) {
            m_progressWidget->setText(record.name + QStringLiteral(" - подключение к ВР..."));
            m_progressWidget->setEnabled(true);
            m_progressWidget->setPictureVisible(true);
            m_progressWidget->setAnimated(true);
        } else {
            m_progressWidget->setText(record.name + QStringLiteral(" - ВР не поддерживается"));
            m_progressWidget->setEnabled(false);
            m_progressWidget->setPictureVisible(false);
            m_progressWidget->setAnimated(false);
        }
    } else {
        m_progressWidget->setText(QStringLiteral("Объект в/н не выбран"));
        m_progressWidget->setEnabled(false);
        m_progressWidget->setPictureVisible(false);
        m_progressWidget->setAnimated(false);
    }
    m_stack->setCurrentIndex(1);
    QCoreApplication::processEvents();

    m_object = objectHandler;
    m_populated = false;
    m_player->setObject(objectHandler);
}

void KOnlineVideoWidget::startPlayback()
{
    if (!m_populated) {
        m_playbackRequested = true;
        return;
    }
    m_player->play();
}

void KOnlineVideoWidget::stopPlayback()
{
    // A request made before the channels arrived is dropped with the tab left behind.
    m_playbackRequested = false;
    if (m_player->playbackState() == 0)
        m_player->stop();
}

void KOnlineVideoWidget::handlePlayerPopulation()
{
    m_populated = true;
    m_progressWidget->setAnimated(false);
    m_stack->setCurrentIndex(0);
    QCoreApplication::processEvents();
    if (m_playbackRequested) {
        m_playbackRequested = false;
        m_player->play();
    }
}
