#include "KMpvPlayer.h"

#include "KMpvRenderer.h"

#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <QtMath>

#include <clocale>
#include <cmath>
#include <mpv/client.h>
#include <mpv/render.h>

// The player and renderer a libmpv thread may wake. The mutex guards both pointers against
// the player's destruction; the relay itself outlives the core.
struct KMpvRelay
{
    QMutex mutex;
    KMpvPlayer *player = nullptr;
    KMpvRenderer *renderer = nullptr;
};

namespace {

enum Observed : quint64 { TimePos = 1, Duration, Pause, EofReached, Width, Height, Fps };
const quint64 kCaptureReply = 100;

QString s_audioOutput; // set from the user-interface thread before players are made

void wakeUp(void *data)
{
    auto *relay = static_cast<KMpvRelay *>(data);
    QMutexLocker locker(&relay->mutex);
    if (relay->player)
        QMetaObject::invokeMethod(relay->player, "processEvents", Qt::QueuedConnection);
}

void renderUpdate(void *data)
{
    auto *relay = static_cast<KMpvRelay *>(data);
    QMutexLocker locker(&relay->mutex);
    if (relay->renderer)
        relay->renderer->requestRender();
}

QImage imageFromNode(const mpv_node &result)
{
    if (result.format != MPV_FORMAT_NODE_MAP)
        return QImage();
    qint64 width = 0, height = 0, stride = 0;
    QByteArray format;
    const mpv_byte_array *data = nullptr;
    const mpv_node_list *map = result.u.list;
    for (int i = 0; i < map->num; ++i) {
        const QByteArray key(map->keys[i]);
        const mpv_node &value = map->values[i];
        if (key == "w")
            width = value.u.int64;
        else if (key == "h")
            height = value.u.int64;
        else if (key == "stride")
            stride = value.u.int64;
        else if (key == "format")
            format = value.u.string;
        else if (key == "data" && value.format == MPV_FORMAT_BYTE_ARRAY)
            data = value.u.ba;
    }
    if (!data || width <= 0 || height <= 0 || stride < width * 4 ||
        qint64(data->size) < stride * height || (format != "bgr0" && format != "bgra"))
        return QImage();
    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        memcpy(image.scanLine(y), static_cast<const char *>(data->data) + y * stride,
               size_t(width) * 4);
    return image;
}

} // namespace

KMpvPlayer::KMpvPlayer(QObject *parent) : QObject(parent) {}

KMpvPlayer::~KMpvPlayer()
{
    if (!m_core)
        return;
    {
        QMutexLocker locker(&m_relay->mutex);
        m_relay->player = nullptr;
        m_relay->renderer = nullptr;
    }
    mpv_handle *core = m_core;
    mpv_render_context *context = m_renderContext;
    KMpvRelay *relay = m_relay;
    KMpvRenderer *renderer = m_renderer;
    QThread *thread = m_renderThread;
    QThreadPool::globalInstance()->start([core, context, relay, renderer, thread]() {
        // The context may be freed only when no picture is being drawn with it.
        if (thread) {
            thread->quit();
            thread->wait();
        }
        delete renderer;
        delete thread;
        if (context)
            mpv_render_context_free(context);
        mpv_terminate_destroy(core);
        delete relay;
    });
}

void KMpvPlayer::setAudioOutput(const QString &name)
{
    s_audioOutput = name;
}

