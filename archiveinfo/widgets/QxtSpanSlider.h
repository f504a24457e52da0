#pragma once

#include <QSlider>

#include <memory>

class QxtSpanSliderPrivate;

// A slider with two handles that pick a span (lower..upper) of its range. Both handles follow
// the mouse and the keyboard (the arrow, page, Home and End keys move the handle pressed last,
// the lower one at first; with Shift they move the other one). The span between the handles is
// drawn in the palette's highlight colour.
class QxtSpanSlider : public QSlider
{
    Q_OBJECT
    Q_PROPERTY(int lowerValue READ lowerValue WRITE setLowerValue)
    Q_PROPERTY(int upperValue READ upperValue WRITE setUpperValue)
    Q_PROPERTY(int lowerPosition READ lowerPosition WRITE setLowerPosition)
    Q_PROPERTY(int upperPosition READ upperPosition WRITE setUpperPosition)
    Q_PROPERTY(
        HandleMovementMode handleMovementMode READ handleMovementMode WRITE setHandleMovementMode)

public:
    // How far a dragged handle may go relative to the other one.
    enum HandleMovementMode { FreeMovement, NoCrossing, NoOverlapping };
    Q_ENUM(HandleMovementMode)
    enum SpanHandle { NoHandle, LowerHandle, UpperHandle };
    Q_ENUM(SpanHandle)

    explicit QxtSpanSlider(QWidget *parent = nullptr);
    explicit QxtSpanSlider(Qt::Orientation orientation, QWidget *parent = nullptr);
    ~QxtSpanSlider() override;

    HandleMovementMode handleMovementMode() const;
    void setHandleMovementMode(HandleMovementMode mode);

    int lowerValue() const;
    int upperValue() const;
    // Positions differ from the values only while a handle is dragged without tracking.
    int lowerPosition() const;
    int upperPosition() const;

    // The handle the plain keys move.
    SpanHandle activeHandle() const;
    // Where a handle is drawn, in widget coordinates.
    QRect handleRect(SpanHandle handle) const;

public slots:
    void setLowerValue(int lower);
    void setUpperValue(int upper);
    // Stores min(lower, upper) and max(lower, upper), each clamped to the range.
    void setSpan(int lower, int upper);
    void setLowerPosition(int lower);
    void setUpperPosition(int upper);

signals:
    void spanChanged(int lower, int upper);
    void lowerValueChanged(int lower);
    void upperValueChanged(int upper);
    void lowerPositionChanged(int lower);
    void upperPositionChanged(int upper);
    void sliderPressed(QxtSpanSlider::SpanHandle handle);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    friend class QxtSpanSliderPrivate;
    std::unique_ptr<QxtSpanSliderPrivate> d;
};
