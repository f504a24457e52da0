#pragma once

#include "KAbstractArchiveInfoSlider.h"

class QxtSpanSlider;

// The time-line strip with two handles that pick an interval of the day (12:00 to 12:10 at
// first); the handles can neither cross nor meet.
class KArchiveInfoAdvancedSlider : public KAbstractArchiveInfoSlider
{
    Q_OBJECT

public:
    explicit KArchiveInfoAdvancedSlider(QWidget *parent = nullptr);
    ~KArchiveInfoAdvancedSlider() override;

    QxtSpanSlider *spanSlider() const { return m_slider; }
    int lowerValue() const;
    int upperValue() const;

signals:
    void upperValueChanged(int value);
    void lowerValueChanged(int value);

public slots:
    void setUpperValue(int value);
    void setLowerValue(int value);

private:
    QxtSpanSlider *m_slider;
};
