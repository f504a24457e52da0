#include "KCentralTabWidget.h"

#include <QAbstractButton>
#include <QMenu>
#include <QPointer>
#include <QResizeEvent>
#include <QTabBar>

KCentralTabWidget::KCentralTabWidget(QWidget *parent) : QTabWidget(parent)
{
    setObjectName(QStringLiteral("centralWidget"));
    setTabsClosable(true);
    setMovable(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    // Never scrolled out of sight: when every kind is open the titles are shortened, and the
    // whole title is the tab's tool tip.
    tabBar()->setUsesScrollButtons(false);
    tabBar()->setElideMode(Qt::ElideRight);
    connect(this, &QWidget::customContextMenuRequested, this,
            &KCentralTabWidget::showCustomMenuRequested);
}

void KCentralTabWidget::setTabCloseButtonToolTip()
{
    for (int i = 0; i < count(); ++i) {
        for (auto side : {QTabBar::LeftSide, QTabBar::RightSide}) {
            if (QWidget *button = tabBar()->tabButton(i, side))
                button->setToolTip(QStringLiteral("Закрыть вкладку (Ctrl+W)"));
        }
    }
}

void KCentralTabWidget::closeTab(int index)
{
    if (index < 0 || index >= count())
        return;
    emit tabCloseRequested(index);
}

void KCentralTabWidget::showCustomMenuRequested(QPoint point)
{
    // Only a tab's caption opens the menu, not the pages below.
    const QPoint barPoint = tabBar()->mapFrom(this, point);
    const int index = tabBar()->tabAt(barPoint);
    if (index < 0)
        return;
    m_menuTabIndex = index;

    QMenu menu(this);
    menu.addAction(QStringLiteral("Закрыть вкладку"), this, &KCentralTabWidget::closeCurrentTab);
    menu.addAction(QStringLiteral("Закрыть другие вкладки"), this,
                   &KCentralTabWidget::closeOthersTabs);
    menu.addAction(QStringLiteral("Закрыть все вкладки"), this, &KCentralTabWidget::closeAllTabs);
    menu.exec(QCursor::pos());
    m_menuTabIndex = -1;
}

void KCentralTabWidget::closeCurrentTab()
{
    closeTab(m_menuTabIndex >= 0 ? m_menuTabIndex : currentIndex());
}

void KCentralTabWidget::closeOthersTabs()
{
    const int keepIndex = m_menuTabIndex >= 0 ? m_menuTabIndex : currentIndex();
    QWidget *keep = widget(keepIndex);
    // Widgets, not indexes: a refused close leaves its tab and shifts nothing we rely on.
    QList<QPointer<QWidget>> others;
    for (int i = 0; i < count(); ++i) {
        if (widget(i) != keep)
            others.append(widget(i));
    }
    for (const QPointer<QWidget> &page : others) {
        if (page)
            closeTab(indexOf(page));
    }
}

void KCentralTabWidget::closeAllTabs()
{
    QList<QPointer<QWidget>> pages;
    for (int i = 0; i < count(); ++i)
        pages.append(widget(i));
    for (const QPointer<QWidget> &page : pages) {
        if (page)
            closeTab(indexOf(page));
    }
}

void KCentralTabWidget::tabInserted(int index)
{
    QTabWidget::tabInserted(index);
    setTabCloseButtonToolTip();
    setTabToolTip(index, tabText(index));
    fitTabs();
}

void KCentralTabWidget::tabRemoved(int index)
{
    QTabWidget::tabRemoved(index);
    fitTabs();
}

void KCentralTabWidget::resizeEvent(QResizeEvent *event)
{
    QTabWidget::resizeEvent(event);
    fitTabs();
}

void KCentralTabWidget::fitTabs()
{
    // The theme gives tabs 220 px of text and icon, 5 px of padding each side and a border.
    constexpr int styledWidth = 220;
    constexpr int frame = 12;
    const int share = count() > 0 ? width() / count() - frame : styledWidth;
    const int tabWidth = qBound(120, share, styledWidth);
    if (tabWidth == m_tabWidth)
        return;
    m_tabWidth = tabWidth;
    tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { width: %1px; }").arg(tabWidth));
}
