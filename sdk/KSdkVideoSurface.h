#pragma once

#include "KRecTime.h"

#include <QDateTime>
#include <QWidget>
#include <memory>

class KSdkFrameStore;

// A child covering the render window that paints the stream's latest picture, stretched to
// the window. Lives on the GUI thread; mouse events pass through to the window below.
class KSdkVideoSurface : public QWidget
{
    Q_OBJECT
    // How many of the stream's pictures arrived and how many were painted, and the time of the
    // last one: what the viewer really saw, for measurements (repaints of the same picture do
    // not count).
    Q_PROPERTY(quint64 receivedPictures READ receivedPictures)
    Q_PROPERTY(quint64 paintedPictures READ paintedPictures)
    Q_PROPERTY(QDateTime paintedTime READ paintedTime)

public:
    KSdkVideoSurface(std::shared_ptr<KSdkFrameStore> store, QWidget *window);

    quint64 receivedPictures() const;
    quint64 paintedPictures() const { return m_painted; }
    QDateTime paintedTime() const { return m_painted ? m_paintedTime.toDateTime() : QDateTime(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    std::shared_ptr<KSdkFrameStore> m_store;
    quint64 m_paintedSerial = 0;
    quint64 m_painted = 0;
    KRecTime m_paintedTime;
};
