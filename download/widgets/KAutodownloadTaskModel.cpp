#include "KAutodownloadTaskModel.h"

#include <algorithm>

KAutodownloadTaskModel::KAutodownloadTaskModel(QObject *parent) : QAbstractTableModel(parent) {}

KAutodownloadTaskModel::~KAutodownloadTaskModel() = default;

void KAutodownloadTaskModel::setTasks(const QList<KAutodownloadTaskData> &tasks)
{
    bool sameRows = tasks.size() == m_tasks.size();
    for (int i = 0; sameRows && i < tasks.size(); ++i)
        sameRows = tasks[i].id == m_tasks[i].id;
    if (!sameRows) {
        beginResetModel();
        m_tasks = tasks;
        endResetModel();
        return;
    }
    m_tasks = tasks;
    if (!m_tasks.isEmpty())
        emit dataChanged(index(0, 0), index(m_tasks.size() - 1, ColumnCount - 1));
}

void KAutodownloadTaskModel::setObjectNames(const QHash<int, QString> &names)
{
    m_objectNames = names;
    if (!m_tasks.isEmpty())
        emit dataChanged(index(0, ObjectColumn), index(m_tasks.size() - 1, ObjectColumn));
}

KAutodownloadTaskModel::State KAutodownloadTaskModel::state(const KAutodownloadTaskData &task)
{
    switch (task.status) {
    case KAutodownloadTaskData::Done:
        return DoneState;
    case KAutodownloadTaskData::PartlyDone:
        return PartlyDoneState;
    case KAutodownloadTaskData::Failed:
        return FailedState;
    case KAutodownloadTaskData::Cancelled:
        return CancelledState;
    default:
        return task.leaseLive ? DownloadingState : WaitingState;
    }
}

int KAutodownloadTaskModel::progress(const KAutodownloadTaskData &task)
{
    const qint64 span = task.startTime.secsTo(task.stopTime);
    if (span <= 0)
        return 0;
    if (task.status == KAutodownloadTaskData::Done)
        return 100;
    // "Every channel" tasks know their channels once they have begun.
    QStringList channels = task.channelList();
    if (channels.isEmpty())
        channels = task.channelProgress.keys();
    if (channels.isEmpty())
        return 0;
    qint64 fetched = 0;
    for (const QString &channel : channels) {
        const QDateTime reached = task.channelProgress.value(channel, task.currentTime);
        if (reached.isValid())
            fetched += std::clamp<qint64>(task.startTime.secsTo(reached), 0, span);
    }
    // All fetched is not yet done: the last files are still being joined and checked.
    return std::min(99, int(fetched * 100 / (span * channels.size())));
}

QString KAutodownloadTaskModel::stateName(State state)
{
    switch (state) {
    case WaitingState:
        return QStringLiteral("Ожидание ВР");
    case DownloadingState:
        return QStringLiteral("Загрузка");
    case DoneState:
        return QStringLiteral("Завершено");
    case PartlyDoneState:
        return QStringLiteral("Частично");
    case FailedState:
        return QStringLiteral("Ошибка");
    case CancelledState:
        return QStringLiteral("Отменено");
    }
    return QString();
}

QString KAutodownloadTaskModel::stateText(const KAutodownloadTaskData &task)
{
    const State current = state(task);
    const int percent = progress(task);
    switch (current) {
    case WaitingState:
        return percent > 0 ? stateName(current) + QStringLiteral(" (загружено ") +
                                 QString::number(percent) + QStringLiteral("%)")
                           : stateName(current);
    case DownloadingState:
        return stateName(current) + QLatin1Char(' ') + QString::number(percent) + QLatin1Char('%');
    case PartlyDoneState: {
        const QString text = stateName(current) + QStringLiteral(": нет ") +
                             QString::number((task.missingSeconds + 59) / 60) +
                             QStringLiteral(" мин");
        return task.reason.isEmpty() ? text
                                     : text + QStringLiteral(" (") + task.reason + QLatin1Char(')');
    }
    case FailedState:
        return task.reason.isEmpty() ? stateName(current)
                                     : stateName(current) + QStringLiteral(": ") + task.reason;
    default:
        return stateName(current);
    }
}

QString KAutodownloadTaskModel::objectName(int objectId) const
{
    return m_objectNames.value(objectId, QStringLiteral("№") + QString::number(objectId));
}

int KAutodownloadTaskModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_tasks.size();
}

int KAutodownloadTaskModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant KAutodownloadTaskModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_tasks.size())
        return QVariant();
    const KAutodownloadTaskData &task = m_tasks.at(index.row());
    switch (role) {
    case IdRole:
        return task.id;
    case ObjectRole:
        return task.objectId;
    case StateRole:
        return int(state(task));
    case ProgressRole:
        return progress(task);
    case Qt::TextAlignmentRole:
        return index.column() == StateColumn ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                             : QVariant(Qt::AlignCenter);
    case Qt::ToolTipRole:
        if (index.column() == ChannelsColumn && !task.channels.trimmed().isEmpty())
            return task.channelList().join(QStringLiteral(", "));
        return index.column() == StateColumn ? stateText(task) : QVariant();
    case Qt::DisplayRole:
        break;
    default:
        return QVariant();
    }
    switch (index.column()) {
    case IdColumn:
        return task.id;
    case ObjectColumn:
        return objectName(task.objectId);
    case IntervalColumn: {
        const QString day = QStringLiteral("dd.MM.yyyy hh:mm:ss");
        const bool oneDay = task.startTime.date() == task.stopTime.date();
        return task.startTime.toString(day) + QStringLiteral(" - ") +
               task.stopTime.toString(oneDay ? QStringLiteral("hh:mm:ss") : day);
    }
    case ChannelsColumn:
        // As the download window names them in the log: "ACAM01" is "A01".
        return task.channels.trimmed().isEmpty()
                   ? QStringLiteral("все")
                   : task.channelList().join(QStringLiteral(", ")).remove(QStringLiteral("CAM"));
    case StateColumn:
        return stateText(task);
    case HolderColumn: {
        // A claim that ran out names nobody: its holder is gone.
        const State current = state(task);
        return current == WaitingState || current == CancelledState ? QString() : task.holder;
    }
    default:
        return QVariant();
    }
}

QVariant KAutodownloadTaskModel::headerData(int section, Qt::Orientation orientation,
                                            int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    static const char *const titles[] = {"№",      "Объект",    "Интервал",
                                         "Каналы", "Состояние", "Рабочее место"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(titles[section]) : QVariant();
}
