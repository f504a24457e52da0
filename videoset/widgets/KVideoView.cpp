#include "KVideoView.h"

#include "KMpvPlayer.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRubberBand>
#include <QtMath>

KVideoView::KVideoView(QWidget *parent) : KAbstractVideoView(parent)
{
    m_player = new KMpvPlayer(this);
    m_rubberBand = new QRubberBand(QRubberBand::Rectangle, m_videoSurface);
    m_videoSurface->installEventFilter(this);
    m_backgroundLabel->installEventFilter(this);
    m_soundButton->setChecked(true);
    // Qualified: this class's own rule, not a subclass's, while constructing.
    KVideoView::setSoundEnabled(true);

    connect(m_player, &KMpvPlayer::frameChanged, m_videoSurface, qOverload<>(&QWidget::update));
    connect(m_player, &KMpvPlayer::positionChanged, this,
            [this](qint64 position) { emit positionChanged(position); });
    connect(m_player, &KMpvPlayer::durationChanged, this,
            [this](qint64 duration) { emit durationChanged(duration); });
    connect(m_player, &KMpvPlayer::errorOccurred, this, &KVideoView::showError);
    // Pictures grabbed for other purposes are not snapshots.
    connect(m_player, &KMpvPlayer::frameCaptured, this, [this](const QImage &image) {
        if (!m_snapshotPath.isEmpty())
            saveSnapshot(image);
    });
}

KVideoView::~KVideoView() = default;

double KVideoView::speedFactor(int speed)
{
    return std::ldexp(1.0, qBound(0, speed, 6) - 3);
}

void KVideoView::setVideoSet(const KVideoSetData &videoSet, const QString &channelID)
{
    stop();
    m_videoSet = videoSet;
    m_player->setRegionOfInterest(QRectF());
    setChannels(videoSet.channels);
    setCurrentChannel(channelID);
}

qint64 KVideoView::position() const
{
    return m_player->estimatedPosition();
}

QString KVideoView::snapshotPath() const
{
    const QTime time = m_videoSet.beginDateTime.time().addMSecs(int(m_player->position()));
    return m_videoSet.path + QLatin1Char('/') + m_currentChannel.name +
           QStringLiteral("_Snapshot_") + time.toString(QStringLiteral("hh.mm.ss")) +
           QStringLiteral(".jpg");
}

void KVideoView::play()
{
    if (!m_hasChannel)
        return;
    KAbstractVideoView::play();
    m_player->setLoop(m_repeat);
    if (m_player->isLoaded()) {
        m_player->play();
        return;
    }
    m_backgroundLabel->setText(QString());
    m_player->load(m_currentChannel.file.absoluteFilePath());
}

void KVideoView::pause()
{
    if (!m_hasChannel)
        return;
    KAbstractVideoView::pause();
    m_player->pause();
}

void KVideoView::stop()
{
    KAbstractVideoView::stop();
    m_player->stop();
    if (m_player->errorText().isEmpty() || !m_hasChannel)
        m_backgroundLabel->setText(m_hasChannel ? QString() : QStringLiteral("Нет канала"));
    emit stopped();
}

void KVideoView::setPlaybackSpeed(int speed)
{
    KAbstractVideoView::setPlaybackSpeed(speed);
    m_player->setSpeed(speedFactor(speed));
}

void KVideoView::setRepeat(bool playbackState)
{
    m_repeat = playbackState;
    m_player->setLoop(playbackState);
}

void KVideoView::setVolume(int value)
{
    if (!m_soundEnabled)
        return;
    m_volume = value;
    m_player->setVolume(value);
}

void KVideoView::setSoundEnabled(bool enable)
{
    KAbstractVideoView::setSoundEnabled(enable);
    m_player->setVolume(m_volume);
    m_player->setMuted(!enable);
}

void KVideoView::takeSnapshot()
{
    if (!m_hasChannel || !m_player->isLoaded())
        return;
    m_snapshotPath = snapshotPath();
    m_player->captureFrame();
}

