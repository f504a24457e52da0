#include "KMpvRenderer.h"

#include <mpv/render.h>

KMpvRenderer::KMpvRenderer(mpv_render_context *context) : m_context(context) {}

void KMpvRenderer::requestRender()
{
    if (m_pending.testAndSetOrdered(0, 1))
        QMetaObject::invokeMethod(this, "render", Qt::QueuedConnection);
}

void KMpvRenderer::setTargetSize(const QSize &size)
{
    {
        QMutexLocker locker(&m_mutex);
        if (size == m_targetSize || size.isEmpty())
            return;
        m_targetSize = size;
    }
    requestRender();
}

void KMpvRenderer::setShowing(bool showing)
{
    QMutexLocker locker(&m_mutex);
    m_showing = showing;
    if (!showing)
        m_front = QImage();
}

QImage KMpvRenderer::frame() const
{
    QMutexLocker locker(&m_mutex);
    return m_front;
}

void KMpvRenderer::render()
{
    m_pending = 0;
    QSize size;
    {
        QMutexLocker locker(&m_mutex);
        size = m_targetSize;
    }
    const bool newFrame = mpv_render_context_update(m_context) & MPV_RENDER_UPDATE_FRAME;
    // A new size is drawn at once, also from the last picture while paused.
    if (!newFrame && (size == m_drawnSize || m_drawnSize.isEmpty()))
        return;
    // The back image is still shared only when a painter kept the picture it was handed.
    if (m_back.size() != size || !m_back.isDetached())
        m_back = QImage(size, QImage::Format_RGB32);
    int dimensions[2] = {size.width(), size.height()};
    size_t stride = size_t(m_back.bytesPerLine());
    char format[] = "bgr0";
    mpv_render_param parameters[] = {{MPV_RENDER_PARAM_SW_SIZE, dimensions},
                                     {MPV_RENDER_PARAM_SW_FORMAT, format},
                                     {MPV_RENDER_PARAM_SW_STRIDE, &stride},
                                     {MPV_RENDER_PARAM_SW_POINTER, m_back.bits()},
                                     {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_render(m_context, parameters) < 0)
        return;
    m_drawnSize = size;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_showing)
            return;
        m_front.swap(m_back);
    }
    m_framesRendered.fetchAndAddOrdered(1);
    emit frameReady();
}
