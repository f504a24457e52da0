#include "KAutodownloadWidget.h"

#include "KAutodownloadQueue.h"
#include "KAutodownloadStateDelegate.h"
#include "KAutodownloadTaskFilter.h"
#include "KAutodownloadTaskModel.h"
#include "KMessageWidget.h"
#include "KObjectHandler.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTableView>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton *toolButton(const QString &icon, const QString &disabledIcon, const QString &toolTip,
                        QWidget *owner, const QKeySequence &key)
{
    auto *button = new QPushButton;
    button->setFixedSize(35, 35);
    QIcon pictures;
    pictures.addFile(icon, QSize(), QIcon::Normal);
    if (!disabledIcon.isEmpty())
        pictures.addFile(disabledIcon, QSize(), QIcon::Disabled);
    button->setIcon(pictures);
    button->setIconSize(QSize(31, 31));
    button->setToolTip(toolTip + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) +
                       QLatin1Char(')'));
    auto *shortcut = new QShortcut(key, owner);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    return button;
}

QLabel *caption(const QString &text)
{
    auto *label = new QLabel(text);
    label->setObjectName(QStringLiteral("titleLabel_S"));
    return label;
}

} // namespace

KAutodownloadWidget::KAutodownloadWidget(QWidget *parent)
    : QWidget(parent), m_model(new KAutodownloadTaskModel(this)),
      m_filter(new KAutodownloadTaskFilter(this)), m_timer(new QTimer(this))
{
    // The form for new tasks.
    m_objectList = new QListWidget;
    m_objectList->setToolTip(QStringLiteral("Объекты, для которых создаются задания"));
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    m_dateEdit = new QDateEdit(QDate::currentDate().addDays(-1));
    m_dateEdit->setLocale(russian);
    m_dateEdit->setDisplayFormat(QStringLiteral("dd MMMM yyyy"));
    m_dateEdit->setCalendarPopup(true);
    m_fromEdit = new QTimeEdit(QTime(8, 0));
    m_toEdit = new QTimeEdit(QTime(8, 10));
    for (QTimeEdit *edit : {m_fromEdit, m_toEdit}) {
        edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        edit->setFixedWidth(80);
    }
    m_channelsEdit = new QLineEdit;
    m_channelsEdit->setPlaceholderText(QStringLiteral("все доступные"));
    m_channelsEdit->setToolTip(QStringLiteral(
        "Номера или имена каналов через запятую (1, 2 или ACAM01, DCAM01); пусто - все "
        "каналы ВР"));
    m_createButton =
        toolButton(QStringLiteral(":/add.png"), QStringLiteral(":/add_d.png"),
                   QStringLiteral("Создать задания"), this, QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(m_createButton, &QPushButton::clicked, this, &KAutodownloadWidget::createTasks);

    auto *interval = new QHBoxLayout;
    interval->addWidget(m_dateEdit);
    interval->addWidget(new QLabel(QStringLiteral("с")));
    interval->addWidget(m_fromEdit);
    interval->addWidget(new QLabel(QStringLiteral("по")));
    interval->addWidget(m_toEdit);
    auto *when = new QVBoxLayout;
    when->addWidget(new QLabel(QStringLiteral("Интервал:")));
    when->addLayout(interval);
    when->addWidget(new QLabel(QStringLiteral("Каналы:")));
    when->addWidget(m_channelsEdit);
    when->addStretch();
    auto *which = new QVBoxLayout;
    which->addWidget(new QLabel(QStringLiteral("Объекты:")));
    which->addWidget(m_objectList);
    m_objectList->setFixedSize(240, 110);
    auto *createColumn = new QVBoxLayout;
    createColumn->addStretch();
    createColumn->addWidget(m_createButton);
    auto *form = new QHBoxLayout;
    form->addLayout(which);
    form->addSpacing(10);
    form->addLayout(when);
    form->addSpacing(10);
    form->addLayout(createColumn);
    form->addStretch();

    // The tasks.
    m_filter->setSourceModel(m_model);
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("autodownloadTable"));
    m_table->setModel(m_filter);
    m_table->setItemDelegateForColumn(KAutodownloadTaskModel::StateColumn,
                                      new KAutodownloadStateDelegate(m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(28);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView *header = m_table->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(KAutodownloadTaskModel::StateColumn, QHeaderView::Stretch);
    const int widths[] = {40, 130, 215, 80, 0, 190};
    for (int column = 0; column < KAutodownloadTaskModel::ColumnCount; ++column) {
        if (column != KAutodownloadTaskModel::StateColumn)
            m_table->setColumnWidth(column, widths[column]);
    }

    m_stateBox = new QComboBox;
    m_stateBox->addItem(QStringLiteral("Все состояния"), -1);
    for (int state = KAutodownloadTaskModel::WaitingState;
         state <= KAutodownloadTaskModel::CancelledState; ++state)
        m_stateBox->addItem(KAutodownloadTaskModel::stateName(KAutodownloadTaskModel::State(state)),
                            state);
    m_stateBox->setToolTip(QStringLiteral("Состояние (Ctrl+F)"));
    m_objectBox = new QComboBox;
    m_objectBox->addItem(QStringLiteral("Все объекты"), -1);
    m_objectBox->setToolTip(QStringLiteral("Объект"));
    m_objectBox->setMinimumWidth(160);
    connect(m_stateBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &KAutodownloadWidget::applyFilters);
    connect(m_objectBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &KAutodownloadWidget::applyFilters);
    auto *find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, m_stateBox, [this] { m_stateBox->setFocus(); });
    auto *reset =
        toolButton(QStringLiteral(":/update.png"), QString(), QStringLiteral("Сбросить фильтры"),
                   this, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    reset->setFixedSize(25, 25);
    reset->setIconSize(QSize(21, 21));
    connect(reset, &QPushButton::clicked, this, &KAutodownloadWidget::resetFilters);

    m_cancelButton =
        toolButton(QStringLiteral(":/stop.png"), QStringLiteral(":/stop_d.png"),
                   QStringLiteral("Отменить задания"), this, QKeySequence(Qt::Key_Escape));
    m_retryButton =
        toolButton(QStringLiteral(":/download.png"), QStringLiteral(":/download_d.png"),
                   QStringLiteral("Повторить задания"), this, QKeySequence(Qt::CTRL | Qt::Key_R));
    m_deleteButton =
        toolButton(QStringLiteral(":/delete.png"), QStringLiteral(":/delete_d.png"),
                   QStringLiteral("Удалить задания"), this, QKeySequence(Qt::Key_Delete));
    m_refreshButton = toolButton(QStringLiteral(":/update.png"), QStringLiteral(":/update_d.png"),
                                 QStringLiteral("Обновить"), this, QKeySequence(Qt::Key_F5));
    connect(m_cancelButton, &QPushButton::clicked, this, &KAutodownloadWidget::cancelTasks);
    connect(m_retryButton, &QPushButton::clicked, this, &KAutodownloadWidget::retryTasks);
    connect(m_deleteButton, &QPushButton::clicked, this, &KAutodownloadWidget::deleteTasks);
    connect(m_refreshButton, &QPushButton::clicked, this, &KAutodownloadWidget::refresh);

    auto *filters = new QHBoxLayout;
    filters->addWidget(caption(QStringLiteral("Задания")));
    filters->addSpacing(10);
    filters->addWidget(m_stateBox);
    filters->addWidget(m_objectBox);
    filters->addWidget(reset);
    filters->addStretch();
    for (QPushButton *button : {m_cancelButton, m_retryButton, m_deleteButton, m_refreshButton})
        filters->addWidget(button);
    m_statusLabel = new QLabel;
    m_countLabel = new QLabel;
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(m_statusLabel, 1);
    statusRow->addWidget(m_countLabel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(statusRow);
    layout->addWidget(caption(QStringLiteral("Новые задания")));
    layout->addLayout(form);

    m_timer->setInterval(refreshInterval);
    connect(m_timer, &QTimer::timeout, this, &KAutodownloadWidget::refresh);
    KAutodownloadQueue *queue = KAutodownloadQueue::instance();
    connect(queue, &KAutodownloadQueue::changed, this, &KAutodownloadWidget::refreshSoon);
    connect(queue, &KAutodownloadQueue::progressChanged, this, &KAutodownloadWidget::refreshSoon);
    refresh();
}

KAutodownloadWidget::~KAutodownloadWidget() = default;

QList<QPushButton *> KAutodownloadWidget::buttons() const
{
    return {m_createButton, m_cancelButton, m_retryButton, m_deleteButton, m_refreshButton};
}

void KAutodownloadWidget::setObjects(const QMap<int, KObjectHandler *> &objects)
{
    m_objects = objects;
    QSet<int> checked;
    for (int i = 0; i < m_objectList->count(); ++i) {
        if (m_objectList->item(i)->checkState() == Qt::Checked)
            checked.insert(m_objectList->item(i)->data(Qt::UserRole).toInt());
    }
    QList<KObjectHandler *> byName = objects.values();
    std::sort(byName.begin(), byName.end(),
              [](KObjectHandler *a, KObjectHandler *b) { return a->name() < b->name(); });
    m_objectList->clear();
    for (KObjectHandler *object : qAsConst(byName)) {
        auto *item = new QListWidgetItem(object->name(), m_objectList);
        item->setData(Qt::UserRole, object->id());
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(checked.contains(object->id()) ? Qt::Checked : Qt::Unchecked);
    }
    refresh();
}

bool KAutodownloadWidget::parseChannels(const QString &text, QStringList *channels, QString *bad)
{
    channels->clear();
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    static const QRegularExpression name(QStringLiteral("^(A|D)CAM(\\d{1,2})$"));
    for (const QString &word : text.split(separators, Qt::SkipEmptyParts)) {
        bool number = false;
        const int n = word.toInt(&number);
        QString channel;
        if (number && n >= 1 && n <= 32) {
            channel = QStringLiteral("ACAM%1").arg(n, 2, 10, QLatin1Char('0'));
        } else if (const QRegularExpressionMatch match = name.match(word.toUpper());
                   match.hasMatch() && match.captured(2).toInt() >= 1 &&
                   match.captured(2).toInt() <= 32) {
            channel = match.captured(1) + QStringLiteral("CAM") +
                      QStringLiteral("%1").arg(match.captured(2).toInt(), 2, 10, QLatin1Char('0'));
        } else {
            *bad = word;
            return false;
        }
        if (!channels->contains(channel))
            channels->append(channel);
    }
    return true;
}

void KAutodownloadWidget::createTasks()
{
    QList<int> objectIds;
    for (int i = 0; i < m_objectList->count(); ++i) {
        if (m_objectList->item(i)->checkState() == Qt::Checked)
            objectIds << m_objectList->item(i)->data(Qt::UserRole).toInt();
    }
    if (objectIds.isEmpty()) {
        KMessageWidget::execMessage(KMessageWidget::Warning,
                                    QStringLiteral("Не выбран ни один объект!"), window());
        return;
    }
    const QDateTime begin(m_dateEdit->date(), m_fromEdit->time());
    const QDateTime end(m_dateEdit->date(), m_toEdit->time());
    if (!(begin < end)) {
        KMessageWidget::execMessage(KMessageWidget::Warning, QStringLiteral("Неверный интервал!"),
                                    window());
        return;
    }
    QStringList channels;
    QString bad;
    if (!parseChannels(m_channelsEdit->text(), &channels, &bad)) {
        KMessageWidget::execMessage(KMessageWidget::Warning,
                                    QStringLiteral("Неверный канал: ") + bad, window());
        return;
    }
    QList<KAutodownloadTaskData> tasks;
    for (int id : qAsConst(objectIds)) {
        KAutodownloadTaskData task;
        task.objectId = id;
        task.startTime = begin;
        task.stopTime = end;
        task.channels = channels.join(QLatin1Char(','));
        tasks << task;
    }
    const QList<int> ids = KAutodownloadQueue::instance()->create(tasks);
    if (ids.isEmpty()) {
        KMessageWidget::execMessage(KMessageWidget::Error,
                                    QStringLiteral("Задания не созданы: ошибка БД!"), window());
        return;
    }
    refresh();
    selectIds(ids);
    report(QStringLiteral("Создано заданий: ") + QString::number(ids.size()));
}

void KAutodownloadWidget::cancelTasks()
{
    const int changed = KAutodownloadQueue::instance()->cancel(selectedIds());
    if (changed < 0)
        KMessageWidget::execMessage(KMessageWidget::Error, QStringLiteral("Ошибка БД!"), window());
    else
        report(QStringLiteral("Отменено заданий: ") + QString::number(changed));
    refresh();
}

void KAutodownloadWidget::retryTasks()
{
    const int changed = KAutodownloadQueue::instance()->retry(selectedIds());
    if (changed < 0)
        KMessageWidget::execMessage(KMessageWidget::Error, QStringLiteral("Ошибка БД!"), window());
    else
        report(QStringLiteral("Повторяется заданий: ") + QString::number(changed));
    refresh();
}

void KAutodownloadWidget::deleteTasks()
{
    const QList<int> ids = selectedIds();
    if (ids.isEmpty())
        return;
    if (!KMessageWidget::execMessage(KMessageWidget::Question,
                                     QStringLiteral("Удалить выбранные задания (") +
                                         QString::number(ids.size()) + QStringLiteral(")?"),
                                     window()))
        return;
    const int changed = KAutodownloadQueue::instance()->remove(ids);
    if (changed < 0)
        KMessageWidget::execMessage(KMessageWidget::Error, QStringLiteral("Ошибка БД!"), window());
    else
        report(QStringLiteral("Удалено заданий: ") + QString::number(changed));
    refresh();
}

void KAutodownloadWidget::resetFilters()
{
    m_stateBox->setCurrentIndex(0);
    m_objectBox->setCurrentIndex(0);
}

void KAutodownloadWidget::report(const QString &text)
{
    m_statusLabel->setText(text);
}

void KAutodownloadWidget::refreshSoon()
{
    // A burst of progress makes one reading.
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(100, this, [this] {
        m_refreshPending = false;
        refresh();
    });
}

void KAutodownloadWidget::refresh()
{
    bool ok = false;
    const QList<KAutodownloadTaskData> tasks = KAutodownloadQueue::instance()->tasks(&ok);
    if (!ok) {
        m_countLabel->setText(QStringLiteral("Нет связи с БД заданий!"));
        return;
    }
    QHash<int, QString> names;
    for (KObjectHandler *object : qAsConst(m_objects))
        names.insert(object->id(), object->name());
    const QList<int> selected = selectedIds();
    m_model->setObjectNames(names);
    m_model->setTasks(tasks);
    fillObjectFilter();
    selectIds(selected);

    int counts[KAutodownloadTaskModel::CancelledState + 1] = {};
    for (const KAutodownloadTaskData &task : tasks)
        ++counts[KAutodownloadTaskModel::state(task)];
    static const char *const counted[] = {"ожидают ВР", "загружаются", "завершены",
                                          "частично",   "с ошибкой",   "отменены"};
    QStringList parts{QStringLiteral("Всего: ") + QString::number(tasks.size())};
    for (int state = 0; state <= KAutodownloadTaskModel::CancelledState; ++state) {
        if (counts[state] > 0)
            parts << QString::fromUtf8(counted[state]) + QStringLiteral(": ") +
                         QString::number(counts[state]);
    }
    m_countLabel->setText(parts.join(QStringLiteral(", ")));
}

void KAutodownloadWidget::fillObjectFilter()
{
    // The objects of the list and those of the tasks; rebuilt only when they change.
    QMap<QString, int> byName;
    for (KObjectHandler *object : qAsConst(m_objects))
        byName.insert(object->name() + QLatin1Char('\n') + QString::number(object->id()),
                      object->id());
    for (const KAutodownloadTaskData &task : m_model->tasks()) {
        if (!m_objects.contains(task.objectId))
            byName.insert(QStringLiteral("№") + QString::number(task.objectId) + QLatin1Char('\n') +
                              QString::number(task.objectId),
                          task.objectId);
    }
    QList<int> ids = byName.values();
    ids.prepend(-1);
    QList<int> shown;
    for (int i = 0; i < m_objectBox->count(); ++i)
        shown << m_objectBox->itemData(i).toInt();
    if (shown == ids)
        return;
    const int current = m_objectBox->currentData().toInt();
    const QSignalBlocker blocker(m_objectBox);
    while (m_objectBox->count() > 1)
        m_objectBox->removeItem(1);
    for (auto it = byName.cbegin(); it != byName.cend(); ++it)
        m_objectBox->addItem(it.key().section(QLatin1Char('\n'), 0, 0), it.value());
    const int index = m_objectBox->findData(current);
    m_objectBox->setCurrentIndex(index < 0 ? 0 : index);
    applyFilters();
}

void KAutodownloadWidget::applyFilters()
{
    m_filter->setStateFilter(m_stateBox->currentData().toInt());
    m_filter->setObjectFilter(m_objectBox->currentData().toInt());
}

QList<int> KAutodownloadWidget::selectedIds() const
{
    QList<int> ids;
    for (const QModelIndex &row : m_table->selectionModel()->selectedRows())
        ids << row.data(KAutodownloadTaskModel::IdRole).toInt();
    std::sort(ids.begin(), ids.end());
    return ids;
}

void KAutodownloadWidget::selectIds(const QList<int> &ids)
{
    QItemSelection selection;
    for (int row = 0; row < m_filter->rowCount(); ++row) {
        const QModelIndex index = m_filter->index(row, 0);
        if (ids.contains(index.data(KAutodownloadTaskModel::IdRole).toInt()))
            selection.select(index, m_filter->index(row, KAutodownloadTaskModel::ColumnCount - 1));
    }
    m_table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void KAutodownloadWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    m_timer->start();
}

void KAutodownloadWidget::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer->stop();
}
