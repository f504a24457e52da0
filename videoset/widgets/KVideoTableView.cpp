#include "KVideoTableView.h"

#include "KFormat.h"
#include "KSettings.h"
#include "KVideoTableProxyModel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QStorageInfo>
#include <QTableView>
#include <QVBoxLayout>

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
      m_spaceLabel(new QLabel(this))
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

    auto *info = new QHBoxLayout;
    info->addWidget(new QLabel(QStringLiteral("Размер архива:"), this));
    info->addWidget(m_sizeLabel);
    info->addWidget(new QLabel(QStringLiteral(", свободное место:"), this));
    info->addWidget(m_spaceLabel);
    info->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    layout->addLayout(info);
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

void KVideoTableView::populate(const QString &rootPath)
{
    // Filled while detached from the filter and the table: thousands of single-row updates
    // through them would cost far more than the filling itself.
    m_proxy->setSourceModel(nullptr);
    m_model->removeRows(0, m_model->rowCount());
    m_sets.clear();
    m_storeSize = 0;
    m_rootPath = rootPath;
    const QColor objectColour(KSettings::instance()->themeColor(kObjectColour));
    const QList<KVideoSetData> sets = KVideoSetData::scanStore(rootPath);
    for (const KVideoSetData &set : sets) {
        if (set.channels.isEmpty())
            continue;
        qint64 size = 0;
        for (const KChannelData &channel : set.channels)
            size += channel.file.size();
        m_storeSize += size;
        m_sets.append(set);
        QStandardItem *object = cell(set.objectName);
        object->setToolTip(set.objectName);
        if (objectColour.isValid())
            object->setBackground(objectColour);
        m_model->appendRow({object, cell(set.beginDateTime.toString(QStringLiteral("dd.MM.yyyy"))),
                            cell(set.beginDateTime.toString(QStringLiteral("HH:mm:ss"))),
                            cell(set.endDateTime.toString(QStringLiteral("HH:mm:ss"))),
                            cell(QString::number(set.channels.size())),
                            cell(KFormat::byteSizeText(size)),
                            cell(set.comment, Qt::AlignLeft | Qt::AlignVCenter)});
    }
    m_proxy->setSourceModel(m_model);
    // The reset of the proxy reset the header as well.
    applyColumnWidths();
    m_sizeLabel->setText(KFormat::byteSizeText(m_storeSize));
    const QStorageInfo storage(rootPath);
    m_spaceLabel->setText(KFormat::byteSizeText(storage.isValid() ? storage.bytesAvailable() : 0) +
                          QStringLiteral(" из ") +
                          KFormat::byteSizeText(storage.isValid() ? storage.bytesTotal() : 0));
}

void KVideoTableView::setComment(int row, const QString &text)
{
    if (row < 0 || row >= m_sets.size())
        return;
    m_sets[row].comment = text;
    m_model->item(row, CommentColumn)->setText(text);
    // Only the comment changes: channels named in the file without a file stay listed there.
    KVideoSetData stored(m_sets[row].path);
    stored.comment = text;
    stored.writeDataFile();
}

void KVideoTableView::selectRow(int row)
{
    if (row < 0 || row >= m_proxy->rowCount())
        return;
    m_table->selectRow(row);
    m_table->setCurrentIndex(m_proxy->index(row, 0));
}
