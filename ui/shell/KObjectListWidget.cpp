#include "KObjectListWidget.h"

#include "KConnectionStateStyle.h"
#include "KObjectHandler.h"

#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kObjectRole = Qt::UserRole + 1;
} // namespace

KObjectListWidget::KObjectListWidget(const QMap<int, KObjectHandler *> &objects, QWidget *parent)
    : QWidget(parent)
{
    m_headerLabel = new QLabel;
    m_headerLabel->setObjectName(QStringLiteral("titleLabel_S"));

    m_tree = new QTreeWidget;
    m_tree->setObjectName(QStringLiteral("objectList"));
    m_tree->setColumnCount(3);
    m_tree->setHeaderLabels(
        {QStringLiteral("Объект"), QStringLiteral("Группа"), QStringLiteral("Связь")});
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setIconSize(QSize(12, 12));
    // Names first: the state column takes what is left and elides. Name and group columns are
    // fitted when names change (fitColumns()), not on every state change: measuring every row
    // after each of a poll's hundreds of updates held the window for hundreds of milliseconds.
    m_tree->header()->setStretchLastSection(true);
    m_tree->header()->setSectionResizeMode(NameColumn, QHeaderView::Interactive);
    m_tree->header()->setSectionResizeMode(GroupColumn, QHeaderView::Interactive);
    m_tree->header()->setSectionResizeMode(StateColumn, QHeaderView::Stretch);
    m_tree->header()->setSectionsClickable(false);

    for (KObjectHandler *object : objects)
        addObject(object);
    updateCounter();
    fitColumns();

    connect(m_tree, &QTreeWidget::itemClicked, this, &KObjectListWidget::chooseItem);
    connect(m_tree, &QTreeWidget::itemActivated, this, &KObjectListWidget::chooseItem);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_headerLabel);
    layout->addWidget(m_tree, 1);
}

QTreeWidgetItem *KObjectListWidget::itemFor(KObjectHandler *objectHandler) const
{
    return m_items.value(objectHandler);
}

KObjectHandler *KObjectListWidget::objectAt(QTreeWidgetItem *item) const
{
    if (!item)
        return nullptr;
    auto *object =
        static_cast<KObjectHandler *>(item->data(NameColumn, kObjectRole).value<void *>());
    // Only handlers still listed count; the pointer of a removed row is never followed.
    return m_items.value(object) == item ? object : nullptr;
}

void KObjectListWidget::setCurrentObject(KObjectHandler *objectHandler)
{
    if (QTreeWidgetItem *old = m_items.value(m_currentObject)) {
        for (int column = 0; column < m_tree->columnCount(); ++column) {
            QFont font = old->font(column);
            font.setBold(false);
            old->setFont(column, font);
        }
    }
    m_currentObject = m_items.contains(objectHandler) ? objectHandler : nullptr;
    QTreeWidgetItem *item = m_items.value(m_currentObject);
    if (!item) {
        m_tree->clearSelection();
        return;
    }
    for (int column = 0; column < m_tree->columnCount(); ++column) {
        QFont font = item->font(column);
        font.setBold(true);
        item->setFont(column, font);
    }
    m_tree->setCurrentItem(item);
}

void KObjectListWidget::clear()
{
    for (KObjectHandler *object : m_items.keys())
        disconnect(object, nullptr, this, nullptr);
    m_items.clear();
    m_tree->clear();
    m_currentObject = nullptr;
    updateCounter();
}

void KObjectListWidget::watch(KObjectHandler *object)
{
    connect(object, &KObjectHandler::connectionStateChanged, this,
            [this, object] { updateObject(object); });
    connect(object, &QObject::destroyed, this, [this, object] {
        delete m_items.take(object);
        if (m_currentObject == object)
            m_currentObject = nullptr;
        updateCounter();
    });
}

