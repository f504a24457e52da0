#include "KVideoPlayerWidget.h"

#include "KMpvPlayer.h"
#include "KSettings.h"
#include "KSlider.h"
#include "KVideoMarkerAreaWidget.h"
#include "KVideoMarkerTableWidget.h"
#include "KVideoTableWidget.h"
#include "KVideoView.h"
#include "KVideoViewTableWidget.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kNoSet = QStringLiteral("Нет открытого набора видеофайлов");
const QString kTimeFormat = QStringLiteral("HH:mm:ss");

QPushButton *wideButton(const QString &icon, const QString &text, const QString &toolTip)
{
    auto *button = new QPushButton(
        KAbstractVideoView::modeIcon(":/" + icon + ".png", ":/" + icon + "_d.png"), text);
    button->setFixedSize(125, 22);
    button->setStyleSheet(QStringLiteral("text-align: left;"));
    button->setToolTip(toolTip);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

KVideoPlayerWidget::KVideoPlayerWidget(QWidget *parent) : KAbstractVideoPlayerWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    QList<KAbstractVideoView *> views;
    for (int i = 0; i < 64; ++i)
        views << new KVideoView;
    setViews(views);

    m_titleLabel->setText(kNoSet);
    m_openSetButton =
        wideButton(QStringLiteral("openvideoset"), QStringLiteral("Открыть набор"),
                   keyToolTip(QStringLiteral("Открыть набор"), QStringLiteral("Ctrl+O")));
    m_folderButton = wideButton(QStringLiteral("folder"), QStringLiteral("Открыть папку"),
                                QStringLiteral("Открыть папку набора"));
    m_markersButton = wideButton(QStringLiteral("mark"), QStringLiteral("Метки"),
                                 keyToolTip(QStringLiteral("Метки"), QStringLiteral("Ctrl+M")));
    m_timeLabel = new QLabel(QStringLiteral("00:00:00/00:00:00"));
    m_timeLabel->setFixedHeight(22);
    m_slider = new KSlider(Qt::Horizontal);
    m_slider->setFocusPolicy(Qt::NoFocus);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setToolTip(QStringLiteral("Положение воспроизведения (←/→: 5 секунд; "
                                        "«.»/«,»: пауза и кадр вперёд/назад)"));
    m_repeatButton = makeButton(QStringLiteral("update"),
                                keyToolTip(QStringLiteral("Зациклить"), QStringLiteral("Ctrl+L")));
    m_repeatButton->setCheckable(true);
    m_markerTable = new KVideoMarkerTableWidget(this);
    m_markerTable->hide();
    m_markerArea = new KVideoMarkerAreaWidget(m_markerTable);

    m_playButton->setToolTip(
        keyToolTip(QStringLiteral("Воспроизведение\nвсех каналов"), QStringLiteral("Пробел")));
    m_pauseButton->setToolTip(
        keyToolTip(QStringLiteral("Пауза\nвсех каналов"), QStringLiteral("Пробел")));
    m_stopButton->setToolTip(QStringLiteral("Останов\nвсех каналов"));

    for (QWidget *widget :
         {static_cast<QWidget *>(m_openSetButton), static_cast<QWidget *>(m_folderButton),
          static_cast<QWidget *>(m_markersButton), static_cast<QWidget *>(m_titleLabel)})
        m_topRow->addWidget(widget);
    m_topRow->addStretch();
    auto *sliderRow = new QHBoxLayout;
    sliderRow->addWidget(m_timeLabel);
    sliderRow->addWidget(m_slider, 1);
    static_cast<QVBoxLayout *>(layout())->insertLayout(2, sliderRow);
    for (QWidget *widget :
         {static_cast<QWidget *>(m_playButton), static_cast<QWidget *>(m_pauseButton),
          static_cast<QWidget *>(m_stopButton), separator(), static_cast<QWidget *>(m_slowerButton),
          static_cast<QWidget *>(m_speedLabel), static_cast<QWidget *>(m_fasterButton), separator(),
          static_cast<QWidget *>(m_repeatButton)})
        m_controlsRow->addWidget(widget);
    m_controlsRow->addStretch();
    m_controlsRow->addWidget(m_soundButton);
    m_controlsRow->addWidget(m_volumeSlider);
    m_controlsRow->addWidget(m_volumeLabel);
    m_bottomRow->addWidget(m_markerArea);

    connect(m_openSetButton, &QPushButton::clicked, this,
            &KVideoPlayerWidget::openVideoTableWindow);
    connect(m_folderButton, &QPushButton::clicked, this, &KVideoPlayerWidget::openFolder);
    connect(m_markersButton, &QPushButton::clicked, this, &KVideoPlayerWidget::openMarkersWindow);
    connect(m_repeatButton, &QPushButton::clicked, this, &KVideoPlayerWidget::repeat);
    // Dragging only shows the moment; the tiles seek once, where the handle is let go.
    connect(m_slider, &QSlider::sliderMoved, this, [this](int position) { showTime(position); });
    connect(m_slider, &QSlider::sliderReleased, this, [this]() { setPosition(m_slider->value()); });
    connect(m_markerTable, &KVideoMarkerTableWidget::play, this, &KVideoPlayerWidget::setPosition);
    connect(&m_syncTimer, &QTimer::timeout, this, &KVideoPlayerWidget::syncronize);

    addKey(QKeySequence(Qt::CTRL | Qt::Key_O), [this]() { openVideoTableWindow(); });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_M), [this]() {
        if (m_markersButton->isEnabled())
            openMarkersWindow();
    });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_L), [this]() {
        if (m_repeatButton->isEnabled())
            m_repeatButton->click();
    });
    addKey(QKeySequence(Qt::Key_Left), [this]() { seekBy(-5000); });
    addKey(QKeySequence(Qt::Key_Right), [this]() { seekBy(5000); });
    addKey(QKeySequence(Qt::Key_Period), [this]() { stepFrame(true); });
    addKey(QKeySequence(Qt::Key_Comma), [this]() { stepFrame(false); });

    KVideoPlayerWidget::setControlsEnabled(false);
    m_folderButton->setEnabled(false);
    m_markersButton->setEnabled(false);
    m_syncTimer.start(250);
}

