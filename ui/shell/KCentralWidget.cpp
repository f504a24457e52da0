#include "KCentralWidget.h"

#include "KArchiveVideoWidget.h"
#include "KAutodownloadWidget.h"
#include "KCentralTabWidget.h"
#include "KDownloadWidget.h"
#include "KMessageWidget.h"
#include "KObjectHandler.h"
#include "KOnlineVideoWidget.h"
#include "KSettings.h"
#include "KVideoWidget.h"

#include <QApplication>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace {
const QString kInProgressText = QStringLiteral("Загрузка в процессе!");
} // namespace

KCentralWidget::KCentralWidget(const QMap<int, KObjectHandler *> &objects, QWidget *parent)
    : KAbstractCentralWidget(parent), m_objects(objects)
{
    if (!m_objects.isEmpty())
        m_currentObject = m_objects.first();

    KSettings *settings = KSettings::instance();
    m_placeholder = new QWidget;
    auto *nameLabel = new QLabel(settings->applicationName());
    nameLabel->setObjectName(QStringLiteral("titleLabel_L"));
    nameLabel->setAlignment(Qt::AlignCenter);
    auto *versionLabel = new QLabel(QStringLiteral("v") + settings->applicationVersion());
    versionLabel->setStyleSheet(QStringLiteral("font: 8pt;"));
    versionLabel->setAlignment(Qt::AlignCenter);
    m_toolGuide = new QWidget;
    auto *placeholderLayout = new QVBoxLayout(m_placeholder);
    placeholderLayout->addStretch();
    placeholderLayout->addWidget(nameLabel);
    placeholderLayout->addWidget(versionLabel);
    placeholderLayout->addSpacing(24);
    placeholderLayout->addWidget(m_toolGuide, 0, Qt::AlignHCenter);
    placeholderLayout->addStretch();

    m_tabWidget = new KCentralTabWidget;
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_tabWidget);
    m_stack->setCurrentWidget(m_placeholder);

    connect(m_tabWidget, &QTabWidget::currentChanged, this, &KCentralWidget::handleTabChange);
    connect(m_tabWidget, &QTabWidget::tabCloseRequested, this, &KCentralWidget::closeTab);
}

void KCentralWidget::setToolGuide(const QList<QPair<QString, QString>> &tools)
{
    delete m_toolGuide->layout();
    qDeleteAll(m_toolGuide->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly));
    auto *grid = new QGridLayout(m_toolGuide);
    grid->setHorizontalSpacing(10);
    auto *heading =
        new QLabel(QStringLiteral("Выберите объект в списке слева и откройте вкладку:"));
    grid->addWidget(heading, 0, 0, 1, 2);
    int row = 1;
    for (const auto &tool : tools) {
        auto *icon = new QLabel;
        icon->setPixmap(QIcon(tool.first).pixmap(24, 24));
        grid->addWidget(icon, row, 0);
        grid->addWidget(new QLabel(tool.second), row, 1);
        ++row;
    }
    grid->addWidget(new QLabel(QStringLiteral("Закрыть вкладку: Ctrl+W")), row, 1);
}

KCentralWidget::~KCentralWidget()
{
    // The pages go first, while the objects they use still exist.
    disconnect(m_tabWidget, nullptr, this, nullptr);
    while (m_tabWidget->count() > 0) {
        QWidget *page = m_tabWidget->widget(0);
        m_tabWidget->removeTab(0);
        delete page;
    }
}

bool KCentralWidget::isPlaceholderShown() const
{
    return m_stack->currentWidget() == m_placeholder;
}

template<class T> T *KCentralWidget::findTab() const
{
    for (int i = 0; i < m_tabWidget->count(); ++i) {
        if (auto *page = qobject_cast<T *>(m_tabWidget->widget(i)))
            return page;
    }
    return nullptr;
}

template<class T>
T *KCentralWidget::openTab(const QString &iconPath, const QString &title, bool *created)
{
    T *page = findTab<T>();
    if (created)
        *created = !page;
    if (page) {
        m_tabWidget->setCurrentWidget(page);
        return page;
    }
    page = new T;
    addTab(page, iconPath, title);
    return page;
}

KOnlineVideoWidget *KCentralWidget::onlineVideoTab() const
{
    return findTab<KOnlineVideoWidget>();
}

KArchiveVideoWidget *KCentralWidget::archiveVideoTab() const
{
    return findTab<KArchiveVideoWidget>();
}

KDownloadWidget *KCentralWidget::downloadVideoTab() const
{
    return findTab<KDownloadWidget>();
}

KVideoWidget *KCentralWidget::videoTab() const
{
    return findTab<KVideoWidget>();
}

KAutodownloadWidget *KCentralWidget::autodownloadTab() const
{
    return findTab<KAutodownloadWidget>();
}

int KCentralWidget::addTab(QWidget *page, const QString &iconPath, const QString &title)
{
    const int index = m_tabWidget->addTab(page, QIcon(iconPath), title);
    m_tabWidget->setCurrentIndex(index);
    return index;
}

void KCentralWidget::addOnlineVideoTab()
{
    auto *page = openTab<KOnlineVideoWidget>(QStringLiteral(":/object_preview.png"),
                                             QStringLiteral("Онлайн-трансляция"));
    if (m_currentObject)
        page->setObject(m_currentObject);
}

void KCentralWidget::addArchiveVideoTab()
{
    bool created = false;
    auto *page = openTab<KArchiveVideoWidget>(QStringLiteral(":/object_playback.png"),
                                              QStringLiteral("Просмотр видеоархива"), &created);
    if (created) {
        connect(
            page, &KArchiveVideoWidget::prepareDownloadRequested, this,
            QOverload<KObjectHandler *const, QDateTime>::of(&KCentralWidget::addDownloadVideoTab));
    }
    if (m_currentObject)
        page->setObject(m_currentObject);
}

