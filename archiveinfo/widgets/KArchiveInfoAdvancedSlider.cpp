#include "KArchiveInfoAdvancedSlider.h"

#include "QxtSpanSlider.h"

KArchiveInfoAdvancedSlider::KArchiveInfoAdvancedSlider(QWidget *parent)
    : KAbstractArchiveInfoSlider(new QxtSpanSlider(Qt::Horizontal), parent),
      m_slider(static_cast<QxtSpanSlider *>(slider()))
{
    m_slider->setHandleMovementMode(QxtSpanSlider::NoOverlapping);
    m_slider->setSpan(720, 730);
    connect(m_slider, &QxtSpanSlider::lowerValueChanged, this,
            &KArchiveInfoAdvancedSlider::lowerValueChanged);
    connect(m_slider, &QxtSpanSlider::upperValueChanged, this,
            &KArchiveInfoAdvancedSlider::upperValueChanged);
}

KArchiveInfoAdvancedSlider::~KArchiveInfoAdvancedSlider() = default;

int KArchiveInfoAdvancedSlider::lowerValue() const
{
    return m_slider->lowerValue();
}

int KArchiveInfoAdvancedSlider::upperValue() const
{
    return m_slider->upperValue();
}

void KArchiveInfoAdvancedSlider::setUpperValue(int value)
{
    m_slider->setUpperValue(value);
}

void KArchiveInfoAdvancedSlider::setLowerValue(int value)
{
    m_slider->setLowerValue(value);
}
