#pragma once

#include "KAlarmData.h"
#include "KMainWindow.h"
#include "KMessageWidget.h"

#include <QPointer>
#include <QStringList>

class QLabel;
class QPushButton;
class QTimer;
class QToolButton;
class KAutodownloadScheduler;
class KCentralWidget;
class KObjectListWidget;
class KObjectMaster;

// The main window: tool buttons that open the tabs and the settings window, the clock, the
// object list and the tab area. Owns the object master and the automatic download scheduler
// for its whole life.
class KMainWidget : public KMainWindow
{
    Q_OBJECT

public:
    explicit KMainWidget(QWidget *parent = nullptr);
    ~KMainWidget() override;

    KObjectMaster *objectMaster() const { return m_objectMaster; }
    KAutodownloadScheduler *autodownloadScheduler() const { return m_scheduler; }
    KCentralWidget *centralWidget() const { return m_centralWidget; }
    KObjectListWidget *objectListWidget() const { return m_objectList; }
    // In layout order: online, archive, download, video player, automatic downloads, settings.
    QList<QToolButton *> toolButtons() const { return m_toolButtons; }
    QLabel *timeLabel() const { return m_timeLabel; }
    QLabel *dateLabel() const { return m_dateLabel; }
    // The open alarm window, null when none.
    KMessageWidget *alarmWindow() const { return m_alarmWindow.data(); }

public slots:
    void openSettingsWindow();
    void updateTime();
    // Names the object and the event in the alarm window (one window collects the alarms
    // that come while it is open) and writes the log.
    void showAlarm(KAlarmData alarm);

private:
    QToolButton *addToolButton(const QString &iconPath, const QString &toolTip);

    KObjectMaster *m_objectMaster = nullptr;
    KAutodownloadScheduler *m_scheduler = nullptr;
    KCentralWidget *m_centralWidget = nullptr;
    KObjectListWidget *m_objectList = nullptr;
    QList<QToolButton *> m_toolButtons;
    QLabel *m_timeLabel = nullptr;
    QLabel *m_dateLabel = nullptr;
    QTimer *m_timer = nullptr;
    QPointer<KMessageWidget> m_alarmWindow;
    QStringList m_alarmTexts;
};
