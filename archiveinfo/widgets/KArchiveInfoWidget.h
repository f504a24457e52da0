#pragma once

#include "KAbstractArchiveInfoWidget.h"

#include <QTime>

class KArchiveInfoSlider;

// The archive player's time-line: one handle that picks the minute to play from.
class KArchiveInfoWidget : public KAbstractArchiveInfoWidget
{
    Q_OBJECT

public:
    explicit KArchiveInfoWidget(QWidget *parent = nullptr);
    ~KArchiveInfoWidget() override;

    KArchiveInfoSlider *archiveSlider() const { return m_slider; }
    int value() const;

signals:
    // The handle's minute; invalid for the end of the strip (24:00).
    void timeChanged(QTime time);
    void sliderReleased();

public slots:
    void setValue(int value);
    void setTime(QTime time);

private slots:
    void sendTime(int value);

private:
    KArchiveInfoSlider *m_slider;
};
