#pragma once

#include <QSlider>

// A slider that jumps to the place of a left click away from its handle at once, instead of
// paging towards it: it emits sliderMoved() and sliderReleased() right away, so that whoever
// acts on a release (the archive player restarts playback there) acts on the click.
class KSlider : public QSlider
{
    Q_OBJECT

public:
    explicit KSlider(QWidget *parent = nullptr);
    explicit KSlider(Qt::Orientation orientation, QWidget *parent = nullptr);
    ~KSlider() override;

    // The value a left click at pos (widget coordinates) away from the handle gives.
    int valueAt(const QPoint &pos) const;
    // Where the handle is drawn, in widget coordinates.
    QRect handleRect() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
