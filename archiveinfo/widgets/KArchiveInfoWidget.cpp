#include "KArchiveInfoWidget.h"

#include "KArchiveInfoSlider.h"

KArchiveInfoWidget::KArchiveInfoWidget(QWidget *parent)
    : KAbstractArchiveInfoWidget(new KArchiveInfoSlider, parent),
      m_slider(static_cast<KArchiveInfoSlider *>(strip()))
{
    connect(m_slider, &KArchiveInfoSlider::valueChanged, this, &KArchiveInfoWidget::sendTime);
    connect(m_slider, &KArchiveInfoSlider::sliderReleased, this,
            &KArchiveInfoWidget::sliderReleased);
}

KArchiveInfoWidget::~KArchiveInfoWidget() = default;

int KArchiveInfoWidget::value() const
{
    return m_slider->value();
}

void KArchiveInfoWidget::setValue(int value)
{
    m_slider->setValue(value);
}

void KArchiveInfoWidget::setTime(QTime time)
{
    if (time.isValid())
        m_slider->setValue(time.hour() * 60 + time.minute());
}

void KArchiveInfoWidget::sendTime(int value)
{
    emit timeChanged(QTime(value / 60, value % 60));
}
