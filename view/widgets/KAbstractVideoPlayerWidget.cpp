#include "KAbstractVideoPlayerWidget.h"

#include "KAbstractArchiveViewWorker.h"
#include "KAbstractVideoView.h"
#include "KFullSizeVideoPlayerWidget.h"
#include "KObjectHandler.h"
#include "KResources.h"
#include "KSettings.h"
#include "KSlider.h"
#include "KVideoViewTableWidget.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

KAbstractVideoPlayerWidget::KAbstractVideoPlayerWidget(QWidget *parent) : QWidget(parent)
{
    KResources::init();
    setAttribute(Qt::WA_DeleteOnClose);
    // The player takes the keyboard (a click on the grid gives it back from an editor); its
    // keys are window shortcuts, so focus here leaves them all free.
    setFocusPolicy(Qt::StrongFocus);

    m_titleLabel = new QLabel(QStringLiteral("Объект в/н не выбран"));
    m_titleLabel->setObjectName(QStringLiteral("titleLabel_S"));
    m_titleLabel->setFixedHeight(22);
    m_grid = new KVideoViewTableWidget;
    m_fullSizeWindow = new KFullSizeVideoPlayerWidget(this);
    m_fullSizeWindow->hide();

    m_playButton = makeButton(QStringLiteral("play"), QStringLiteral("Воспроизведение"));
    m_pauseButton = makeButton(QStringLiteral("pause"), QStringLiteral("Пауза"));
    m_stopButton = makeButton(QStringLiteral("stop"), QStringLiteral("Останов"));
    m_slowerButton = makeButton(
        QStringLiteral("playslower"),
        keyToolTip(QStringLiteral("Уменьшить скорость\nвоспроизведения"), QStringLiteral("-")));
    m_fasterButton = makeButton(
        QStringLiteral("playfaster"),
        keyToolTip(QStringLiteral("Увеличить скорость\nвоспроизведения"), QStringLiteral("+")));
    m_pauseButton->setEnabled(false);
    m_stopButton->setEnabled(false);
    m_speedLabel = new QLabel(QStringLiteral("1x"));
    m_speedLabel->setFixedWidth(25);
    m_speedLabel->setAlignment(Qt::AlignCenter);
    m_soundButton = makeButton(QStringLiteral("sound"), QString(), 22);
    m_soundButton->setCheckable(true);
    m_volumeSlider = new KSlider(Qt::Horizontal);
    m_volumeSlider->setFixedWidth(100);
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setValue(100);
    m_volumeSlider->setTickPosition(QSlider::TicksAbove);
    m_volumeSlider->setTickInterval(25);
    m_volumeLabel = new QLabel(QStringLiteral("100"));
    // Room for "100" in the font the style sheet gives.
    m_volumeLabel->setMinimumWidth(
        m_volumeLabel->fontMetrics().horizontalAdvance(QStringLiteral("100")) + 4);
    m_fullScreenButton =
        makeButton(QStringLiteral("fullscreen"),
                   keyToolTip(QStringLiteral("На весь экран"), QStringLiteral("F11")));
    // Owned by the player from the start: a player that never places a control (the live one
    // has no pause or speed) still deletes it.
    for (QWidget *control : std::initializer_list<QWidget *>{
             m_titleLabel, m_playButton, m_pauseButton, m_stopButton, m_slowerButton,
             m_fasterButton, m_speedLabel, m_soundButton, m_volumeSlider, m_volumeLabel,
             m_fullScreenButton}) {
        control->setParent(this);
    }

    m_sideColumn = new QWidget;
    auto *side = new QVBoxLayout(m_sideColumn);
    side->setContentsMargins(0, 0, 0, 0);
    const struct
    {
        const char *icon;
        const char *toolTip;
        void (KVideoViewTableWidget::*slot)();
    } arrangements[] = {
        {"1view", "1 окно", &KVideoViewTableWidget::set1ViewArrangement},
        {"2views", "2 окна", &KVideoViewTableWidget::set2ViewsArrangement},
        {"4views", "4 окна", &KVideoViewTableWidget::set4ViewsArrangement},
        {"6views", "6 окон", &KVideoViewTableWidget::set6ViewsArrangement},
        {"8views", "8 окон", &KVideoViewTableWidget::set8ViewsArrangement},
        {"12views", "12 окон", &KVideoViewTableWidget::set12ViewsArrangement},
        {"16views", "16 окон", &KVideoViewTableWidget::set16ViewsArrangement},
        {"24views", "24 окна", &KVideoViewTableWidget::set24ViewsArrangement},
    };
    for (const auto &arrangement : arrangements) {
        QPushButton *button = makeButton(QString::fromLatin1(arrangement.icon),
                                         QString::fromUtf8(arrangement.toolTip));
        side->addWidget(button);
        connect(button, &QPushButton::clicked, m_grid, arrangement.slot);
        connect(m_grid, &KVideoViewTableWidget::fullSizeViewEnabled, button,
                &QPushButton::setEnabled);
        m_arrangementButtons << button;
    }
    side->addStretch();
    side->addWidget(m_fullScreenButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_topRow = new QHBoxLayout;
    m_middleRow = new QHBoxLayout;
    m_controlsRow = new QHBoxLayout;
    m_bottomRow = new QHBoxLayout;
    m_middleRow->addWidget(m_grid, 1);
    m_middleRow->addWidget(m_sideColumn);
    layout->addLayout(m_topRow);
    layout->addLayout(m_middleRow, 1);
    layout->addLayout(m_controlsRow);
    layout->addLayout(m_bottomRow);

    connect(m_playButton, &QPushButton::clicked, this, [this]() { play(); });
    connect(m_pauseButton, &QPushButton::clicked, this, [this]() { pause(); });
    connect(m_stopButton, &QPushButton::clicked, this, [this]() { stop(); });
    connect(m_slowerButton, &QPushButton::clicked, this, [this]() { playSlower(); });
    connect(m_fasterButton, &QPushButton::clicked, this, [this]() { playFaster(); });
    connect(m_soundButton, &QPushButton::clicked, this,
            &KAbstractVideoPlayerWidget::setSoundEnabled);
    connect(m_volumeSlider, &QSlider::valueChanged, this, &KAbstractVideoPlayerWidget::setVolume);
    connect(m_volumeSlider, &QSlider::valueChanged, m_volumeLabel,
            static_cast<void (QLabel::*)(int)>(&QLabel::setNum));
    connect(m_fullScreenButton, &QPushButton::clicked, this,
            &KAbstractVideoPlayerWidget::enableFullScreenMode);
    connect(m_fullSizeWindow, &KToolWindow::closed, this,
            &KAbstractVideoPlayerWidget::disableFullScreenMode);

    addKey(QKeySequence(Qt::Key_Space), [this]() { togglePlayback(); });
    addKey(QKeySequence(Qt::Key_Plus), [this]() { playFaster(); });
    addKey(QKeySequence(Qt::Key_Equal), [this]() { playFaster(); });
    addKey(QKeySequence(Qt::Key_Minus), [this]() { playSlower(); });
    addKey(QKeySequence(Qt::Key_F11), [this]() {
        if (isFullScreenMode())
            disableFullScreenMode();
        else
            enableFullScreenMode();
    });

    setSoundEnabled(false);
}

KAbstractVideoPlayerWidget::~KAbstractVideoPlayerWidget()
{
    if (m_object)
        m_object->requireConnection(false);
}

void KAbstractVideoPlayerWidget::setObject(KObjectHandler *const objectHandler)
{
    if (objectHandler == m_object)
        return;
    if (m_playbackState != 2)
        stop();
    for (KAbstractVideoView *view : qAsConst(m_views)) {
        view->stop();
        view->clearChannel();
    }
    m_viewCount = 0;
    m_grid->set12ViewsArrangement();
    setControlsEnabled(false);
    if (m_object) {
        m_object->requireConnection(false);
        disconnect(m_object, &KObjectHandler::connectionStateChanged, this,
                   &KAbstractVideoPlayerWidget::populate);
    }
    m_object = objectHandler;
    m_populated = false;
    m_emptyShown = false;
    if (!objectHandler) {
        m_titleLabel->setText(QStringLiteral("Объект в/н не выбран"));
        return;
    }
    if (objectHandler->recorderType() == 0) {
        // Nothing of the previous object may stay on show (title, time-line, calendar).
        m_titleLabel->setText(objectHandler->name());
        objectChanged();
        return;
    }
    objectHandler->requireConnection(true);
    connect(objectHandler, &KObjectHandler::connectionStateChanged, this,
            &KAbstractVideoPlayerWidget::populate);
    populate();
    objectChanged();
}

void KAbstractVideoPlayerWidget::populate()
{
    if (!m_object || m_populated || !m_object->isConnected())
        return;
    const KObjectData record = m_object->record();
    QString title = record.name;
    if (KSettings::instance()->currentUser().role == 1)
        title += QStringLiteral(" [") + record.group.name + QStringLiteral("]");
    m_titleLabel->setText(title);
    const QMap<QString, KChannelData> channels = m_object->channels();
    m_viewCount = 0;
    for (const KChannelData &channel : channels) {
        if (!channel.available || m_viewCount >= m_views.size())
            continue;
        prepareView(m_views.at(m_viewCount), channel);
        ++m_viewCount;
    }
    if (m_viewCount == 0) {
        // Nothing to show yet: the player stays disabled, says so once, and fills itself when
        // a later connection brings channels.
        if (!m_emptyShown) {
            m_emptyShown = true;
            emit populated();
        }
        return;
    }
    m_grid->fitArrangement(m_viewCount);
    setControlsEnabled(true);
    m_populated = true;
    m_playbackState = 2;
    emit populated();
}

QString KAbstractVideoPlayerWidget::keyToolTip(const QString &text, const QString &key)
{
    return text + QStringLiteral(" (") + key + QLatin1Char(')');
}

QPushButton *KAbstractVideoPlayerWidget::makeButton(const QString &icon, const QString &toolTip,
                                                    int size)
{
    auto *button = new QPushButton;
    button->setFixedSize(size, size);
    button->setIconSize(button->size());
    button->setIcon(KAbstractVideoView::modeIcon(":/" + icon + ".png", ":/" + icon + "_d.png"));
    button->setToolTip(toolTip);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QWidget *KAbstractVideoPlayerWidget::separator()
{
    auto *line = new QFrame;
    line->setFrameStyle(QFrame::VLine);
    return line;
}

void KAbstractVideoPlayerWidget::addKey(const QKeySequence &key,
                                        const std::function<void()> &action)
{
    for (QWidget *owner :
         {static_cast<QWidget *>(this), static_cast<QWidget *>(m_fullSizeWindow)}) {
        auto *shortcut = new QShortcut(key, owner);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [action]() { action(); });
    }
}

QStringList KAbstractVideoPlayerWidget::channelIDs() const
{
    QStringList names;
    for (int i = 0; i < m_viewCount && i < m_views.size(); ++i)
        names << m_views.at(i)->currentChannel().name;
    return names;
}

bool KAbstractVideoPlayerWidget::isFullScreenMode() const
{
    return m_fullSizeWindow->isVisible();
}

void KAbstractVideoPlayerWidget::setViews(const QList<KAbstractVideoView *> &views)
{
    m_views = views;
    m_grid->setViews(views);
}

void KAbstractVideoPlayerWidget::setPlaybackState(int state)
{
    m_playbackState = state;
    emit playbackStateChanged(state);
}

void KAbstractVideoPlayerWidget::setCommonControlsEnabled(bool enabled)
{
    if (enabled) {
        m_soundButton->setChecked(true);
        setSoundEnabled(true);
    }
    m_grid->setEnabled(enabled);
    m_sideColumn->setEnabled(enabled);
    m_soundButton->setEnabled(enabled);
    m_volumeSlider->setEnabled(enabled);
    m_volumeLabel->setEnabled(enabled);
}

void KAbstractVideoPlayerWidget::setPlaybackControlsEnabled(
    bool enabled, std::initializer_list<QWidget *> controls)
{
    setCommonControlsEnabled(enabled);
    for (QWidget *control : controls)
        control->setEnabled(enabled);
    m_speedLabel->setEnabled(enabled);
    m_slowerButton->setEnabled(enabled && m_playbackSpeed > 0);
    m_fasterButton->setEnabled(enabled && m_playbackSpeed < 6);
    m_playButton->setEnabled(enabled);
    m_pauseButton->setEnabled(false);
    m_stopButton->setEnabled(false);
}

void KAbstractVideoPlayerWidget::togglePlayback()
{
    if (!m_playButton->isEnabled() && m_playbackState != 0)
        return;
    if (m_playbackState == 0) {
        if (m_pauseButton->isVisible() || m_pauseButton->isVisibleTo(this))
            pause();
        else
            stop();
    } else if (m_playButton->isEnabled()) {
        play();
    }
}

void KAbstractVideoPlayerWidget::play()
{
    for (int i = 0; i < m_viewCount && i < m_views.size(); ++i) {
        m_views.at(i)->play();
        m_views.at(i)->setPlaybackSpeed(m_playbackSpeed);
    }
    m_playButton->setEnabled(false);
    m_pauseButton->setEnabled(true);
    m_stopButton->setEnabled(true);
    setPlaybackState(0);
}

void KAbstractVideoPlayerWidget::pause()
{
    for (int i = 0; i < m_viewCount && i < m_views.size(); ++i)
        m_views.at(i)->pause();
    m_playButton->setEnabled(true);
    m_pauseButton->setEnabled(false);
    m_stopButton->setEnabled(true);
    setPlaybackState(1);
}

void KAbstractVideoPlayerWidget::stop()
{
    for (int i = 0; i < m_viewCount && i < m_views.size(); ++i)
        m_views.at(i)->stop();
    m_playButton->setEnabled(true);
    m_pauseButton->setEnabled(false);
    m_stopButton->setEnabled(false);
    setPlaybackState(2);
}

void KAbstractVideoPlayerWidget::freeze()
{
    for (int i = 0; i < m_viewCount && i < m_views.size(); ++i)
        m_views.at(i)->pause();
    setPlaybackState(3);
}

void KAbstractVideoPlayerWidget::unfreeze()
{
    for (int i = 0; i < m_viewCount && i < m_views.size(); ++i)
        m_views.at(i)->play();
    setPlaybackState(0);
}

void KAbstractVideoPlayerWidget::setSpeed(int speed)
{
    m_playbackSpeed = speed;
    m_speedLabel->setText(KAbstractArchiveViewWorker::speedText(speed));
    m_slowerButton->setEnabled(speed > 0);
    m_fasterButton->setEnabled(speed < 6);
    for (KAbstractVideoView *view : qAsConst(m_views))
        view->setPlaybackSpeed(speed);
}

void KAbstractVideoPlayerWidget::playFaster()
{
    // Hidden speed buttons (the live player) mean there is no speed to change.
    if (!isVisible() || m_fasterButton->isHidden() || m_playbackSpeed >= 6)
        return;
    setSpeed(m_playbackSpeed + 1);
}

void KAbstractVideoPlayerWidget::playSlower()
{
    if (!isVisible() || m_slowerButton->isHidden() || m_playbackSpeed <= 0)
        return;
    setSpeed(m_playbackSpeed - 1);
}

void KAbstractVideoPlayerWidget::setSoundEnabled(bool enable)
{
    const int iconSide = qRound(m_soundButton->width() * 0.75);
    m_soundButton->setIconSize(QSize(iconSide, iconSide));
    if (enable) {
        m_soundButton->setToolTip(QStringLiteral("Отключить звук\nна всех каналах"));
        m_soundButton->setIcon(KAbstractVideoView::modeIcon(QStringLiteral(":/sound.png"),
                                                            QStringLiteral(":/sound_d.png")));
    } else {
        m_soundButton->setToolTip(QStringLiteral("Включить звук\nна всех каналах"));
        m_soundButton->setIcon(QIcon(QStringLiteral(":/sound_c.png")));
        m_volume = m_volumeSlider->value();
    }
    m_volumeSlider->setEnabled(enable);
    m_volumeLabel->setEnabled(enable);
    for (KAbstractVideoView *view : qAsConst(m_views))
        view->setSoundEnabled(enable);
}

void KAbstractVideoPlayerWidget::setVolume(int volume)
{
    for (int i = 0; i < m_viewCount && i < m_views.size(); ++i)
        m_views.at(i)->setVolume(volume);
}

void KAbstractVideoPlayerWidget::enableFullScreenMode()
{
    if (isFullScreenMode())
        return;
    m_hiddenWindow = QApplication::activeWindow();
    if (m_hiddenWindow && m_hiddenWindow != m_fullSizeWindow)
        m_hiddenWindow->hide();
    m_middleRow->removeWidget(m_grid);
    for (KAbstractVideoView *view : qAsConst(m_views))
        view->setFullScreenMode();
    m_fullSizeWindow->setTitle(QStringLiteral("Полноэкранный режим"));
    if (!m_fullSizeWindow->contentWidget()->layout()) {
        auto *layout = new QVBoxLayout(m_fullSizeWindow->contentWidget());
        layout->setContentsMargins(0, 0, 0, 0);
    }
    m_fullSizeWindow->contentWidget()->layout()->addWidget(m_grid);
    // Also where no window manager makes the window full screen (a kiosk X server).
    if (QScreen *screen = this->screen())
        m_fullSizeWindow->setGeometry(screen->geometry());
    m_fullSizeWindow->showFullScreen();
    m_fullSizeWindow->activateWindow();
}

void KAbstractVideoPlayerWidget::disableFullScreenMode()
{
    if (m_grid->parentWidget() == this)
        return;
    m_fullSizeWindow->contentWidget()->layout()->removeWidget(m_grid);
    m_middleRow->insertWidget(0, m_grid, 1);
    m_fullSizeWindow->hide();
    for (KAbstractVideoView *view : qAsConst(m_views))
        view->setFullScreenMode();
    if (m_hiddenWindow) {
        m_hiddenWindow->show();
        // The keys (Escape, F11) came from the full-screen window: the window back takes them.
        m_hiddenWindow->activateWindow();
    }
}
