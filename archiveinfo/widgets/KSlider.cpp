#include "KSlider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

KSlider::KSlider(QWidget *parent) : QSlider(parent) {}

KSlider::KSlider(Qt::Orientation orientation, QWidget *parent) : QSlider(orientation, parent) {}

KSlider::~KSlider() = default;

QRect KSlider::handleRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

int KSlider::valueAt(const QPoint &pos) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = handleRect();
    const bool horizontal = orientation() == Qt::Horizontal;
    const double half = (horizontal ? handle.width() : handle.height()) / 2.0 + 0.5;
    const double length = horizontal ? width() : height();
    const double span = length - 2 * half;
    if (span <= 0)
        return minimum();
    const double p = qBound(half, double(horizontal ? pos.x() : pos.y()), length - half);
    double fraction = (p - half) / span;
    // upsideDown: minimum at the right (inverted or right-to-left) or at the bottom.
    if (option.upsideDown)
        fraction = 1.0 - fraction;
    return minimum() + int((maximum() - minimum()) * fraction);
}

void KSlider::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    if (handleRect().contains(event->pos())) {
        QSlider::mousePressEvent(event);
        return;
    }
    const int value = valueAt(event->pos());
    setValue(value);
    emit sliderMoved(value);
    emit sliderReleased();
    event->accept();
}
