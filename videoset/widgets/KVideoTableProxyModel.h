#pragma once

#include <QDateTime>
#include <QSortFilterProxyModel>

// Shows a set when its object name matches, its begin or its end lies in the span, and its
// comment contains the text. Source columns: object, date, begin, end, files, size, comment.
class KVideoTableProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit KVideoTableProxyModel(QObject *parent = nullptr);

    // A regular expression the object name must contain a match of, case-insensitive.
    void setNameFilter(const QString &filter) { m_nameFilter = filter; }
    void setMinDateTime(const QDateTime &dateTime) { m_minDateTime = dateTime; }
    void setMaxDateTime(const QDateTime &dateTime) { m_maxDateTime = dateTime; }
    void setCommentFilter(const QString &filter) { m_commentFilter = filter; }
    // Forgets every filter; applyFilter() shows the result.
    void clearFilters();
    void applyFilter() { invalidateFilter(); }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    bool inRange(const QDateTime &dateTime) const;

    QString m_nameFilter;
    QDateTime m_minDateTime;
    QDateTime m_maxDateTime;
    QString m_commentFilter;
};