void KCentralWidget::addDownloadVideoTab()
{
    auto *page = openTab<KDownloadWidget>(QStringLiteral(":/object_download.png"),
                                          QStringLiteral("Загрузка видеоархива"));
    if (!m_currentObject)
        return;
    if (isDownloadInProgress(page)) {
        KMessageWidget::execMessage(KMessageWidget::Warning, kInProgressText, window());
        return;
    }
    page->setObject(m_currentObject);
}

void KCentralWidget::addDownloadVideoTab(KObjectHandler *const objectHandler, QDateTime dateTime)
{
    auto *page = openTab<KDownloadWidget>(QStringLiteral(":/object_download.png"),
                                          QStringLiteral("Загрузка видеоархива"));
    if (isDownloadInProgress(page)) {
        KMessageWidget::execMessage(KMessageWidget::Warning, kInProgressText, window());
        return;
    }
    page->setObject(objectHandler);
    page->setDateTime(dateTime);
}

void KCentralWidget::addVideoTab()
{
    KVideoWidget *page = videoTab();
    if (page) {
        m_tabWidget->setCurrentWidget(page);
        return;
    }
    addTab(new KVideoWidget, QStringLiteral(":/videoplayer.png"), QStringLiteral("Видеоплеер"));
}

void KCentralWidget::addAutodownloadTab()
{
    bool created = false;
    auto *page = openTab<KAutodownloadWidget>(QStringLiteral(":/autodownload.png"),
                                              QStringLiteral("Автозагрузка"), &created);
    if (created)
        page->setObjects(m_objects);
}

void KCentralWidget::updateAutodownloadObjects()
{
    if (KAutodownloadWidget *page = autodownloadTab())
        page->setObjects(m_objects);
}

void KCentralWidget::setCurrentObject(KObjectHandler *const objectHandler)
{
    if (objectHandler && !m_objects.values().contains(objectHandler))
        return;
    const bool changed = objectHandler != m_currentObject;
    m_currentObject = objectHandler;
    // Every open tab follows, the one on screen included: the object list chooses objects from
    // outside the tabs, and a tab that already shows the object ignores it.
    for (int i = 0; i < m_tabWidget->count(); ++i) {
        QWidget *page = m_tabWidget->widget(i);
        if (auto *video = qobject_cast<KAbstractVideoTabWidget *>(page)) {
            video->setObject(objectHandler);
        } else if (auto *download = qobject_cast<KDownloadWidget *>(page)) {
            // A running download keeps its object.
            if (!isDownloadInProgress(download))
                download->setObject(objectHandler);
        }
    }
    if (changed)
        emit currentObjectChanged(objectHandler);
}

void KCentralWidget::addObject(KObjectHandler *objectHandler)
{
    if (!objectHandler)
        return;
    m_objects.insert(objectHandler->id(), objectHandler);
    updateAutodownloadObjects();
    if (!m_currentObject)
        setCurrentObject(m_objects.first());
}

void KCentralWidget::removeObject(KObjectHandler *objectHandler)
{
    if (!objectHandler || m_objects.value(objectHandler->id()) != objectHandler)
        return;
    m_objects.remove(objectHandler->id());
    updateAutodownloadObjects();
    if (m_currentObject == objectHandler)
        setCurrentObject(m_objects.isEmpty() ? nullptr : m_objects.first());
}

void KCentralWidget::replaceObject(KObjectHandler *previous, KObjectHandler *objectHandler)
{
    if (!previous || !objectHandler)
        return;
    m_objects.remove(previous->id());
    m_objects.insert(objectHandler->id(), objectHandler);
    updateAutodownloadObjects();
    if (m_currentObject == previous)
        setCurrentObject(objectHandler);
}

void KCentralWidget::handleTabChange(int index)
{
    m_stack->setCurrentWidget(index < 0 ? m_placeholder : static_cast<QWidget *>(m_tabWidget));
    for (int i = 0; i < m_tabWidget->count(); ++i) {
        if (i == index)
            continue;
        QWidget *page = m_tabWidget->widget(i);
        if (auto *tab = qobject_cast<KAbstractVideoTabWidget *>(page))
            tab->stopPlayback();
        else if (auto *video = qobject_cast<KVideoWidget *>(page))
            video->holdPlayback();
    }
    // The keyboard follows the tab on screen, so that its keys work at the first press.
    if (QWidget *page = m_tabWidget->widget(index)) {
        if (!page->isAncestorOf(QApplication::focusWidget()))
            page->setFocus(Qt::TabFocusReason);
    }
}

void KCentralWidget::closeTab(int index)
{
    QPointer<QWidget> page = m_tabWidget->widget(index);
    if (!page)
        return;
    if (qobject_cast<KDownloadWidget *>(page) && isDownloadInProgress(page)) {
        const bool confirmed = KMessageWidget::execMessage(
            KMessageWidget::Question,
            QStringLiteral("Текущие загрузки будут прерваны.\nЗакрыть загрузчик?"), window());
        // The question runs its own loop; the tab may have gone meanwhile.
        if (!confirmed || !page)
            return;
    }
    const int current = m_tabWidget->indexOf(page);
    if (current < 0)
        return;
    m_tabWidget->removeTab(current);
    page->deleteLater();
}

void KCentralWidget::closeCurrentTab()
{
    if (m_tabWidget->currentIndex() >= 0)
        closeTab(m_tabWidget->currentIndex());
}

bool KCentralWidget::isDownloadInProgress(QWidget *downloadTab) const
{
    auto *download = qobject_cast<KDownloadWidget *>(downloadTab);
    return download && download->isDownloading();
}
