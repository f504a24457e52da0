#include "KVideoTableView.h"

#include "KFormat.h"
#include "KSettings.h"
#include "KVideoTableProxyModel.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QStorageInfo>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <algorithm>

namespace {

// Object cells are filled with this theme colour.
constexpr int kObjectColour = 3;

QStandardItem *cell(const QString &text, Qt::Alignment alignment = Qt::AlignCenter)
{
    auto *item = new QStandardItem(text);
    item->setTextAlignment(alignment);
    item->setEditable(false);
    return item;
}

} // namespace

KVideoTableView::KVideoTableView(QWidget *parent)
    : QWidget(parent), m_table(new QTableView(this)),
      m_model(new QStandardItemModel(0, ColumnCount, this)),
      m_proxy(new KVideoTableProxyModel(this)), m_sizeLabel(new QLabel(this)),
      m_spaceLabel(new QLabel(this)), m_sizeLine(new QWidget(this)),
      m_noStoreLabel(new QLabel(this))
{
    m_model->setHorizontalHeaderLabels({QStringLiteral("Объект"), QStringLiteral("Дата"),
                                        QStringLiteral("Начало"), QStringLiteral("Конец"),
                                        QStringLiteral("Файлы"), QStringLiteral("Размер"),
                                        QStringLiteral("Комментарий")});
    m_proxy->setSourceModel(m_model);
    m_table->setModel(m_proxy);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->verticalHeader()->hide();
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setStretchLastSection(true);
    applyColumnWidths();
    connect(m_table, &QTableView::doubleClicked, this, &KVideoTableView::doubleClicked);
    connect(m_table, &QTableView::customContextMenuRequested, this,
            &KVideoTableView::customContextMenuRequested);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_restoring)
            return;
        m_chosen.clear();
        for (int row : selectedRows())
            m_chosen.insert(m_sets.at(row).path);
    });
    // A watcher detached from a superseded reading finishes without a result.
    connect(&m_watcher, &QFutureWatcher<Reading>::finished, this, [this] {
        if (m_watcher.future().resultCount() > 0)
            fill(m_watcher.result());
    });

    auto *info = new QHBoxLayout(m_sizeLine);
    info->setContentsMargins(0, 0, 0, 0);
    // One line of text: the layout's spacing would leave a gap before the comma.
    info->setSpacing(0);
    info->addWidget(new QLabel(QStringLiteral("Размер архива: "), m_sizeLine));
    info->addWidget(m_sizeLabel);
    info->addWidget(new QLabel(QStringLiteral(", свободное место: "), m_sizeLine));
    info->addWidget(m_spaceLabel);
    info->addStretch();
    m_noStoreLabel->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    layout->addWidget(m_sizeLine);
    layout->addWidget(m_noStoreLabel);
}

KVideoTableView::~KVideoTableView()
{
    m_watcher.waitForFinished();
    for (QFuture<Reading> &reading : m_superseded)
        reading.waitForFinished();
}

void KVideoTableView::setNoStoreText(const QString &text)
{
    m_noStoreLabel->setText(text);
}

QString KVideoTableView::noVideoText()
{
    return QStringLiteral("нет видео");
}

void KVideoTableView::applyColumnWidths()
{
    const int widths[ColumnCount] = {140, 80, 65, 65, 65, 65, 300};
    for (int column = 0; column < ColumnCount; ++column)
        m_table->horizontalHeader()->resizeSection(column, widths[column]);
}

QList<int> KVideoTableView::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows.append(modelRow(index));
    std::sort(rows.begin(), rows.end());
    return rows;
}

int KVideoTableView::modelRow(const QModelIndex &index) const
{
    return index.isValid() ? m_proxy->mapToSource(index).row() : -1;
}

int KVideoTableView::rowOf(const QString &path) const
{
    for (int row = 0; row < m_sets.size(); ++row) {
        if (m_sets.at(row).path == path)
            return row;
    }
    return -1;
}

KVideoTableView::Reading KVideoTableView::read(const QString &rootPath)
{
    Reading reading;
    reading.rootPath = rootPath;
    for (const KVideoSetData &set : KVideoSetData::scanStore(rootPath)) {
        // A folder of a set whose channel files are gone is still the set's (so that it can
        // be deleted); other folders without channel files are not sets.
        if (set.channels.isEmpty() && !set.beginDateTime.isValid() &&
            !QFileInfo::exists(QDir(set.path).filePath(KVideoSetData::dataFileName)))
            continue;
        qint64 size = 0;
        for (const KChannelData &channel : set.channels)
            size += channel.file.size();
        if (set.dataFileTooLarge)
            reading.oversized.append(QDir(set.path).filePath(KVideoSetData::dataFileName));
        reading.sets.append(set);
        reading.sizes.append(size);
        reading.noVideo.append(size == 0);
    }
    return reading;
}

