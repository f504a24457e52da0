#include "KVideoTableProxyModel.h"

#include <QRegExp>

KVideoTableProxyModel::KVideoTableProxyModel(QObject *parent) : QSortFilterProxyModel(parent) {}

void KVideoTableProxyModel::clearFilters()
{
    m_nameFilter.clear();
    m_minDateTime = QDateTime();
    m_maxDateTime = QDateTime();
    m_commentFilter.clear();
}

bool KVideoTableProxyModel::inRange(const QDateTime &dateTime) const
{
    return (!m_minDateTime.isValid() || dateTime >= m_minDateTime) &&
           (!m_maxDateTime.isValid() || dateTime <= m_maxDateTime);
}

bool KVideoTableProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QAbstractItemModel *model = sourceModel();
    const auto text = [&](int column) {
        return model->index(sourceRow, column, sourceParent).data().toString();
    };
    if (!m_nameFilter.isEmpty() && QRegExp(m_nameFilter, Qt::CaseInsensitive).indexIn(text(0)) < 0)
        return false;
    // Local date-times are dear to make: only when there is a range to compare with.
    if (m_minDateTime.isValid() || m_maxDateTime.isValid()) {
        const QDate date = QDate::fromString(text(1), QStringLiteral("dd.MM.yyyy"));
        const QDateTime begin(date, QTime::fromString(text(2), QStringLiteral("hh:mm:ss")));
        const QDateTime end(date, QTime::fromString(text(3), QStringLiteral("hh:mm:ss")));
        if (!inRange(begin) && !inRange(end))
            return false;
    }
    return text(6).contains(m_commentFilter, Qt::CaseInsensitive);
}
