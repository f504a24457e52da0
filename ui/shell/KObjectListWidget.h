#pragma once

#include <QHash>
#include <QMap>
#include <QWidget>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class KObjectHandler;

// The list of loaded objects beside the tabs: name, group and connection state in the theme's
// state colours, check time and response time in the tool tip. Follows every object's
// connection changes; choosing an object asks the tabs to work on it.
class KObjectListWidget : public QWidget
{
    Q_OBJECT

public:
    enum Column { NameColumn = 0, GroupColumn = 1, StateColumn = 2 };

    explicit KObjectListWidget(const QMap<int, KObjectHandler *> &objects,
                               QWidget *parent = nullptr);

    QTreeWidget *treeWidget() const { return m_tree; }
    QTreeWidgetItem *itemFor(KObjectHandler *objectHandler) const;
    KObjectHandler *objectAt(QTreeWidgetItem *item) const;
    KObjectHandler *currentObject() const { return m_currentObject; }

signals:
    void objectChosen(KObjectHandler *objectHandler);

public slots:
    // Marks the object the tabs work on (bold, selected).
    void setCurrentObject(KObjectHandler *objectHandler);
    // Removes every object (the object master is about to destroy them).
    void clear();
    // The object master's map changed: rows keep ascending object id.
    void addObject(KObjectHandler *objectHandler);
    void removeObject(KObjectHandler *objectHandler);
    void replaceObject(KObjectHandler *previous, KObjectHandler *objectHandler);
    void renameObject(KObjectHandler *objectHandler) { updateObject(objectHandler); }

private slots:
    void updateObject(KObjectHandler *objectHandler);
    void chooseItem(QTreeWidgetItem *item);

private:
    void updateCounter();
    void watch(KObjectHandler *objectHandler);
    // Fits the name and group columns once after a batch of name changes.
    void scheduleFit();
    void fitColumns();

    QLabel *m_headerLabel = nullptr;
    QTreeWidget *m_tree = nullptr;
    QHash<KObjectHandler *, QTreeWidgetItem *> m_items;
    KObjectHandler *m_currentObject = nullptr;
    bool m_fitPending = false;
};
