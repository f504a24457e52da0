#pragma once

#include "KToolWindow.h"
#include "KVideoSetData.h"

#include <QModelIndex>

class QPushButton;
class QTableWidget;

// The marker list of the set in the player: jump to, add, edit and delete markers. Every
// change is written to the set's data file at once.
class KVideoMarkerTableWidget : public KToolWindow
{
    Q_OBJECT

public:
    explicit KVideoMarkerTableWidget(QWidget *parent = nullptr);
    ~KVideoMarkerTableWidget() override;

    void setVideoSet(const KVideoSetData &videoSet);
    KVideoSetData videoSet() const { return m_videoSet; }
    // The moment a new marker starts at.
    void setCurrentTime(const QTime &time) { m_currentTime = time; }
    QTableWidget *table() const { return m_table; }
    QPushButton *button(const QString &toolTip) const;
    // The markers as the rows hold them.
    QList<KVideoMarkerData> markers() const;

signals:
    void play(int position);
    // The rows changed (never sent while the window is destroyed).
    void markersChanged();

public slots:
    void playEntry(QModelIndex index);
    void playEntry();
    void addEntry();
    void updateEntry();
    void deleteEntry();
    void setEntry(int row, QString text, QTime time);
    void showCustomContextMenu(QPoint point);

private:
    // The selected rows, from the first; a warning and nothing when none is selected.
    QList<int> selectedRows();
    void showMarkers(const QList<KVideoMarkerData> &markers);
    void saveMarkers();

    KVideoSetData m_videoSet;
    QTime m_currentTime;
    bool m_loading = false;
    QTableWidget *m_table = nullptr;
    QList<QPushButton *> m_buttons;
};