KVideoPlayerWidget::~KVideoPlayerWidget() = default;

KVideoView *KVideoPlayerWidget::view(int index) const
{
    return index >= 0 && index < m_views.size() ? static_cast<KVideoView *>(m_views.at(index))
                                                : nullptr;
}

QSlider *KVideoPlayerWidget::slider() const
{
    return m_slider;
}

QList<qint64> KVideoPlayerWidget::positions() const
{
    QList<qint64> result;
    for (int i = 0; i < m_viewCount; ++i) {
        if (view(i)->player()->isLoaded())
            result << view(i)->player()->position();
    }
    return result;
}

void KVideoPlayerWidget::setControlsEnabled(bool enabled)
{
    setPlaybackControlsEnabled(enabled, {m_slider, m_repeatButton, m_timeLabel});
}

void KVideoPlayerWidget::prepareView(KAbstractVideoView *view, const KChannelData &channel)
{
    auto *tile = static_cast<KVideoView *>(view);
    tile->setVideoSet(m_videoSet, channel.name);
    tile->setRepeat(m_repeat);
}

void KVideoPlayerWidget::populate(KVideoSetData videoSetData)
{
    if (m_playbackState != 2)
        stop();
    setMaster(-1);
    for (KAbstractVideoView *tile : qAsConst(m_views)) {
        tile->stop();
        tile->clearChannel();
    }
    m_markerTable->setVideoSet(KVideoSetData());
    m_markerArea->setInterval(QDateTime(), QDateTime());
    m_timeLabel->setText(QStringLiteral("00:00:00/00:00:00"));
    setControlsEnabled(false);
    m_folderButton->setEnabled(false);
    m_markersButton->setEnabled(false);
    m_videoSet = videoSetData;
    m_viewCount = 0;
    m_duration = 0;
    m_startPosition = 0;
    for (const KChannelData &channel : qAsConst(videoSetData.channels)) {
        if (!channel.available || m_viewCount >= m_views.size())
            continue;
        prepareView(m_views.at(m_viewCount), channel);
        ++m_viewCount;
    }
    m_grid->fitArrangement(m_viewCount);
    m_populated = m_viewCount > 0;
    if (m_viewCount == 0) {
        m_titleLabel->setText(kNoSet);
        return;
    }
    setControlsEnabled(true);
    const QDateTime &begin = m_videoSet.beginDateTime;
    const QDateTime &end = m_videoSet.endDateTime;
    m_titleLabel->setText(m_videoSet.objectName + QStringLiteral(": ") +
                          begin.toString(QStringLiteral("yyyy.MM.dd")) + QStringLiteral(", ") +
                          begin.toString(kTimeFormat) + QStringLiteral(" - ") +
                          end.toString(kTimeFormat));
    m_folderButton->setEnabled(true);
    m_markersButton->setEnabled(true);
    m_duration = int(qBound<qint64>(0, begin.secsTo(end), INT_MAX / 1000) * 1000);
    m_markerTable->setVideoSet(m_videoSet);
    m_markerArea->setInterval(begin, end);
    m_slider->setRange(0, m_duration);
    // Minute ticks stay readable up to two hours (a 90-minute set has them).
    m_slider->setTickInterval(m_duration <= 60000 ? 1000 : m_duration <= 7200000 ? 60000 : 3600000);
    m_slider->setValue(0);
    showTime(0);
    play();
}