void KVideoTableView::populate(const QString &rootPath)
{
    m_rootPath = rootPath;
    m_reading = true;
    if (m_watcher.isRunning())
        m_superseded.append(m_watcher.future());
    m_superseded.erase(std::remove_if(m_superseded.begin(), m_superseded.end(),
                                      [](const QFuture<Reading> &f) { return f.isFinished(); }),
                       m_superseded.end());
    // No folder set reads nothing: an empty path would name the working folder.
    if (rootPath.isEmpty()) {
        m_watcher.setFuture(QFuture<Reading>());
        fill(Reading());
        return;
    }
    m_watcher.setFuture(QtConcurrent::run(&KVideoTableView::read, rootPath));
}

void KVideoTableView::fill(const Reading &reading)
{
    // Filled while detached from the filter and the table: thousands of single-row updates
    // through them would cost far more than the filling itself.
    m_restoring = true;
    m_proxy->setSourceModel(nullptr);
    m_model->removeRows(0, m_model->rowCount());
    m_sets = reading.sets;
    m_oversized = reading.oversized;
    m_storeSize = 0;
    const QColor objectColour(KSettings::instance()->themeColor(kObjectColour));
    for (int i = 0; i < m_sets.size(); ++i) {
        const KVideoSetData &set = m_sets.at(i);
        m_storeSize += reading.sizes.at(i);
        QStandardItem *object = cell(set.objectName);
        object->setToolTip(set.objectName);
        if (objectColour.isValid())
            object->setBackground(objectColour);
        QStandardItem *files =
            cell(reading.noVideo.at(i) ? noVideoText() : QString::number(set.channels.size()));
        if (reading.noVideo.at(i)) {
            files->setToolTip(QStringLiteral("Файлы каналов отсутствуют или пусты"));
            files->setForeground(QColor(Qt::red));
        }
        m_model->appendRow({object, cell(set.beginDateTime.toString(QStringLiteral("dd.MM.yyyy"))),
                            cell(set.beginDateTime.toString(QStringLiteral("HH:mm:ss"))),
                            cell(set.endDateTime.toString(QStringLiteral("HH:mm:ss"))), files,
                            cell(KFormat::byteSizeText(reading.sizes.at(i))),
                            cell(set.comment, Qt::AlignLeft | Qt::AlignVCenter)});
    }
    m_proxy->setSourceModel(m_model);
    // The reset of the proxy reset the header as well.
    applyColumnWidths();
    m_sizeLine->setVisible(!m_rootPath.isEmpty());
    m_noStoreLabel->setVisible(m_rootPath.isEmpty());
    m_sizeLabel->setText(KFormat::byteSizeText(m_storeSize));
    const QStorageInfo storage(m_rootPath);
    const bool known = !m_rootPath.isEmpty() && storage.isValid();
    m_spaceLabel->setText(KFormat::byteSizeText(known ? storage.bytesAvailable() : 0) +
                          QStringLiteral(" из ") +
                          KFormat::byteSizeText(known ? storage.bytesTotal() : 0));
    m_restoring = false;
    m_reading = false;
    restoreSelection();
    emit populated();
}

bool KVideoTableView::setComment(int row, const QString &text)
{
    if (row < 0 || row >= m_sets.size())
        return false;
    // Only the comment changes: channels named in the file without a file stay listed there.
    KVideoSetData stored(m_sets[row].path);
    stored.comment = KVideoSetData::storableText(text);
    if (!stored.writeDataFile())
        return false;
    m_sets[row].comment = stored.comment;
    m_model->item(row, CommentColumn)->setText(stored.comment);
    return true;
}

void KVideoTableView::selectRow(int row)
{
    if (row < 0 || row >= m_proxy->rowCount())
        return;
    m_table->selectRow(row);
    m_table->setCurrentIndex(m_proxy->index(row, 0));
}

void KVideoTableView::applyFilter()
{
    m_restoring = true;
    m_proxy->applyFilter();
    m_restoring = false;
    restoreSelection();
}

void KVideoTableView::restoreSelection()
{
    QItemSelectionModel *selectionModel = m_table->selectionModel();
    QItemSelection selection;
    QModelIndex current;
    const auto add = [&](int shownRow) {
        const QModelIndex index = m_proxy->index(shownRow, 0);
        selection.select(index, m_proxy->index(shownRow, ColumnCount - 1));
        if (!current.isValid())
            current = index;
    };
    for (int shownRow = 0; shownRow < m_proxy->rowCount() && !m_chosen.isEmpty(); ++shownRow) {
        if (m_chosen.contains(m_sets.at(modelRow(m_proxy->index(shownRow, 0))).path))
            add(shownRow);
    }
    if (selection.isEmpty() && m_proxy->rowCount() > 0)
        add(0);
    m_restoring = true;
    selectionModel->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
    m_restoring = false;
    if (current.isValid())
        m_table->scrollTo(current);
}