void KObjectListWidget::addObject(KObjectHandler *objectHandler)
{
    if (!objectHandler || m_items.contains(objectHandler))
        return;
    // Objects mostly come in ascending id: after the last row without a search.
    int row = m_tree->topLevelItemCount();
    const KObjectHandler *last = row > 0 ? objectAt(m_tree->topLevelItem(row - 1)) : nullptr;
    if (last && last->id() > objectHandler->id())
        row = 0;
    while (row < m_tree->topLevelItemCount()) {
        const KObjectHandler *listed = objectAt(m_tree->topLevelItem(row));
        if (listed && listed->id() > objectHandler->id())
            break;
        ++row;
    }
    auto *item = new QTreeWidgetItem;
    item->setData(NameColumn, kObjectRole, QVariant::fromValue(static_cast<void *>(objectHandler)));
    m_tree->insertTopLevelItem(row, item);
    m_items.insert(objectHandler, item);
    watch(objectHandler);
    updateObject(objectHandler);
    updateCounter();
}

void KObjectListWidget::removeObject(KObjectHandler *objectHandler)
{
    if (!m_items.contains(objectHandler))
        return;
    disconnect(objectHandler, nullptr, this, nullptr);
    delete m_items.take(objectHandler);
    if (m_currentObject == objectHandler)
        m_currentObject = nullptr;
    updateCounter();
}

void KObjectListWidget::replaceObject(KObjectHandler *previous, KObjectHandler *objectHandler)
{
    QTreeWidgetItem *item = m_items.value(previous);
    if (!item || !objectHandler) {
        addObject(objectHandler);
        return;
    }
    disconnect(previous, nullptr, this, nullptr);
    m_items.remove(previous);
    item->setData(NameColumn, kObjectRole, QVariant::fromValue(static_cast<void *>(objectHandler)));
    m_items.insert(objectHandler, item);
    watch(objectHandler);
    updateObject(objectHandler);
    if (m_currentObject == previous)
        setCurrentObject(objectHandler);
}

void KObjectListWidget::updateObject(KObjectHandler *objectHandler)
{
    QTreeWidgetItem *item = m_items.value(objectHandler);
    if (!item)
        return;
    const KObjectData record = objectHandler->record();
    const int state = record.connection.state;
    if (item->text(NameColumn) != record.name || item->text(GroupColumn) != record.group.name)
        scheduleFit();
    item->setText(NameColumn, record.name);
    item->setText(GroupColumn, record.group.name);
    // A new icon for an unchanged state would still count as a change of the row. A refused
    // login is shown as such: "reachable without login" would hide why nothing plays.
    const bool authFailed = objectHandler->isAuthFailed();
    const int shownKey = authFailed ? -state : state;
    const QVariant shown = item->data(StateColumn, Qt::UserRole);
    if (!shown.isValid() || shown.toInt() != shownKey) {
        item->setIcon(NameColumn, KConnectionStateStyle::icon(state));
        item->setText(StateColumn, authFailed ? QStringLiteral("Ошибка авторизации")
                                              : KConnectionStateStyle::text(state));
        item->setData(StateColumn, Qt::UserRole, shownKey);
    }

    QString toolTip = record.name;
    if (!record.group.name.isEmpty())
        toolTip += QStringLiteral(" [") + record.group.name + QStringLiteral("]");
    if (!record.host.isEmpty())
        toolTip += QStringLiteral("\nАдрес: ") + record.host;
    toolTip += QStringLiteral("\n") + KConnectionStateStyle::details(record.connection);
    const QString problem = objectHandler->connectionProblem();
    if (!problem.isEmpty())
        toolTip += QStringLiteral("\nПричина: ") + problem;
    for (int column = 0; column < m_tree->columnCount(); ++column)
        item->setToolTip(column, toolTip);
}

void KObjectListWidget::scheduleFit()
{
    if (m_fitPending)
        return;
    m_fitPending = true;
    QTimer::singleShot(0, this, &KObjectListWidget::fitColumns);
}

void KObjectListWidget::fitColumns()
{
    m_fitPending = false;
    m_tree->resizeColumnToContents(NameColumn);
    m_tree->resizeColumnToContents(GroupColumn);
}

void KObjectListWidget::chooseItem(QTreeWidgetItem *item)
{
    if (KObjectHandler *object = objectAt(item))
        emit objectChosen(object);
}

void KObjectListWidget::updateCounter()
{
    m_headerLabel->setText(QStringLiteral("Объекты (") + QString::number(m_items.size()) +
                           QStringLiteral(")"));
}
