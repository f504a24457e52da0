#pragma once

#include <QStyledItemDelegate>

// Draws a task's state: a progress bar while something is being or has been fetched, the
// text in the theme's green or red once the task has ended.
class KAutodownloadStateDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit KAutodownloadStateDelegate(QObject *parent = nullptr);
    ~KAutodownloadStateDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};
