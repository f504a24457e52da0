#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QSize>

struct mpv_handle;
struct mpv_render_context;
struct mpv_event;
struct KMpvRelay;
class KMpvRenderer;
class QThread;

// One media file played by libmpv and rendered in software into an image of the render size.
// Lives in the user-interface thread and calls only the asynchronous libmpv functions from it;
// the pictures are drawn on a thread of their own (KMpvRenderer). The core is made on the
// first load; destroying it blocks, so that happens on a pool thread.
class KMpvPlayer : public QObject
{
    Q_OBJECT

public:
    explicit KMpvPlayer(QObject *parent = nullptr);
    ~KMpvPlayer() override;

    // The audio output of every player made afterwards ("null" where there is no sound device).
    static void setAudioOutput(const QString &name);

    // Starts the file (paused when asked); false with errorText() when it does not exist or
    // the player could not be made.
    bool load(const QString &path, bool paused = false);
    void play();
    void pause();
    void stop();
    // Exact seek to a moment of the file.
    void seek(qint64 position);
    // One frame forward or back; leaves the player paused.
    void stepFrame(bool forward);
    void setSpeed(double speed);
    void setLoop(bool loop);
    void setVolume(int volume);
    void setMuted(bool muted);
    // The part of the frame (frame pixels) that fills the picture; an empty rectangle shows all.
    void setRegionOfInterest(const QRectF &region);
    QRectF regionOfInterest() const { return m_region; }
    // Renders from now on into images of this size.
    void setRenderSize(const QSize &size);
    // The full decoded picture at the current position, delivered by frameCaptured().
    void captureFrame();

    bool isLoaded() const { return m_loaded; }
    bool isPaused() const { return m_paused; }
    bool isEndReached() const { return m_endReached; }
    // A seek was asked for and playback has not yet started again from its moment.
    bool isSeeking() const;
    double speed() const { return m_speed; }
    qint64 position() const { return m_position; }
    // The position now, carried on from the last report at the playback speed.
    qint64 estimatedPosition() const;
    qint64 duration() const { return m_duration; }
    QSize videoSize() const { return m_videoSize; }
    // Milliseconds between the file's pictures (its frame rate); 0 while unknown.
    double frameDuration() const { return m_frameDuration; }
    QString errorText() const { return m_errorText; }
    // The latest picture drawn, safe to keep while later ones are drawn.
    QImage frame() const;
    int framesRendered() const;
    // The frame point shown at a point of the picture, and the picture part holding the frame.
    QPointF toFrame(const QPointF &point) const;
    QRectF displayedFrameRect() const;

signals:
    void positionChanged(qint64 position);
    void durationChanged(qint64 duration);
    void frameChanged();
    void endReached();
    void errorOccurred(const QString &text);
    void frameCaptured(const QImage &image);

private slots:
    void processEvents();

private:
    bool ensureCore();
    void handleEvent(const mpv_event *event);
    void command(const QStringList &arguments, quint64 reply = 0);
    void setProperty(const char *name, const QString &value);
    void applyRegion();
    // Frame pixels per picture pixel and the frame point at the picture's centre.
    double scale() const;
    QPointF centre() const;

    mpv_handle *m_core = nullptr;
    mpv_render_context *m_renderContext = nullptr;
    KMpvRelay *m_relay = nullptr;
    KMpvRenderer *m_renderer = nullptr;
    QThread *m_renderThread = nullptr;
    QString m_path;
    QSize m_renderSize = QSize(320, 180);
    QSize m_videoSize;
    double m_frameDuration = 0;
    QRectF m_region;
    QString m_errorText;
    qint64 m_position = 0;
    QElapsedTimer m_positionClock;
    qint64 m_duration = 0;
    double m_speed = 1.0;
    int m_volume = 100;
    bool m_muted = false;
    bool m_loop = false;
    bool m_loaded = false;
    bool m_fileReady = false;
    qint64 m_pendingSeek = -1;
    QElapsedTimer m_seekClock; // valid from a seek until playback starts again
    bool m_paused = false;
    bool m_endReached = false;
};
