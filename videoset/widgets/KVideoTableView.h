#pragma once

#include "KVideoSetData.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QList>
#include <QSet>
#include <QVector>
#include <QWidget>

class QLabel;
class QModelIndex;
class QStandardItemModel;
class QTableView;
class KVideoTableProxyModel;

// The sets of one store root as a filtered table, with the store's size and its disk's space.
// The store is read on a worker thread; the rows are replaced when the reading is done. The
// operator's chosen sets stay selected across readings and filter changes; without a choice
// (or with none of it shown) the first row is selected. A set folder whose channel files are
// missing or empty is listed, marked, so that it can be deleted.
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
    // Waits for a reading still running.
    ~KVideoTableView() override;

    QTableView *table() const { return m_table; }
    QStandardItemModel *model() const { return m_model; }
    KVideoTableProxyModel *proxy() const { return m_proxy; }
    QLabel *sizeLabel() const { return m_sizeLabel; }
    QLabel *spaceLabel() const { return m_spaceLabel; }
    // Says that no store folder is set, in place of the size line.
    QLabel *noStoreLabel() const { return m_noStoreLabel; }
    void setNoStoreText(const QString &text);
    QString rootPath() const { return m_rootPath; }
    QList<KVideoSetData> sets() const { return m_sets; }
    qint64 storeSize() const { return m_storeSize; }
    bool isReading() const { return m_reading; }
    // The data files the last reading found too large to read.
    QStringList oversizedDataFiles() const { return m_oversized; }

    // Model rows of the selected sets, in the order shown.
    QList<int> selectedRows() const;
    // The model row of a table (proxy) index; -1 for an invalid one.
    int modelRow(const QModelIndex &index) const;
    // The model row of the set in the folder; -1 when it is not listed.
    int rowOf(const QString &path) const;
    KVideoSetData set(int row) const { return m_sets.value(row); }

    // The text the files column shows for a set with no channel file holding anything.
    static QString noVideoText();

signals:
    void doubleClicked(const QModelIndex &index);
    void customContextMenuRequested(const QPoint &point);
    // The rows of the last populate() are in.
    void populated();

public slots:
    // Reads the store on a worker thread; a later call supersedes an earlier one.
    void populate(const QString &rootPath);
    // Sets the comment of the set in the model row, in its data file first and then in the
    // table; false (nothing changed) when the data file could not be written.
    bool setComment(int row, const QString &text);
    // Selects the shown row and makes it current.
    void selectRow(int row);
    // Filters the rows anew (after the proxy's fields changed), keeping the chosen sets selected.
    void applyFilter();
    // Selects the chosen sets that are shown, or else the first row.
    void restoreSelection();

private:
    struct Reading
    {
        QString rootPath;
        QList<KVideoSetData> sets;
        QVector<qint64> sizes;
        QVector<bool> noVideo;
        QStringList oversized;
    };

    static Reading read(const QString &rootPath);
    void fill(const Reading &reading);
    void applyColumnWidths();

    QTableView *m_table = nullptr;
    QStandardItemModel *m_model = nullptr;
    KVideoTableProxyModel *m_proxy = nullptr;
    QLabel *m_sizeLabel = nullptr;
    QLabel *m_spaceLabel = nullptr;
    QWidget *m_sizeLine = nullptr;
    QLabel *m_noStoreLabel = nullptr;
    QString m_rootPath;
    QList<KVideoSetData> m_sets;
    qint64 m_storeSize = 0;
    QStringList m_oversized;
    // Folders of the sets the operator selected last.
    QSet<QString> m_chosen;
    // Set while the selection is changed here, not by the operator.
    bool m_restoring = false;
    bool m_reading = false;
    QFutureWatcher<Reading> m_watcher;
    // Readings superseded but maybe still running: waited for on destruction.
    QList<QFuture<Reading>> m_superseded;
};
