#pragma once

#include <QSortFilterProxyModel>

// The tasks window's filters: one state (or all) and one object (or all).
class KAutodownloadTaskFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit KAutodownloadTaskFilter(QObject *parent = nullptr);
    ~KAutodownloadTaskFilter() override;

    // A KAutodownloadTaskModel::State, or -1 for every state.
    void setStateFilter(int state);
    // An object id, or -1 for every object.
    void setObjectFilter(int objectId);
    int stateFilter() const { return m_state; }
    int objectFilter() const { return m_object; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    int m_state = -1;
    int m_object = -1;
};
