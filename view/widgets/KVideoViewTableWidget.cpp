#include "KVideoViewTableWidget.h"

#include "KAbstractVideoView.h"

#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>

KVideoViewTableWidget::KVideoViewTableWidget(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_layout = new QGridLayout(this);
    m_layout->setSpacing(0);
    m_layout->setContentsMargins(0, 0, 0, 0);
}

KVideoViewTableWidget::~KVideoViewTableWidget() = default;

QSize KVideoViewTableWidget::gridSize(int arrangement)
{
    static const QSize sizes[] = {{1, 1}, {1, 1}, {2, 1}, {2, 2}, {3, 2},
                                  {4, 2}, {4, 3}, {4, 4}, {6, 4}};
    return arrangement >= 0 && arrangement <= 8 ? sizes[arrangement] : QSize(1, 1);
}

void KVideoViewTableWidget::setViews(const QList<KAbstractVideoView *> &views)
{
    for (KAbstractVideoView *view : qAsConst(m_views))
        disconnect(view, &KAbstractVideoView::setFullWindowModeRequested, this,
                   &KVideoViewTableWidget::setFullWindowView);
    m_views.clear();
    for (int i = 0; i < views.size(); ++i) {
        m_views.insert(i, views.at(i));
        views.at(i)->hide();
        connect(views.at(i), &KAbstractVideoView::setFullWindowModeRequested, this,
                &KVideoViewTableWidget::setFullWindowView);
    }
    applyArrangement(m_arrangement);
}

void KVideoViewTableWidget::applyArrangement(int arrangement)
{
    setUpdatesEnabled(false);
    for (KAbstractVideoView *view : qAsConst(m_views)) {
        m_layout->removeWidget(view);
        view->setEnabled(false);
        view->hide();
        view->setParent(this);
    }
    qDeleteAll(m_placeholders);
    m_placeholders.clear();

    if (arrangement == 0) {
        if (KAbstractVideoView *view = m_views.value(m_fullWindowIndex)) {
            m_layout->addWidget(view, 0, 0);
            view->show();
        }
        for (KAbstractVideoView *view : qAsConst(m_views))
            view->setEnabled(true);
    } else {
        const QSize grid = gridSize(arrangement);
        const int cells = grid.width() * grid.height();
        for (KAbstractVideoView *view : qAsConst(m_views))
            view->setEnabled(true);
        for (int i = 0; i < cells; ++i) {
            const int row = i / grid.width();
            const int column = i % grid.width();
            if (KAbstractVideoView *view = m_views.value(i)) {
                m_layout->addWidget(view, row, column);
                view->show();
            } else {
                auto *placeholder = new QLabel(this);
                placeholder->setObjectName(QStringLiteral("videoView"));
                placeholder->setAlignment(Qt::AlignCenter);
                placeholder->setEnabled(false);
                m_layout->addWidget(placeholder, row, column);
                m_placeholders << placeholder;
            }
        }
        for (auto it = m_views.constBegin(); it != m_views.constEnd(); ++it) {
            if (it.key() < cells)
                continue;
            if (it.value()->viewState() != 2)
                it.value()->stop();
            it.value()->setEnabled(false);
            it.value()->hide();
        }
    }
    // Only the cells in use share the space.
    for (int i = 0; i < 6; ++i) {
        m_layout->setColumnStretch(i, i < gridSize(arrangement).width() ? 1 : 0);
        m_layout->setRowStretch(i, i < gridSize(arrangement).height() ? 1 : 0);
    }
    m_arrangement = arrangement;
    if (arrangement != 0)
        m_lastArrangement = arrangement;
    setUpdatesEnabled(true);
    emit arrangementChanged(arrangement);
}

void KVideoViewTableWidget::chooseArrangement(int arrangement)
{
    // A blown-up tile gives way to the chosen arrangement: it shows "Развернуть" again and the
    // arrangement buttons work again.
    if (m_fullWindowView) {
        m_fullWindowView = false;
        if (KAbstractVideoView *view = m_views.value(m_fullWindowIndex)) {
            if (view->isFullWindowMode()) {
                const QSignalBlocker blocker(view);
                QMetaObject::invokeMethod(view, "setFullWindowMode", Qt::DirectConnection);
            }
        }
        emit fullSizeViewEnabled(true);
    }
    applyArrangement(arrangement);
}

void KVideoViewTableWidget::set1ViewArrangement()
{
    chooseArrangement(1);
}
void KVideoViewTableWidget::set2ViewsArrangement()
{
    chooseArrangement(2);
}
void KVideoViewTableWidget::set4ViewsArrangement()
{
    chooseArrangement(3);
}
void KVideoViewTableWidget::set6ViewsArrangement()
{
    chooseArrangement(4);
}
void KVideoViewTableWidget::set8ViewsArrangement()
{
    chooseArrangement(5);
}
void KVideoViewTableWidget::set12ViewsArrangement()
{
    chooseArrangement(6);
}
void KVideoViewTableWidget::set16ViewsArrangement()
{
    chooseArrangement(7);
}
void KVideoViewTableWidget::set24ViewsArrangement()
{
    chooseArrangement(8);
}

void KVideoViewTableWidget::setFullWindowView()
{
    auto *view = qobject_cast<KAbstractVideoView *>(sender());
    if (m_arrangement == 1 || !view || !view->isEnabled())
        return;
    m_fullWindowView = !m_fullWindowView;
    if (m_fullWindowView) {
        m_fullWindowIndex = qMax(0, m_views.key(view, 0));
        applyArrangement(0);
    } else {
        applyArrangement(m_lastArrangement);
    }
    emit fullSizeViewEnabled(!m_fullWindowView);
}

void KVideoViewTableWidget::fitArrangement(int count)
{
    int arrangement = 6;
    if (count == 1)
        arrangement = 1;
    else if (count == 2)
        arrangement = 2;
    else if (count >= 3 && count <= 4)
        arrangement = 3;
    else if (count >= 5 && count <= 6)
        arrangement = 4;
    else if (count >= 7 && count <= 8)
        arrangement = 5;
    else if (count >= 9 && count <= 12)
        arrangement = 6;
    else if (count >= 13 && count <= 16)
        arrangement = 7;
    else if (count > 16)
        arrangement = 8;
    chooseArrangement(arrangement);
}
