#pragma once

#include "KVideoMarkerData.h"

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QWidget>

class KVideoMarkerTableWidget;

// The markers of the set on a time line under the player's slider; each is a line with a tag
// carrying its text. Follows the marker table's rows.
class KVideoMarkerAreaWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KVideoMarkerAreaWidget(KVideoMarkerTableWidget *markerTable,
                                    QWidget *parent = nullptr);

    void setInterval(const QDateTime &beginDateTime, const QDateTime &endDateTime);
    QList<KVideoMarkerData> markers() const { return m_markers; }
    // Where a marker time is drawn; -1 outside the interval.
    int markerX(const QTime &time) const;

public slots:
    void updateList();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<KVideoMarkerTableWidget> m_markerTable;
    QList<KVideoMarkerData> m_markers;
    QDateTime m_beginDateTime;
    QDateTime m_endDateTime;
};
