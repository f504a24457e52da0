#include "KCentralTabWidget.h"

#include <QAbstractButton>
#include <QMenu>
#include <QPointer>
#include <QTabBar>

KCentralTabWidget::KCentralTabWidget(QWidget *parent) : QTabWidget(parent)
{
    setObjectName(QStringLiteral("centralWidget"));
    setTabsClosable(true);
    setMovable(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
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
}
