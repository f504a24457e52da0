#include "QxtSpanSlider.h"

#include "QxtSpanSliderPrivate.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionSlider>
#include <QStylePainter>

QxtSpanSlider::QxtSpanSlider(QWidget *parent) : QxtSpanSlider(Qt::Horizontal, parent) {}

QxtSpanSlider::QxtSpanSlider(Qt::Orientation orientation, QWidget *parent)
    : QSlider(orientation, parent), d(std::make_unique<QxtSpanSliderPrivate>(this))
{
    connect(this, &QAbstractSlider::rangeChanged, this, [this] { setSpan(d->lower, d->upper); });
}

QxtSpanSlider::~QxtSpanSlider() = default;

QxtSpanSlider::HandleMovementMode QxtSpanSlider::handleMovementMode() const
{
    return d->mode;
}

void QxtSpanSlider::setHandleMovementMode(HandleMovementMode mode)
{
    d->mode = mode;
}

int QxtSpanSlider::lowerValue() const
{
    return d->lower;
}

int QxtSpanSlider::upperValue() const
{
    return d->upper;
}

int QxtSpanSlider::lowerPosition() const
{
    return d->lowerPos;
}

int QxtSpanSlider::upperPosition() const
{
    return d->upperPos;
}

QxtSpanSlider::SpanHandle QxtSpanSlider::activeHandle() const
{
    return d->active;
}

QRect QxtSpanSlider::handleRect(SpanHandle handle) const
{
    return d->handleRect(handle);
}

void QxtSpanSlider::setLowerValue(int lower)
{
    setSpan(lower, d->upper);
}

void QxtSpanSlider::setUpperValue(int upper)
{
    setSpan(d->lower, upper);
}

void QxtSpanSlider::setSpan(int lower, int upper)
{
    const int low = qBound(minimum(), qMin(lower, upper), maximum());
    const int high = qBound(minimum(), qMax(lower, upper), maximum());
    const bool lowerChanged = low != d->lower;
    const bool upperChanged = high != d->upper;
    d->lower = low;
    d->upper = high;
    d->setPosition(LowerHandle, low);
    d->setPosition(UpperHandle, high);
    if (!lowerChanged && !upperChanged)
        return;
    if (lowerChanged)
        emit lowerValueChanged(low);
    if (upperChanged)
        emit upperValueChanged(high);
    emit spanChanged(low, high);
    update();
}

void QxtSpanSlider::setLowerPosition(int lower)
{
    d->moveHandle(LowerHandle, lower);
}

void QxtSpanSlider::setUpperPosition(int upper)
{
    d->moveHandle(UpperHandle, upper);
}

void QxtSpanSlider::keyPressEvent(QKeyEvent *event)
{
    QStyleOptionSlider option;
    d->initStyleOption(&option);
    // Steps towards the maximum for "forward" keys, mirrored where the slider is.
    const bool horizontal = orientation() == Qt::Horizontal;
    int step = 0;
    int target = -1;
    switch (event->key()) {
    case Qt::Key_Left:
        step = (horizontal && option.upsideDown) ? singleStep() : -singleStep();
        break;
    case Qt::Key_Right:
        step = (horizontal && option.upsideDown) ? -singleStep() : singleStep();
        break;
    case Qt::Key_Up:
        step = (!horizontal && !option.upsideDown) ? -singleStep() : singleStep();
        break;
    case Qt::Key_Down:
        step = (!horizontal && !option.upsideDown) ? singleStep() : -singleStep();
        break;
    case Qt::Key_PageUp:
        step = pageStep();
        break;
    case Qt::Key_PageDown:
        step = -pageStep();
        break;
    case Qt::Key_Home:
        target = minimum();
        break;
    case Qt::Key_End:
        target = maximum();
        break;
    default:
        event->ignore();
        return;
    }
    SpanHandle handle = d->active;
    if (event->modifiers() & Qt::ShiftModifier)
        handle = handle == LowerHandle ? UpperHandle : LowerHandle;
    const int current = d->position(handle);
    d->moveHandle(handle, target >= 0 ? target : current + step);
    event->accept();
}

