#pragma once

#include <QPoint>
#include <QTabWidget>

// The tab widget of the main window: closable tabs with a tool tip on the close buttons and a
// context menu. Every way of closing a tab ends in tabCloseRequested(), so that the owner can
// refuse (a running download keeps its tab).
class KCentralTabWidget : public QTabWidget
{
    Q_OBJECT

public:
    explicit KCentralTabWidget(QWidget *parent = nullptr);

    // Tab index the last context menu was opened on (-1 when none).
    int menuTabIndex() const { return m_menuTabIndex; }

public slots:
    void setTabCloseButtonToolTip();
    void closeTab(int index);
    void showCustomMenuRequested(QPoint point);
    void closeCurrentTab();
    void closeOthersTabs();
    void closeAllTabs();

protected:
    void tabInserted(int index) override;
    void tabRemoved(int index) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Tabs share the bar's width, up to their styled width, so that every tab of every kind
    // shows its whole title without scrolling at the default window size.
    void fitTabs();

    int m_menuTabIndex = -1;
    int m_tabWidth = 0;
};
