#include "KAbstractVideoTabWidget.h"

#include "KAbstractVideoPlayerWidget.h"
#include "KObjectHandler.h"
#include "KProgressWidget.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QStackedLayout>

KAbstractVideoTabWidget::KAbstractVideoTabWidget(KAbstractVideoPlayerWidget *player,
                                                 QWidget *parent)
    : QWidget(parent), m_player(player)
{
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

    connect(m_player, &KAbstractVideoPlayerWidget::populated, this,
            &KAbstractVideoTabWidget::handlePlayerPopulation);
    // The tab takes the keyboard for its player (Tab goes on from there to its editors).
    setFocusProxy(m_player);
}

int KAbstractVideoTabWidget::currentPage() const
{
    return m_stack->currentIndex();
}

void KAbstractVideoTabWidget::setObject(KObjectHandler *const objectHandler)
{
    if (objectHandler == m_object)
        return;
    if (m_object)
        disconnect(m_object, &KObjectHandler::connectionStateChanged, this,
                   &KAbstractVideoTabWidget::showWaitingText);
    m_object = objectHandler;
    m_populated = false;
    showWaitingText();
    m_stack->setCurrentIndex(1);
    QCoreApplication::processEvents();
    if (m_object)
        connect(m_object, &KObjectHandler::connectionStateChanged, this,
                &KAbstractVideoTabWidget::showWaitingText);
    m_player->setObject(objectHandler);
}

void KAbstractVideoTabWidget::showWaitingText()
{
    if (m_populated)
        return;
    // Objects without a recorder driver never connect: a still page says so; so does one whose
    // login failed or whose recorder does not answer, until that changes.
    const KObjectData record = m_object ? m_object->record() : KObjectData();
    const bool supported = m_object && record.recorder.type != 0;
    const QString problem = supported ? m_object->connectionProblem() : QString();
    if (!m_object)
        m_progressWidget->setText(QStringLiteral("Объект в/н не выбран"));
    else if (!supported)
        m_progressWidget->setText(record.name + QStringLiteral(" - ВР не поддерживается"));
    else if (!problem.isEmpty())
        m_progressWidget->setText(record.name + QStringLiteral(" - ") + problem);
    else
        m_progressWidget->setText(record.name + QStringLiteral(" - подключение к ВР..."));
    m_progressWidget->setEnabled(supported);
    m_progressWidget->setPictureVisible(supported);
    m_progressWidget->setAnimated(supported && problem.isEmpty());
}

bool KAbstractVideoTabWidget::deferPlayback()
{
    if (m_populated)
        return false;
    m_playbackRequested = true;
    return true;
}

void KAbstractVideoTabWidget::stopPlayback()
{
    // A request made before the channels arrived is dropped with the tab left behind.
    m_playbackRequested = false;
    if (m_player->playbackState() == 0)
        m_player->stop();
}

void KAbstractVideoTabWidget::handlePlayerPopulation()
{
    m_populated = true;
    m_progressWidget->setAnimated(false);
    m_stack->setCurrentIndex(0);
    QCoreApplication::processEvents();
    if (m_playbackRequested) {
        m_playbackRequested = false;
        playRequested();
    }
}
