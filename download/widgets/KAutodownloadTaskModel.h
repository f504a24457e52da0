#pragma once

#include "KAutodownloadTaskData.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

// The automatic download tasks as table rows: number, object, interval, channels, state (with
// the progress of a download, the reason of a failure, the minutes a partly done task lacks)
// and the workstation that holds or finished it.
class KAutodownloadTaskModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        IdColumn,
        ObjectColumn,
        IntervalColumn,
        ChannelsColumn,
        StateColumn,
        HolderColumn,
        ColumnCount
    };
    // What the state filter and the colours go by.
    enum State {
        WaitingState,
        DownloadingState,
        DoneState,
        PartlyDoneState,
        FailedState,
        CancelledState
    };
    enum Role { IdRole = Qt::UserRole, ObjectRole, StateRole, ProgressRole };

    explicit KAutodownloadTaskModel(QObject *parent = nullptr);
    ~KAutodownloadTaskModel() override;

    // Replaces the rows; rows of the same tasks in the same order are only updated, so that
    // the view keeps its selection and scroll position.
    void setTasks(const QList<KAutodownloadTaskData> &tasks);
    // Names shown for object ids (tasks of other objects show their number).
    void setObjectNames(const QHash<int, QString> &names);
    QList<KAutodownloadTaskData> tasks() const { return m_tasks; }

    static State state(const KAutodownloadTaskData &task);
    // Percent of the task's interval fetched over its channels (0..100).
    static int progress(const KAutodownloadTaskData &task);
    static QString stateText(const KAutodownloadTaskData &task);
    static QString stateName(State state);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString objectName(int objectId) const;

    QList<KAutodownloadTaskData> m_tasks;
    QHash<int, QString> m_objectNames;
};
