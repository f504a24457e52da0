#include "KMainWidget.h"

#include "KAppLogHandler.h"
#include "KAppSettingsWidget.h"
#include "KAutodownloadScheduler.h"
#include "KCentralTabWidget.h"
#include "KCentralWidget.h"
#include "KDBHandler.h"
#include "KMessageWidget.h"
#include "KObjectHandler.h"
#include "KObjectListWidget.h"
#include "KObjectMaster.h"

#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

KMainWidget::KMainWidget(QWidget *parent) : KMainWindow(parent)
{
    m_objectMaster = new KObjectMaster(this);
    m_objectMaster->start();
    // Downloads the queue's tasks of the list's objects whenever they are reachable; the
    // tasks go back to the queue before the handlers stop at logout.
    m_scheduler = new KAutodownloadScheduler(m_objectMaster, this);
    m_scheduler->start();
    connect(this, &KMainWindow::closed, m_scheduler, &KAutodownloadScheduler::stop);

    m_centralWidget = new KCentralWidget(m_objectMaster->objects());
    m_objectList = new KObjectListWidget(m_objectMaster->objects());
    m_objectList->setMinimumWidth(300);
    m_objectList->setMaximumWidth(480);
    m_objectList->setCurrentObject(m_centralWidget->currentObject());
    connect(m_objectList, &KObjectListWidget::objectChosen, m_centralWidget,
            &KCentralWidget::setCurrentObject);
    connect(m_centralWidget, &KCentralWidget::currentObjectChanged, m_objectList,
            &KObjectListWidget::setCurrentObject);
    // The list lets go of the handlers before the master destroys them.
    connect(m_objectMaster, &KObjectMaster::objectsUnloaded, m_objectList,
            &KObjectListWidget::clear);
    // The fleet changed in the database: list and tabs follow in place.
    connect(m_objectMaster, &KObjectMaster::objectAdded, m_objectList,
            &KObjectListWidget::addObject);
    connect(m_objectMaster, &KObjectMaster::objectAdded, m_centralWidget,
            &KCentralWidget::addObject);
    connect(m_objectMaster, &KObjectMaster::objectRemoved, m_objectList,
            &KObjectListWidget::removeObject);
    connect(m_objectMaster, &KObjectMaster::objectRemoved, m_centralWidget,
            &KCentralWidget::removeObject);
    connect(m_objectMaster, &KObjectMaster::objectReplaced, m_objectList,
            &KObjectListWidget::replaceObject);
    connect(m_objectMaster, &KObjectMaster::objectReplaced, m_centralWidget,
            &KCentralWidget::replaceObject);
    connect(m_objectMaster, &KObjectMaster::objectRenamed, m_objectList,
            &KObjectListWidget::renameObject);
    connect(KDBHandler::instance(), &KDBHandler::alarmReceived, this, &KMainWidget::showAlarm);

    struct Tool
    {
        QString icon;
        QString toolTip;
        QString shortcut;
    };
    const Tool tools[] = {
        {QStringLiteral(":/object_preview.png"), QStringLiteral("Онлайн трансляция"),
         QStringLiteral("Ctrl+1")},
        {QStringLiteral(":/object_playback.png"), QStringLiteral("Просмотр видеоархива"),
         QStringLiteral("Ctrl+2")},
        {QStringLiteral(":/object_download.png"), QStringLiteral("Загрузка видеоархива"),
         QStringLiteral("Ctrl+3")},
        {QStringLiteral(":/videoplayer.png"), QStringLiteral("Видеоплеер"),
         QStringLiteral("Ctrl+4")},
        {QStringLiteral(":/autodownload.png"), QStringLiteral("Автозагрузка"),
         QStringLiteral("Ctrl+5")},
        {QStringLiteral(":/system_settings.png"), QStringLiteral("Настройки"), QString()},
    };
    QList<QPair<QString, QString>> guide;
    for (const Tool &tool : tools) {
        QString toolTip = tool.toolTip;
        if (!tool.shortcut.isEmpty())
            toolTip += QStringLiteral(" (") + tool.shortcut + QStringLiteral(")");
        guide.append({tool.icon, toolTip});
        QToolButton *button = addToolButton(tool.icon, toolTip);
        if (!tool.shortcut.isEmpty()) {
            auto *shortcut = new QShortcut(QKeySequence(tool.shortcut), this);
            shortcut->setContext(Qt::WindowShortcut);
            connect(shortcut, &QShortcut::activated, button, &QToolButton::click);
        }
    }
    m_centralWidget->setToolGuide(guide);
    connect(m_toolButtons.at(0), &QToolButton::clicked, m_centralWidget,
            &KCentralWidget::addOnlineVideoTab);
    connect(m_toolButtons.at(1), &QToolButton::clicked, m_centralWidget,
            &KCentralWidget::addArchiveVideoTab);
    connect(m_toolButtons.at(2), &QToolButton::clicked, m_centralWidget,
            QOverload<>::of(&KCentralWidget::addDownloadVideoTab));
    connect(m_toolButtons.at(3), &QToolButton::clicked, m_centralWidget,
            &KCentralWidget::addVideoTab);
    connect(m_toolButtons.at(4), &QToolButton::clicked, m_centralWidget,
            &KCentralWidget::addAutodownloadTab);
    connect(m_toolButtons.at(5), &QToolButton::clicked, this, &KMainWidget::openSettingsWindow);

    auto *closeShortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+W")), this);
    closeShortcut->setContext(Qt::WindowShortcut);
    connect(closeShortcut, &QShortcut::activated, m_centralWidget,
            &KCentralWidget::closeCurrentTab);

    m_timeLabel = new QLabel;
    m_timeLabel->setObjectName(QStringLiteral("titleLabel_S"));
    m_dateLabel = new QLabel;
    m_dateLabel->setObjectName(QStringLiteral("titleLabel_S"));

    auto *toolRow = new QHBoxLayout;
    toolRow->setSpacing(5);
    for (int i = 0; i < m_toolButtons.size(); ++i) {
        if (i == m_toolButtons.size() - 1) {
            auto *separator = new QFrame;
            separator->setFrameShape(QFrame::VLine);
            toolRow->addWidget(separator);
        }
        toolRow->addWidget(m_toolButtons.at(i));
    }
    toolRow->addStretch();
    toolRow->addWidget(m_timeLabel);
    toolRow->addSpacing(10);
    toolRow->addWidget(m_dateLabel);

    auto *splitter = new QSplitter(Qt::Horizontal);
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(6);
    splitter->addWidget(m_objectList);
    splitter->addWidget(m_centralWidget);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({370, 1000});

    auto *layout = new QVBoxLayout(contentWidget());
    layout->setContentsMargins(5, 5, 5, 5);
    layout->setSpacing(5);
    layout->addLayout(toolRow);
    layout->addWidget(splitter, 1);

    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &KMainWidget::updateTime);
    updateTime();
    m_timer->start();
}

