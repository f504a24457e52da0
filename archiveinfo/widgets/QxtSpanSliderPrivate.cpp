#include "QxtSpanSliderPrivate.h"

#include <QStyleOptionSlider>

QxtSpanSliderPrivate::QxtSpanSliderPrivate(QxtSpanSlider *slider) : q(slider) {}

void QxtSpanSliderPrivate::initStyleOption(QStyleOptionSlider *option,
                                           QxtSpanSlider::SpanHandle handle) const
{
    q->initStyleOption(option);
    const int value = handle == QxtSpanSlider::UpperHandle ? upperPos : lowerPos;
    option->sliderPosition = value;
    option->sliderValue = value;
}

QRect QxtSpanSliderPrivate::handleRect(QxtSpanSlider::SpanHandle handle) const
{
    QStyleOptionSlider option;
    initStyleOption(&option, handle);
    return q->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, q);
}

int QxtSpanSliderPrivate::pick(const QPoint &point) const
{
    return q->orientation() == Qt::Horizontal ? point.x() : point.y();
}

int QxtSpanSliderPrivate::valueAtPixel(int pixel) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        q->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, q);
    const QRect handle =
        q->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, q);
    int handleLength, first, last;
    if (q->orientation() == Qt::Horizontal) {
        handleLength = handle.width();
        first = groove.x();
        last = groove.right() - handleLength + 1;
    } else {
        handleLength = handle.height();
        first = groove.y();
        last = groove.bottom() - handleLength + 1;
    }
    return QStyle::sliderValueFromPosition(q->minimum(), q->maximum(), pixel - first, last - first,
                                           option.upsideDown);
}

int QxtSpanSliderPrivate::position(QxtSpanSlider::SpanHandle handle) const
{
    return handle == QxtSpanSlider::UpperHandle ? upperPos : lowerPos;
}

void QxtSpanSliderPrivate::moveHandle(QxtSpanSlider::SpanHandle handle, int pos)
{
    if (handle == QxtSpanSlider::NoHandle)
        return;
    pos = qBound(q->minimum(), pos, q->maximum());
    const bool isLower = handle == QxtSpanSlider::LowerHandle;
    switch (mode) {
    case QxtSpanSlider::NoCrossing:
        pos = isLower ? qMin(pos, upperPos) : qMax(pos, lowerPos);
        break;
    case QxtSpanSlider::NoOverlapping:
        // A handle already touching the other one (set so from outside) stays put.
        pos = isLower ? qMin(pos, qMax(lowerPos, upperPos - 1))
                      : qMax(pos, qMin(upperPos, lowerPos + 1));
        break;
    case QxtSpanSlider::FreeMovement:
        if (isLower && pos > upperPos) {
            // The dragged handle becomes the upper one; the other keeps its place.
            setPosition(QxtSpanSlider::LowerHandle, upperPos);
            handle = QxtSpanSlider::UpperHandle;
        } else if (!isLower && pos < lowerPos) {
            setPosition(QxtSpanSlider::UpperHandle, lowerPos);
            handle = QxtSpanSlider::LowerHandle;
        }
        if (pressed != QxtSpanSlider::NoHandle)
            pressed = handle;
        active = handle;
        break;
    }
    setPosition(handle, pos);
    commitPositions();
}

void QxtSpanSliderPrivate::setPosition(QxtSpanSlider::SpanHandle handle, int pos)
{
    if (handle == QxtSpanSlider::LowerHandle) {
        if (lowerPos == pos)
            return;
        lowerPos = pos;
        emit q->lowerPositionChanged(pos);
    } else if (handle == QxtSpanSlider::UpperHandle) {
        if (upperPos == pos)
            return;
        upperPos = pos;
        emit q->upperPositionChanged(pos);
    }
    q->update();
}

void QxtSpanSliderPrivate::commitPositions()
{
    if (q->hasTracking() || !q->isSliderDown())
        q->setSpan(lowerPos, upperPos);
}
