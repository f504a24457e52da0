#pragma once

#include <QList>
#include <QWidget>

class QAbstractSlider;

// The 24-hour strip: hour and half-hour ticks, hour labels and 1440 one-minute cells, green
// where the day has recordings, under a slider with one step per minute (0..1440).
class KAbstractArchiveInfoSlider : public QWidget
{
    Q_OBJECT

public:
    static constexpr int stripWidth = 2890;
    static constexpr int stripHeight = 70;
    static constexpr int cellCount = 1440;
    // Left edge of the first cell and of the hour-0 tick.
    static constexpr int margin = 5;

    ~KAbstractArchiveInfoSlider() override;

    QList<bool> cellData() const { return m_cellData; }
    QAbstractSlider *slider() const { return m_slider; }
    // The rectangle of the cell of minute m (0..1439).
    static QRect cellRect(int minute);

public slots:
    void setCellData(const QList<bool> &data);
    void clearCellData();

protected:
    // Takes the slider the subclass made and lays it out over the strip.
    explicit KAbstractArchiveInfoSlider(QAbstractSlider *slider, QWidget *parent = nullptr);

    void paintEvent(QPaintEvent *event) override;

private:
    QList<bool> m_cellData;
    QAbstractSlider *m_slider;
};
