#pragma once

#include "QxtSpanSlider.h"

#include <QStyle>

class QStyleOptionSlider;

// State and geometry of a QxtSpanSlider: the two values and positions, the handle being
// dragged and the arithmetic between pixels and range values.
class QxtSpanSliderPrivate
{
public:
    explicit QxtSpanSliderPrivate(QxtSpanSlider *slider);

    // The style option of the slider with the given handle at its position.
    void initStyleOption(QStyleOptionSlider *option,
                         QxtSpanSlider::SpanHandle handle = QxtSpanSlider::NoHandle) const;
    QRect handleRect(QxtSpanSlider::SpanHandle handle) const;
    // Pixel coordinate along the slider to a range value.
    int valueAtPixel(int pixel) const;
    int pick(const QPoint &point) const;
    int position(QxtSpanSlider::SpanHandle handle) const;
    // Moves a handle as the user does: within the range and as the movement mode allows;
    // in free movement a handle dragged past the other one takes its place.
    void moveHandle(QxtSpanSlider::SpanHandle handle, int position);
    void setPosition(QxtSpanSlider::SpanHandle handle, int position);
    // Values follow the positions unless a handle is dragged without tracking.
    void commitPositions();

    QxtSpanSlider *q;
    int lower = 0;
    int upper = 0;
    int lowerPos = 0;
    int upperPos = 0;
    int offset = 0;
    QxtSpanSlider::SpanHandle pressed = QxtSpanSlider::NoHandle;
    QxtSpanSlider::SpanHandle active = QxtSpanSlider::LowerHandle;
    QxtSpanSlider::HandleMovementMode mode = QxtSpanSlider::FreeMovement;
};
