#pragma once

#include <QAtomicInt>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSize>

struct mpv_render_context;

// Draws one player's pictures on a thread of its own, so that neither the drawing nor libmpv's
// wait for a picture's display time holds up the user-interface thread. It calls nothing of
// libmpv but the render functions of its context. The latest picture is double-buffered:
// drawing goes into the back image, which then swaps with the one handed out.
class KMpvRenderer : public QObject
{
    Q_OBJECT

public:
    explicit KMpvRenderer(mpv_render_context *context);

    // From any thread (also libmpv's update callback): draw the next picture soon.
    void requestRender();
    void setTargetSize(const QSize &size);
    // While not showing, pictures are drawn (libmpv expects it) but not handed out.
    void setShowing(bool showing);
    QImage frame() const;
    int framesRendered() const { return m_framesRendered.loadAcquire(); }

signals:
    void frameReady();

private slots:
    void render();

private:
    mpv_render_context *m_context = nullptr;
    QAtomicInt m_pending = 0;
    QAtomicInt m_framesRendered = 0;
    QImage m_back;          // render thread only
    QSize m_drawnSize;      // render thread only
    mutable QMutex m_mutex; // guards the members below, shared with the user-interface thread
    QImage m_front;
    QSize m_targetSize = QSize(320, 180);
    bool m_showing = false;
};