void KVideoPlayerWidget::setPosition(int position)
{
    if (m_viewCount == 0)
        return;
    // A jump while stopped starts playback there.
    if (m_playbackState == 2)
        play();
    for (int i = 0; i < m_viewCount; ++i)
        view(i)->setPosition(position);
    m_startPosition = position;
    m_slider->setValue(position);
    showTime(position);
}

void KVideoPlayerWidget::play()
{
    if (m_viewCount == 0)
        return;
    KAbstractVideoPlayerWidget::play();
}

void KVideoPlayerWidget::pause()
{
    KAbstractVideoPlayerWidget::pause();
    // The tiles stop a moment apart: show all of them at the master's picture.
    const KVideoView *master = view(m_masterIndex);
    if (!master)
        return;
    const qint64 position = master->player()->position();
    for (int i = 0; i < m_viewCount; ++i)
        view(i)->setPosition(int(position));
}

void KVideoPlayerWidget::stop()
{
    KAbstractVideoPlayerWidget::stop();
    setMaster(-1);
    m_slider->setValue(0);
    m_startPosition = 0;
    if (m_viewCount > 0)
        showTime(0);
}

void KVideoPlayerWidget::setMaster(int index)
{
    if (KVideoView *old = view(m_masterIndex))
        disconnect(old, &KVideoView::positionChanged, this, &KVideoPlayerWidget::setSliderPosition);
    m_masterIndex = index;
    if (KVideoView *master = view(index))
        connect(master, &KVideoView::positionChanged, this, &KVideoPlayerWidget::setSliderPosition);
}

void KVideoPlayerWidget::syncronize()
{
    if (m_viewCount == 0)
        return;
    const auto playing = [](KVideoView *tile) {
        return tile->viewState() == 0 && tile->player()->isLoaded();
    };
    KVideoView *master = view(m_masterIndex);
    if (master && playing(master)) {
        if (master->position() != 0)
            m_startPosition = master->position();
    } else {
        int chosen = -1;
        for (int i = 0; i < m_viewCount && chosen < 0; ++i) {
            if (playing(view(i)))
                chosen = i;
        }
        for (int i = 0; i < m_viewCount && chosen < 0; ++i) {
            if (view(i)->viewState() == 1 && view(i)->player()->position() > 0)
                chosen = i;
        }
        if (chosen < 0)
            return;
        if (chosen != m_masterIndex)
            setMaster(chosen);
        master = view(chosen);
        m_startPosition = master->position();
    }
    if (m_playbackState != 0 || !playing(master) || master->player()->isSeeking())
        return;
    // Files a little shorter than the set never reach the last second: stop when all ended.
    bool allEnded = !m_repeat;
    for (int i = 0; i < m_viewCount; ++i) {
        if (view(i)->player()->isLoaded() && !view(i)->player()->isEndReached())
            allEnded = false;
    }
    if (allEnded) {
        stop();
        return;
    }
    const double speed = KVideoView::speedFactor(m_playbackSpeed);
    const qint64 position = master->position();
    for (int i = 0; i < m_viewCount; ++i) {
        if (i != m_masterIndex)
            view(i)->followPosition(position, speed);
    }
}

