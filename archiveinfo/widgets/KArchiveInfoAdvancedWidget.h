#pragma once

#include "KAbstractArchiveInfoWidget.h"

#include <QTime>

class KArchiveInfoAdvancedSlider;

// The download window's time-line: two handles that pick an interval of the day.
class KArchiveInfoAdvancedWidget : public KAbstractArchiveInfoWidget
{
    Q_OBJECT

public:
    explicit KArchiveInfoAdvancedWidget(QWidget *parent = nullptr);
    ~KArchiveInfoAdvancedWidget() override;

    KArchiveInfoAdvancedSlider *advancedSlider() const { return m_slider; }
    int lowerValue() const;
    int upperValue() const;

signals:
    void lowerValueChanged(int value);
    void upperValueChanged(int value);
    // The handles' minutes; invalid for the end of the strip (24:00).
    void lowerTimeChanged(QTime time);
    void upperTimeChanged(QTime time);

public slots:
    void setLowerValue(int value);
    void setUpperValue(int value);
    void setLowerTime(QTime time);
    void setUpperTime(QTime time);

protected slots:
    void sendLowerTime(int value);
    void sendUpperTime(int value);

private:
    KArchiveInfoAdvancedSlider *m_slider;
};
