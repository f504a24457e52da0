#pragma once

#include "KAbstractArchiveInfoSlider.h"

class KSlider;

// The time-line strip with one handle: picks a minute of the day (12:00 at first).
class KArchiveInfoSlider : public KAbstractArchiveInfoSlider
{
    Q_OBJECT

public:
    explicit KArchiveInfoSlider(QWidget *parent = nullptr);
    ~KArchiveInfoSlider() override;

    KSlider *handleSlider() const { return m_slider; }
    int value() const;

signals:
    void valueChanged(int value);
    void sliderReleased();

public slots:
    void setValue(int value);

private:
    KSlider *m_slider;
};