void KVideoPlayerWidget::setStartPosition(qlonglong position)
{
    m_startPosition = position;
}

void KVideoPlayerWidget::repeat()
{
    m_repeat = m_repeatButton->isChecked();
    for (int i = 0; i < m_viewCount; ++i)
        view(i)->setRepeat(m_repeat);
    m_repeatButton->setIcon(KAbstractVideoView::modeIcon(m_repeat ? QStringLiteral(":/update_p.png")
                                                                  : QStringLiteral(":/update.png"),
                                                         QStringLiteral(":/update_d.png")));
}

void KVideoPlayerWidget::openVideoTableWindow()
{
    stop();
    populate(KVideoSetData());
    m_titleLabel->setText(kNoSet);
    if (!m_videoTable) {
        m_videoTable = new KVideoTableWidget(this);
        connect(m_videoTable, &KVideoTableWidget::videoSelected, this,
                &KVideoPlayerWidget::populate);
    }
    m_videoTable->refreshFiles();
    m_videoTable->resize(KSettings::instance()->windowRect().size());
    m_videoTable->show();
}

void KVideoPlayerWidget::setSliderPosition(qlonglong position)
{
    if (!m_slider->isSliderDown())
        m_slider->setValue(int(position));
    if (m_duration >= 1 && position >= m_duration - 1000 && !m_repeat && m_playbackState == 0) {
        stop();
        return;
    }
    showTime(position);
}

void KVideoPlayerWidget::showTime(qint64 position)
{
    m_currentTime = m_videoSet.beginDateTime.time().addMSecs(int(position));
    m_markerTable->setCurrentTime(m_currentTime);
    m_timeLabel->setText(m_currentTime.toString(kTimeFormat) + QLatin1Char('/') +
                         m_videoSet.endDateTime.toString(kTimeFormat));
}

void KVideoPlayerWidget::openFolder()
{
    if (!m_videoSet.path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_videoSet.path));
}

void KVideoPlayerWidget::openMarkersWindow()
{
    m_markerTable->show();
}

qint64 KVideoPlayerWidget::currentPosition() const
{
    const KVideoView *master = view(m_masterIndex);
    return master ? master->position() : m_startPosition;
}

void KVideoPlayerWidget::seekBy(int offset)
{
    if (m_viewCount == 0 || m_playbackState == 2)
        return;
    setPosition(int(qBound<qint64>(0, currentPosition() + offset, qMax(0, m_duration - 1))));
}

void KVideoPlayerWidget::stepFrame(bool forward)
{
    // As in video players: while playing, the first press pauses and steps.
    if (m_playbackState == 0)
        pause();
    const KVideoView *master = view(m_masterIndex >= 0 ? m_masterIndex : 0);
    if (m_playbackState != 1 || !master)
        return;
    const double frame = master->player()->frameDuration();
    if (frame <= 0) {
        for (int i = 0; i < m_viewCount; ++i)
            view(i)->stepFrame(forward);
        return;
    }
    // Every tile seeks exactly to the next (or previous) picture of the master's: one target for
    // all keeps them in step, where a step of each player's own would be lost to a seek still
    // under way (the pause lines them up by seeking) and leave that tile apart.
    const qint64 shown = master->player()->position();
    const qint64 index = qMax<qint64>(0, qRound64(double(shown) / frame) + (forward ? 1 : -1));
    // A quarter of a frame before the picture: exact seeks show the first picture at or after
    // the moment, whatever the rounding of the milliseconds.
    const qint64 target = qMax<qint64>(0, qRound64((double(index) - 0.25) * frame));
    if (m_duration > 0 && target >= m_duration)
        return;
    for (int i = 0; i < m_viewCount; ++i)
        view(i)->setPosition(int(target));
}
