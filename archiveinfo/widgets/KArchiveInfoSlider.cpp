#include "KArchiveInfoSlider.h"

#include "KSlider.h"

KArchiveInfoSlider::KArchiveInfoSlider(QWidget *parent)
    : KAbstractArchiveInfoSlider(new KSlider(Qt::Horizontal), parent),
      m_slider(static_cast<KSlider *>(slider()))
{
    m_slider->setValue(720);
    connect(m_slider, &QSlider::valueChanged, this, &KArchiveInfoSlider::valueChanged);
    connect(m_slider, &QSlider::sliderReleased, this, &KArchiveInfoSlider::sliderReleased);
}

KArchiveInfoSlider::~KArchiveInfoSlider() = default;

int KArchiveInfoSlider::value() const
{
    return m_slider->value();
}

void KArchiveInfoSlider::setValue(int value)
{
    m_slider->setValue(value);
}