bool KMpvPlayer::ensureCore()
{
    if (m_core)
        return m_renderContext != nullptr;
    // libmpv refuses to start under a locale that writes decimal commas.
    std::setlocale(LC_NUMERIC, "C");
    m_core = mpv_create();
    if (!m_core)
        return false;
    const QList<QPair<const char *, QByteArray>> options = {
        {"vo", "libmpv"},
        {"config", "no"},
        {"terminal", "no"},
        {"input-default-bindings", "no"},
        {"osc", "no"},
        {"idle", "yes"},
        {"keep-open", "yes"},
        {"hr-seek", "yes"},
        {"hwdec", "no"},
        {"audio-display", "no"},
        {"speed", QByteArray::number(m_speed)},
        {"volume", QByteArray::number(m_volume)},
        {"mute", m_muted ? "yes" : "no"},
        {"loop-file", m_loop ? "inf" : "no"},
    };
    for (const auto &option : options)
        mpv_set_option_string(m_core, option.first, option.second.constData());
    if (!s_audioOutput.isEmpty())
        mpv_set_option_string(m_core, "ao", s_audioOutput.toUtf8().constData());
    if (mpv_initialize(m_core) < 0) {
        mpv_terminate_destroy(m_core);
        m_core = nullptr;
        return false;
    }
    m_relay = new KMpvRelay;
    m_relay->player = this;
    // The render context must exist before a file is loaded, or mpv opens a window of its own.
    char softwareApi[] = MPV_RENDER_API_TYPE_SW;
    mpv_render_param parameters[] = {{MPV_RENDER_PARAM_API_TYPE, softwareApi},
                                     {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_create(&m_renderContext, m_core, parameters) < 0) {
        m_renderContext = nullptr;
    } else {
        m_renderer = new KMpvRenderer(m_renderContext);
        m_renderer->setTargetSize(m_renderSize);
        m_renderThread = new QThread;
        m_renderThread->setObjectName(QStringLiteral("mpv render"));
        m_renderer->moveToThread(m_renderThread);
        connect(m_renderer, &KMpvRenderer::frameReady, this, &KMpvPlayer::frameChanged);
        m_renderThread->start();
        m_relay->renderer = m_renderer;
        mpv_render_context_set_update_callback(m_renderContext, renderUpdate, m_relay);
    }
    mpv_set_wakeup_callback(m_core, wakeUp, m_relay);
    mpv_observe_property(m_core, TimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_core, Duration, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_core, Pause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(m_core, EofReached, "eof-reached", MPV_FORMAT_FLAG);
    mpv_observe_property(m_core, Width, "width", MPV_FORMAT_INT64);
    mpv_observe_property(m_core, Height, "height", MPV_FORMAT_INT64);
    mpv_observe_property(m_core, Fps, "container-fps", MPV_FORMAT_DOUBLE);
    return m_renderContext != nullptr;
}

void KMpvPlayer::command(const QStringList &arguments, quint64 reply)
{
    if (!m_core)
        return;
    QList<QByteArray> storage;
    QVector<const char *> pointers;
    for (const QString &argument : arguments)
        storage << argument.toUtf8();
    for (const QByteArray &argument : qAsConst(storage))
        pointers << argument.constData();
    pointers << nullptr;
    mpv_command_async(m_core, reply, pointers.data());
}

void KMpvPlayer::setProperty(const char *name, const QString &value)
{
    if (!m_core)
        return;
    const QByteArray text = value.toUtf8();
    const char *data = text.constData();
    mpv_set_property_async(m_core, 0, name, MPV_FORMAT_STRING, &data);
}

bool KMpvPlayer::load(const QString &path, bool paused)
{
    m_path = path;
    m_loaded = false;
    m_fileReady = false;
    m_pendingSeek = -1;
    m_seekClock.invalidate();
    m_endReached = false;
    m_position = 0;
    m_duration = 0;
    m_videoSize = QSize();
    if (!QFileInfo(path).isFile()) {
        m_errorText = QStringLiteral("Файл канала не найден");
        emit errorOccurred(m_errorText);
        return false;
    }
    if (!ensureCore()) {
        m_errorText = QStringLiteral("Не удалось запустить проигрыватель");
        emit errorOccurred(m_errorText);
        return false;
    }
    m_errorText.clear();
    m_renderer->setShowing(true);
    setProperty("pause", paused ? QStringLiteral("yes") : QStringLiteral("no"));
    command({QStringLiteral("loadfile"), path, QStringLiteral("replace")});
    m_loaded = true;
    m_paused = paused;
    applyRegion();
    return true;
}

void KMpvPlayer::play()
{
    m_paused = false;
    setProperty("pause", QStringLiteral("no"));
}

void KMpvPlayer::pause()
{
    m_paused = true;
    setProperty("pause", QStringLiteral("yes"));
}

void KMpvPlayer::stop()
{
    command({QStringLiteral("stop")});
    m_loaded = false;
    m_fileReady = false;
    m_pendingSeek = -1;
    m_seekClock.invalidate();
    m_endReached = false;
    m_position = 0;
    if (m_renderer)
        m_renderer->setShowing(false);
    emit frameChanged();
}

void KMpvPlayer::seek(qint64 position)
{
    if (!m_loaded)
        return;
    // Before the file is open mpv refuses seeks; it is done when the file is.
    if (!m_fileReady) {
        m_pendingSeek = position;
        return;
    }
    command({QStringLiteral("seek"), QString::number(qMax<qint64>(0, position) / 1000.0, 'f', 3),
             QStringLiteral("absolute+exact")});
    m_position = position;
    m_positionClock.invalidate();
    m_seekClock.start();
    m_endReached = false;
}

bool KMpvPlayer::isSeeking() const
{
    // A seek mpv refused never restarts playback: do not wait for it for ever.
    return m_loaded && m_seekClock.isValid() && m_seekClock.elapsed() < 3000;
}

qint64 KMpvPlayer::estimatedPosition() const
{
    if (!m_loaded || m_paused || m_endReached || !m_positionClock.isValid())
        return m_position;
    // A picture stays up one frame at most, so do not run on further than that.
    const qint64 elapsed = qMin<qint64>(m_positionClock.elapsed(), 200);
    return m_position + qRound64(elapsed * m_speed);
}

void KMpvPlayer::stepFrame(bool forward)
{
    if (!m_loaded)
        return;
    m_paused = true;
    command({forward ? QStringLiteral("frame-step") : QStringLiteral("frame-back-step")});
}

void KMpvPlayer::setSpeed(double speed)
{
    m_speed = qBound(0.01, speed, 100.0);
    setProperty("speed", QString::number(m_speed, 'f', 6));
}

void KMpvPlayer::setLoop(bool loop)
{
    m_loop = loop;
    setProperty("loop-file", loop ? QStringLiteral("inf") : QStringLiteral("no"));
}

void KMpvPlayer::setVolume(int volume)
{
    m_volume = qBound(0, volume, 100);
    setProperty("volume", QString::number(m_volume));
}

void KMpvPlayer::setMuted(bool muted)
{
    m_muted = muted;
    setProperty("mute", muted ? QStringLiteral("yes") : QStringLiteral("no"));
}

void KMpvPlayer::setRegionOfInterest(const QRectF &region)
{
    m_region = region.normalized();
    if (m_region.width() < 1 || m_region.height() < 1)
        m_region = QRectF();
    applyRegion();
}

void KMpvPlayer::setRenderSize(const QSize &size)
{
    if (size == m_renderSize || size.isEmpty())
        return;
    m_renderSize = size;
    applyRegion();
    if (m_renderer)
        m_renderer->setTargetSize(size);
}

void KMpvPlayer::captureFrame()
{
    if (!m_loaded) {
        emit frameCaptured(QImage());
        return;
    }
    command({QStringLiteral("screenshot-raw"), QStringLiteral("video")}, kCaptureReply);
}

double KMpvPlayer::scale() const
{
    if (m_videoSize.isEmpty())
        return 1.0;
    const QSizeF shown = m_region.isEmpty() ? QSizeF(m_videoSize) : m_region.size();
    return qMax(shown.width() / m_renderSize.width(), shown.height() / m_renderSize.height());
}

QPointF KMpvPlayer::centre() const
{
    return m_region.isEmpty() ? QPointF(m_videoSize.width() / 2.0, m_videoSize.height() / 2.0)
                              : m_region.center();
}

QPointF KMpvPlayer::toFrame(const QPointF &point) const
{
    const QPointF half(m_renderSize.width() / 2.0, m_renderSize.height() / 2.0);
    return centre() + (point - half) * scale();
}

QRectF KMpvPlayer::displayedFrameRect() const
{
    if (m_videoSize.isEmpty())
        return QRectF();
    const QPointF half(m_renderSize.width() / 2.0, m_renderSize.height() / 2.0);
    const double factor = scale();
    const QRectF frame(QPointF((QPointF(0, 0) - centre()) / factor + half),
                       QSizeF(m_videoSize) / factor);
    return frame.intersected(QRectF(QPointF(0, 0), QSizeF(m_renderSize)));
}

void KMpvPlayer::applyRegion()
{
    if (!m_core)
        return;
    if (m_region.isEmpty() || m_videoSize.isEmpty()) {
        setProperty("video-zoom", QStringLiteral("0"));
        setProperty("video-pan-x", QStringLiteral("0"));
        setProperty("video-pan-y", QStringLiteral("0"));
        return;
    }
    // mpv fits the whole frame into the picture; zoom by the ratio of the two fits, then move
    // the region's centre to the picture's centre (pan is in frame sizes).
    const double width = m_videoSize.width(), height = m_videoSize.height();
    const double wholeFit = qMin(m_renderSize.width() / width, m_renderSize.height() / height);
    const double zoom = std::log2(1.0 / scale() / wholeFit);
    setProperty("video-zoom", QString::number(zoom, 'f', 6));
    setProperty("video-pan-x", QString::number(0.5 - m_region.center().x() / width, 'f', 6));
    setProperty("video-pan-y", QString::number(0.5 - m_region.center().y() / height, 'f', 6));
}

void KMpvPlayer::processEvents()
{
    while (m_core) {
        mpv_event *event = mpv_wait_event(m_core, 0);
        if (!event || event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(event);
    }
}

void KMpvPlayer::handleEvent(const mpv_event *event)
{
    switch (event->event_id) {
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *property = static_cast<const mpv_event_property *>(event->data);
        if (property->format == MPV_FORMAT_NONE || !property->data)
            return;
        switch (event->reply_userdata) {
        case TimePos:
            m_position = qRound64(*static_cast<double *>(property->data) * 1000.0);
            m_positionClock.start();
            emit positionChanged(m_position);
            break;
        case Duration:
            m_duration = qRound64(*static_cast<double *>(property->data) * 1000.0);
            emit durationChanged(m_duration);
            break;
        case Pause:
            m_paused = *static_cast<int *>(property->data) != 0;
            break;
        case Fps: {
            const double fps = *static_cast<double *>(property->data);
            m_frameDuration = fps > 0 ? 1000.0 / fps : 0;
            break;
        }
        case EofReached: {
            const bool reached = *static_cast<int *>(property->data) != 0;
            const bool changed = reached && !m_endReached;
            m_endReached = reached;
            if (changed)
                emit endReached();
            break;
        }
        case Width:
        case Height: {
            const int value = int(*static_cast<qint64 *>(property->data));
            if (event->reply_userdata == Width)
                m_videoSize.setWidth(value);
            else
                m_videoSize.setHeight(value);
            applyRegion();
            break;
        }
        default:
            break;
        }
        return;
    }
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event->data);
        if (end->reason == MPV_END_FILE_REASON_ERROR) {
            m_loaded = false;
            m_errorText = QStringLiteral("Файл канала повреждён или не читается");
            emit errorOccurred(m_errorText);
        }
        return;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        m_seekClock.invalidate();
        return;
    case MPV_EVENT_FILE_LOADED:
        m_fileReady = true;
        if (m_pendingSeek >= 0) {
            const qint64 position = m_pendingSeek;
            m_pendingSeek = -1;
            seek(position);
        }
        return;
    case MPV_EVENT_COMMAND_REPLY:
        if (event->reply_userdata == kCaptureReply) {
            const auto *reply = static_cast<const mpv_event_command *>(event->data);
            emit frameCaptured(event->error < 0 ? QImage() : imageFromNode(reply->result));
        }
        return;
    default:
        return;
    }
}

QImage KMpvPlayer::frame() const
{
    return m_renderer ? m_renderer->frame() : QImage();
}

int KMpvPlayer::framesRendered() const
{
    return m_renderer ? m_renderer->framesRendered() : 0;
}
