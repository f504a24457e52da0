#pragma once

#include "KVideoSetData.h"

#include <QList>
#include <QWidget>

class QLabel;
class QModelIndex;
class QStandardItemModel;
class QTableView;
class KVideoTableProxyModel;

// The sets of one store root as a filtered table, with the store's size and its disk's space.
class KVideoTableView : public QWidget
{
    Q_OBJECT

public:
    enum Column {
        ObjectColumn,
        DateColumn,
        BeginColumn,
        EndColumn,
        FilesColumn,
        SizeColumn,
        CommentColumn,
        ColumnCount
    };

    explicit KVideoTableView(QWidget *parent = nullptr);

    QTableView *table() const { return m_table; }
    QStandardItemModel *model() const { return m_model; }
    KVideoTableProxyModel *proxy() const { return m_proxy; }
    QLabel *sizeLabel() const { return m_sizeLabel; }
    QLabel *spaceLabel() const { return m_spaceLabel; }
    QString rootPath() const { return m_rootPath; }
    QList<KVideoSetData> sets() const { return m_sets; }
    qint64 storeSize() const { return m_storeSize; }

    // Model rows of the selected sets, in the order shown.
    QList<int> selectedRows() const;
    // The model row of a table (proxy) index; -1 for an invalid one.
    int modelRow(const QModelIndex &index) const;
    KVideoSetData set(int row) const { return m_sets.value(row); }

signals:
    void doubleClicked(const QModelIndex &index);
    void customContextMenuRequested(const QPoint &point);

public slots:
    void populate(const QString &rootPath);
    // Sets the comment of the set in the model row, in the table and in its data file.
    void setComment(int row, const QString &text);
    // Selects the shown row and makes it current.
    void selectRow(int row);

private:
    void applyColumnWidths();

    QTableView *m_table = nullptr;
    QStandardItemModel *m_model = nullptr;
    KVideoTableProxyModel *m_proxy = nullptr;
    QLabel *m_sizeLabel = nullptr;
    QLabel *m_spaceLabel = nullptr;
    QString m_rootPath;
    QList<KVideoSetData> m_sets;
    qint64 m_storeSize = 0;
};