void QxtSpanSlider::mousePressEvent(QMouseEvent *event)
{
    if (minimum() == maximum() || event->buttons() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // Where the handles overlap, the one whose centre is nearer to the click; on a tie the
    // one used last, which is drawn on top.
    const int click = d->pick(event->pos());
    SpanHandle hit = NoHandle;
    int distance = 0;
    for (SpanHandle handle : {d->active, d->active == LowerHandle ? UpperHandle : LowerHandle}) {
        const QRect rect = d->handleRect(handle);
        const int away = qAbs(d->pick(rect.center()) - click);
        if (rect.contains(event->pos()) && (hit == NoHandle || away < distance)) {
            hit = handle;
            distance = away;
        }
    }
    if (hit != NoHandle) {
        d->pressed = hit;
        d->active = hit;
        d->offset = click - d->pick(d->handleRect(hit).topLeft());
        setSliderDown(true);
        emit sliderPressed(hit);
        update();
        event->accept();
        return;
    }
    // A click beside the handles pages the nearer one towards it.
    const int value = d->valueAtPixel(d->pick(event->pos()));
    const SpanHandle nearer =
        qAbs(value - d->lowerPos) <= qAbs(value - d->upperPos) ? LowerHandle : UpperHandle;
    const int current = d->position(nearer);
    if (value != current) {
        d->active = nearer;
        d->moveHandle(nearer, value > current ? qMin(value, current + pageStep())
                                              : qMax(value, current - pageStep()));
    }
    event->accept();
}

void QxtSpanSlider::mouseMoveEvent(QMouseEvent *event)
{
    if (d->pressed == NoHandle) {
        event->ignore();
        return;
    }
    d->moveHandle(d->pressed, d->valueAtPixel(d->pick(event->pos()) - d->offset));
    event->accept();
}

void QxtSpanSlider::mouseReleaseEvent(QMouseEvent *event)
{
    if (d->pressed == NoHandle) {
        event->ignore();
        return;
    }
    d->pressed = NoHandle;
    setSliderDown(false);
    setSpan(d->lowerPos, d->upperPos);
    update();
    event->accept();
}

void QxtSpanSlider::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);

    QStyleOptionSlider option;
    d->initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderTickmarks;
    option.activeSubControls = QStyle::SC_None;
    painter.drawComplexControl(QStyle::CC_Slider, option);

    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QPoint lowerCentre = d->handleRect(LowerHandle).center();
    const QPoint upperCentre = d->handleRect(UpperHandle).center();
    QRect span;
    if (orientation() == Qt::Horizontal) {
        span = QRect(QPoint(qMin(lowerCentre.x(), upperCentre.x()), groove.center().y() - 2),
                     QPoint(qMax(lowerCentre.x(), upperCentre.x()), groove.center().y() + 1));
    } else {
        span = QRect(QPoint(groove.center().x() - 2, qMin(lowerCentre.y(), upperCentre.y())),
                     QPoint(groove.center().x() + 1, qMax(lowerCentre.y(), upperCentre.y())));
    }
    painter.fillRect(span, palette().color(QPalette::Highlight));

    // The active handle last, on top.
    const SpanHandle order[2] = {d->active == LowerHandle ? UpperHandle : LowerHandle, d->active};
    for (SpanHandle handle : order) {
        QStyleOptionSlider handleOption;
        d->initStyleOption(&handleOption, handle);
        handleOption.subControls = QStyle::SC_SliderHandle;
        handleOption.activeSubControls = QStyle::SC_None;
        if (d->pressed == handle) {
            handleOption.activeSubControls = QStyle::SC_SliderHandle;
            handleOption.state |= QStyle::State_Sunken;
        }
        painter.drawComplexControl(QStyle::CC_Slider, handleOption);
    }
}
