#pragma once

#include "KAbstractCentralWidget.h"

#include <QDateTime>
#include <QMap>

class QLabel;
class QStackedLayout;
class KArchiveVideoWidget;
class KAutodownloadWidget;
class KCentralTabWidget;
class KDownloadWidget;
class KObjectHandler;
class KOnlineVideoWidget;
class KVideoWidget;

// The tab area of the main window: at most one tab of each kind (online view, archive view,
// archive download, local video player, automatic download tasks), a placeholder page while
// no tab is open, and the current object the online, archive and download tabs work on.
class KCentralWidget : public KAbstractCentralWidget
{
    Q_OBJECT

public:
    // objects: the object master's map; the first object (lowest id) becomes current.
    explicit KCentralWidget(const QMap<int, KObjectHandler *> &objects, QWidget *parent = nullptr);
    ~KCentralWidget() override;

    KCentralTabWidget *tabWidget() const { return m_tabWidget; }
    QWidget *placeholderWidget() const { return m_placeholder; }
    // What the empty pane offers: one row per tool (its picture and "name (key)").
    void setToolGuide(const QList<QPair<QString, QString>> &tools);
    bool isPlaceholderShown() const;
    KObjectHandler *currentObject() const { return m_currentObject; }

    KOnlineVideoWidget *onlineVideoTab() const;
    KArchiveVideoWidget *archiveVideoTab() const;
    KDownloadWidget *downloadVideoTab() const;
    KVideoWidget *videoTab() const;
    KAutodownloadWidget *autodownloadTab() const;

signals:
    void currentObjectChanged(KObjectHandler *objectHandler);

public slots:
    void addOnlineVideoTab();
    void addArchiveVideoTab();
    void addDownloadVideoTab();
    void addDownloadVideoTab(KObjectHandler *const objectHandler, QDateTime dateTime);
    void addVideoTab();
    void addAutodownloadTab();
    void setCurrentObject(KObjectHandler *const objectHandler);
    // The object master's map changed. A current object that left gives way to the first
    // object; one that was replaced by a new handler of the same id stays current.
    void addObject(KObjectHandler *objectHandler);
    void removeObject(KObjectHandler *objectHandler);
    void replaceObject(KObjectHandler *previous, KObjectHandler *objectHandler);
    void handleTabChange(int index);
    void closeTab(int index);
    // Closes the tab on screen (keyboard shortcut).
    void closeCurrentTab();

protected:
    // Whether the download tab has a download running (its tab then keeps its object and asks
    // before closing).
    virtual bool isDownloadInProgress(QWidget *downloadTab) const;

private:
    template<class T> T *findTab() const;
    // Makes the tab of class T current, creating it first when there is none.
    template<class T>
    T *openTab(const QString &iconPath, const QString &title, bool *created = nullptr);
    int addTab(QWidget *page, const QString &iconPath, const QString &title);
    // The tasks tab makes tasks for the objects of the list.
    void updateAutodownloadObjects();

    QMap<int, KObjectHandler *> m_objects;
    KObjectHandler *m_currentObject = nullptr;
    KCentralTabWidget *m_tabWidget = nullptr;
    QWidget *m_placeholder = nullptr;
    QWidget *m_toolGuide = nullptr;
    QStackedLayout *m_stack = nullptr;
};
