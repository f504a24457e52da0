#pragma once

#include "KMainWindow.h"

class QLabel;
class QPushButton;
class QTimer;
class QToolButton;
class KCentralWidget;
class KObjectListWidget;
class KObjectMaster;

// The main window: tool buttons that open the tabs and the settings window, the clock, the
// object list and the tab area. Owns the object master for its whole life.
class KMainWidget : public KMainWindow
{
    Q_OBJECT

public:
    explicit KMainWidget(QWidget *parent = nullptr);
    ~KMainWidget() override;

    KObjectMaster *objectMaster() const { return m_objectMaster; }
    KCentralWidget *centralWidget() const { return m_centralWidget; }
    KObjectListWidget *objectListWidget() const { return m_objectList; }
    // In layout order: online, archive, download, video player, settings.
    QList<QToolButton *> toolButtons() const { return m_toolButtons; }
    QLabel *timeLabel() const { return m_timeLabel; }
    QLabel *dateLabel() const { return m_dateLabel; }

public slots:
    void openSettingsWindow();
    void updateTime();

private:
    QToolButton *addToolButton(const QString &iconPath, const QString &toolTip);

    KObjectMaster *m_objectMaster = nullptr;
    KCentralWidget *m_centralWidget = nullptr;
    KObjectListWidget *m_objectList = nullptr;
    QList<QToolButton *> m_toolButtons;
    QLabel *m_timeLabel = nullptr;
    QLabel *m_dateLabel = nullptr;
    QTimer *m_timer = nullptr;
};