KMainWidget::~KMainWidget()
{
    m_timer->stop();
    // Tabs and list go before the handlers they point to.
    delete m_centralWidget;
    m_centralWidget = nullptr;
    delete m_objectList;
    m_objectList = nullptr;
    m_scheduler->stop();
    m_objectMaster->stop();
}

void KMainWidget::openSettingsWindow()
{
    auto *settings = new KAppSettingsWidget(this);
    settings->setAttribute(Qt::WA_DeleteOnClose);
    settings->show();
}

void KMainWidget::updateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_timeLabel->setText(now.toString(QStringLiteral("HH:mm")));
    m_dateLabel->setText(now.toString(QStringLiteral("dd.MM.yyyy")));
}

void KMainWidget::showAlarm(KAlarmData alarm)
{
    KObjectHandler *object = m_objectMaster->object(alarm.sourceId);
    const QString objectName =
        object ? object->name() : QStringLiteral("№") + QString::number(alarm.sourceId);
    const QString time = alarm.eventTime.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    const QString event = QStringLiteral("событие ") + QString::number(alarm.eventCode) +
                          QStringLiteral(" (") + time + QLatin1Char(')');
    if (object)
        KAppLogHandler::instance()->write(object->record(), QStringLiteral("Тревога: ") + event);
    else
        KAppLogHandler::instance()->write(QStringLiteral("Тревога: объект ") + objectName +
                                          QStringLiteral(", ") + event);

    // A burst of alarms fills one window (the latest ten) instead of covering the screen.
    m_alarmTexts.append(QStringLiteral("Объект: ") + objectName + QStringLiteral("\nСобытие: ") +
                        QString::number(alarm.eventCode) + QStringLiteral("\nВремя: ") + time);
    while (m_alarmTexts.size() > 10)
        m_alarmTexts.removeFirst();
    if (!m_alarmWindow) {
        m_alarmWindow = new KMessageWidget(KMessageWidget::Warning, QString(), this);
        m_alarmWindow->setHeading(QStringLiteral("Тревога!"));
        m_alarmWindow->setWindowModality(Qt::NonModal);
        m_alarmWindow->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_alarmWindow, &QObject::destroyed, this, [this] { m_alarmTexts.clear(); });
    }
    m_alarmWindow->setText(m_alarmTexts.join(QStringLiteral("\n\n")));
    m_alarmWindow->show();
    m_alarmWindow->raise();
}

QToolButton *KMainWidget::addToolButton(const QString &iconPath, const QString &toolTip)
{
    auto *button = new QToolButton;
    button->setFixedSize(35, 35);
    button->setIcon(QIcon(iconPath));
    button->setIconSize(QSize(31, 31));
    button->setToolTip(toolTip);
    button->setFocusPolicy(Qt::NoFocus);
    m_toolButtons.append(button);
    return button;
}
