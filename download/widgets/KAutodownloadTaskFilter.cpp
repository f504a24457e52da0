#include "KAutodownloadTaskFilter.h"

#include "KAutodownloadTaskModel.h"

KAutodownloadTaskFilter::KAutodownloadTaskFilter(QObject *parent) : QSortFilterProxyModel(parent) {}

KAutodownloadTaskFilter::~KAutodownloadTaskFilter() = default;

void KAutodownloadTaskFilter::setStateFilter(int state)
{
    m_state = state;
    invalidateFilter();
}

void KAutodownloadTaskFilter::setObjectFilter(int objectId)
{
    m_object = objectId;
    invalidateFilter();
}

bool KAutodownloadTaskFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    if (m_state >= 0 && index.data(KAutodownloadTaskModel::StateRole).toInt() != m_state)
        return false;
    return m_object < 0 || index.data(KAutodownloadTaskModel::ObjectRole).toInt() == m_object;
}
