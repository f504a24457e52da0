#include "KArchiveInfoAdvancedWidget.h"

#include "KArchiveInfoAdvancedSlider.h"

KArchiveInfoAdvancedWidget::KArchiveInfoAdvancedWidget(QWidget *parent)
    : KAbstractArchiveInfoWidget(new KArchiveInfoAdvancedSlider, parent),
      m_slider(static_cast<KArchiveInfoAdvancedSlider *>(strip()))
{
    connect(m_slider, &KArchiveInfoAdvancedSlider::lowerValueChanged, this,
            &KArchiveInfoAdvancedWidget::lowerValueChanged);
    connect(m_slider, &KArchiveInfoAdvancedSlider::upperValueChanged, this,
            &KArchiveInfoAdvancedWidget::upperValueChanged);
    connect(m_slider, &KArchiveInfoAdvancedSlider::lowerValueChanged, this,
            &KArchiveInfoAdvancedWidget::sendLowerTime);
    connect(m_slider, &KArchiveInfoAdvancedSlider::upperValueChanged, this,
            &KArchiveInfoAdvancedWidget::sendUpperTime);
}

KArchiveInfoAdvancedWidget::~KArchiveInfoAdvancedWidget() = default;

int KArchiveInfoAdvancedWidget::lowerValue() const
{
    return m_slider->lowerValue();
}

int KArchiveInfoAdvancedWidget::upperValue() const
{
    return m_slider->upperValue();
}

void KArchiveInfoAdvancedWidget::setLowerValue(int value)
{
    m_slider->setLowerValue(value);
}

void KArchiveInfoAdvancedWidget::setUpperValue(int value)
{
    m_slider->setUpperValue(value);
}

void KArchiveInfoAdvancedWidget::setLowerTime(QTime time)
{
    if (time.isValid())
        m_slider->setLowerValue(time.hour() * 60 + time.minute());
}

void KArchiveInfoAdvancedWidget::setUpperTime(QTime time)
{
    if (time.isValid())
        m_slider->setUpperValue(time.hour() * 60 + time.minute());
}

void KArchiveInfoAdvancedWidget::sendLowerTime(int value)
{
    emit lowerTimeChanged(QTime(value / 60, value % 60));
}

void KArchiveInfoAdvancedWidget::sendUpperTime(int value)
{
    emit upperTimeChanged(QTime(value / 60, value % 60));
}