void KVideoView::saveSnapshot(QImage image)
{
    const bool saved = !image.isNull() && !m_snapshotPath.isEmpty() && image.save(m_snapshotPath);
    m_snapshotPath.clear();
    showSnapshotSaveResultMessage(saved);
}

void KVideoView::setPosition(int position)
{
    m_player->seek(position);
}

void KVideoView::followPosition(qint64 masterPosition, double baseSpeed)
{
    // A tile still seeking has no position to compare yet; seeking it again would restart
    // its seek for as long as seeks take longer than the sync period.
    if (!m_player->isLoaded() || m_viewState != 0 || m_player->isSeeking())
        return;
    const qint64 duration = m_player->duration();
    if (duration > 0 && masterPosition >= duration)
        return;
    // Far off (a loop, a late seek): jump there. Near: run faster or slower so that the gap
    // closes in about half a second whatever the speed; closing it within one sync period
    // would overshoot, as the gap is measured again only then.
    const double gap = double(position() - masterPosition);
    if (qAbs(gap) > qMax(400.0, 100.0 * baseSpeed)) {
        m_player->seek(masterPosition);
        m_player->setSpeed(baseSpeed);
        return;
    }
    double speed = baseSpeed;
    if (qAbs(gap) > 5.0)
        speed = baseSpeed - qBound(-0.5 * baseSpeed, gap / 500.0, 0.5 * baseSpeed);
    if (qAbs(speed - m_player->speed()) > 1e-4)
        m_player->setSpeed(speed);
}

void KVideoView::stepFrame(bool forward)
{
    if (m_hasChannel && m_viewState == 1)
        m_player->stepFrame(forward);
}

void KVideoView::showError(const QString &text)
{
    m_videoSurface->hide();
    m_backgroundLabel->setText(text);
}

QPoint KVideoView::surfacePoint(const QPoint &viewPoint) const
{
    return m_videoSurface->mapFrom(this, viewPoint);
}

bool KVideoView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_backgroundLabel && event->type() == QEvent::Resize) {
        m_videoSurface->setGeometry(m_backgroundLabel->rect());
    } else if (watched == m_videoSurface && event->type() == QEvent::Resize) {
        m_player->setRenderSize(m_videoSurface->size());
    } else if (watched == m_videoSurface && event->type() == QEvent::Paint) {
        const QImage frame = m_player->frame();
        if (frame.isNull())
            return false;
        QPainter painter(m_videoSurface);
        painter.drawImage(m_videoSurface->rect(), frame);
        return true;
    }
    return KAbstractVideoView::eventFilter(watched, event);
}

void KVideoView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        m_player->setRegionOfInterest(QRectF());
        event->accept();
        return;
    }
    const QPoint point = surfacePoint(event->pos());
    if (event->button() == Qt::LeftButton && m_player->isLoaded() &&
        m_player->displayedFrameRect().contains(point)) {
        m_selecting = true;
        m_selectionOrigin = point;
        m_rubberBand->setGeometry(QRect(point, QSize()));
        m_rubberBand->show();
        event->accept();
        return;
    }
    KAbstractVideoView::mousePressEvent(event);
}

void KVideoView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting) {
        KAbstractVideoView::mouseMoveEvent(event);
        return;
    }
    const QRect shown = m_player->displayedFrameRect().toAlignedRect();
    QPoint point = surfacePoint(event->pos());
    point.setX(qBound(shown.left() + 1, point.x(), shown.right() + 1));
    point.setY(qBound(shown.top() + 1, point.y(), shown.bottom() + 1));
    m_rubberBand->setGeometry(QRect(m_selectionOrigin, point).normalized());
    event->accept();
}

void KVideoView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_selecting) {
        KAbstractVideoView::mouseReleaseEvent(event);
        return;
    }
    m_selecting = false;
    m_rubberBand->hide();
    const QRect selection = m_rubberBand->geometry();
    // A click without a drag is not a zoom.
    if (selection.width() >= 4 && selection.height() >= 4) {
        m_player->setRegionOfInterest(QRectF(m_player->toFrame(selection.topLeft()),
                                             m_player->toFrame(selection.bottomRight()))
                                          .normalized());
    }
    event->accept();
}
