#pragma once

#include "KAbstractVideoPlayerWidget.h"
#include "KVideoSetData.h"

#include <QPointer>
#include <QTime>
#include <QTimer>

class QSlider;
class KVideoMarkerAreaWidget;
class KVideoMarkerTableWidget;
class KVideoTableWidget;
class KVideoView;

// The local player: every channel of a downloaded set in the grid, kept at the same moment.
// One tile, the master, drives the slider; every 250 ms the others are brought to its position
// by speed nudges or, when far off, exact seeks. Keys: Ctrl+O opens a set, Space plays or
// pauses, Left/Right seek 5 s, "." and "," pause and step a frame, Ctrl+L loops.
class KVideoPlayerWidget : public KAbstractVideoPlayerWidget
{
    Q_OBJECT

public:
    explicit KVideoPlayerWidget(QWidget *parent = nullptr);
    ~KVideoPlayerWidget() override;

    KVideoSetData videoSet() const { return m_videoSet; }
    int viewsInUse() const { return m_viewCount; }
    KVideoView *view(int index) const;
    int masterIndex() const { return m_masterIndex; }
    int duration() const { return m_duration; }
    bool isRepeat() const { return m_repeat; }
    qint64 startPosition() const { return m_startPosition; }
    QSlider *slider() const;
    QLabel *timeLabel() const { return m_timeLabel; }
    QPushButton *openSetButton() const { return m_openSetButton; }
    QPushButton *folderButton() const { return m_folderButton; }
    QPushButton *markersButton() const { return m_markersButton; }
    QPushButton *repeatButton() const { return m_repeatButton; }
    KVideoMarkerTableWidget *markerTable() const { return m_markerTable; }
    KVideoMarkerAreaWidget *markerArea() const { return m_markerArea; }
    // Null until the set table was first opened.
    KVideoTableWidget *videoTable() const { return m_videoTable; }
    // Positions of the tiles in use that play a file, in tile order.
    QList<qint64> positions() const;

public slots:
    void populate(KVideoSetData videoSetData);
    void setPosition(int position);
    void play() override;
    void pause() override;
    void stop() override;
    void syncronize();
    void setStartPosition(qlonglong position);
    void repeat();
    void openVideoTableWindow();
    void setSliderPosition(qlonglong position);
    void openFolder();
    void openMarkersWindow();
    // Seeks every tile by a number of milliseconds from the current moment.
    void seekBy(int offset);
    void stepFrame(bool forward);

protected:
    void setControlsEnabled(bool enabled) override;
    void prepareView(KAbstractVideoView *view, const KChannelData &channel) override;

private:
    void setMaster(int index);
    // Steps every tile once none of them seeks any more.
    void showTime(qint64 position);
    qint64 currentPosition() const;

    KVideoSetData m_videoSet;
    int m_masterIndex = -1;
    qint64 m_startPosition = 0;
    QTime m_currentTime;
    int m_duration = 0;
    bool m_repeat = false;
    QTimer m_syncTimer;
    QLabel *m_timeLabel = nullptr;
    QSlider *m_slider = nullptr;
    QPushButton *m_openSetButton = nullptr;
    QPushButton *m_folderButton = nullptr;
    QPushButton *m_markersButton = nullptr;
    QPushButton *m_repeatButton = nullptr;
    KVideoTableWidget *m_videoTable = nullptr;
    KVideoMarkerAreaWidget *m_markerArea = nullptr;
    KVideoMarkerTableWidget *m_markerTable = nullptr;
};
