#include "KAbstractVideoView.h"

#include "KResources.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

KAbstractVideoView::KAbstractVideoView(QWidget *parent) : QWidget(parent)
{
    KResources::init();
    setAttribute(Qt::WA_Hover);

    m_backgroundLabel = new QLabel(QStringLiteral("Нет канала"));
    m_backgroundLabel->setObjectName(QStringLiteral("videoView"));
    m_backgroundLabel->setStyleSheet(QStringLiteral("border-top: 0px"));
    m_backgroundLabel->setAlignment(Qt::AlignCenter);
    m_backgroundLabel->setEnabled(false);

    m_videoSurface = new QLabel(m_backgroundLabel);
    m_videoSurface->setObjectName(QStringLiteral("videoView"));
    m_videoSurface->setStyleSheet(QStringLiteral("border: 0px"));
    m_videoSurface->setAlignment(Qt::AlignCenter);
    m_videoSurface->hide();

    m_topBar = new QWidget;
    m_topBar->setObjectName(QStringLiteral("channelWidget"));
    m_topBar->setStyleSheet(QStringLiteral("border-bottom: 0px"));
    m_topBar->setFixedHeight(20);
    m_topBar->hide();
    m_titleLabel = new QLabel;
    m_titleLabel->setObjectName(QStringLiteral("channelWidget"));
    m_titleLabel->setStyleSheet(
        QStringLiteral("border: 0px; border-radius: 0px; background-color: transparent;"));
    m_titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_channelSelector = new QComboBox;
    m_channelSelector->setObjectName(QStringLiteral("channelSelector"));
    m_channelSelector->setFixedSize(90, 19);
    m_channelSelector->setEditable(true);
    m_channelSelector->lineEdit()->setReadOnly(true);
    m_channelSelector->lineEdit()->setAlignment(Qt::AlignCenter);
    auto *topLayout = new QHBoxLayout(m_topBar);
    topLayout->setContentsMargins(2, 1, 1, 0);
    topLayout->setSpacing(1);
    topLayout->addWidget(m_titleLabel);
    topLayout->addWidget(m_channelSelector);

    m_controlBar = new QWidget(this);
    m_controlBar->setObjectName(QStringLiteral("channelWidget"));
    m_controlBar->setStyleSheet(QStringLiteral("border: 0px"));
    m_controlBar->hide();
    auto *controls = new QHBoxLayout(m_controlBar);
    controls->setContentsMargins(1, 0, 1, 0);
    controls->setSpacing(1);
    m_playButton =
        addButton(controls, QStringLiteral("play"), QStringLiteral("Запуск трансляции канала"));
    m_pauseButton =
        addButton(controls, QStringLiteral("pause"), QStringLiteral("Пауза трансляции канала"));
    m_stopButton =
        addButton(controls, QStringLiteral("stop"), QStringLiteral("Останов трансляции канала"));
    controls->addStretch();
    m_soundButton = addButton(controls, QStringLiteral("sound"), QStringLiteral("Отключить звук"));
    m_soundButton->setCheckable(true);
    m_snapshotButton =
        addButton(controls, QStringLiteral("snapshot"), QStringLiteral("Сохранить снимок окна"));
    m_maximizeButton =
        addButton(controls, QStringLiteral("maximize"), QStringLiteral("Развернуть"));
    m_pauseButton->setEnabled(false);
    m_stopButton->setEnabled(false);
    m_snapshotButton->setEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_topBar);
    layout->addWidget(m_backgroundLabel);
    m_controlBar->raise();

    connect(m_playButton, &QPushButton::clicked, this, [this]() { play(); });
    connect(m_pauseButton, &QPushButton::clicked, this, [this]() { pause(); });
    connect(m_stopButton, &QPushButton::clicked, this, [this]() { stop(); });
    connect(m_soundButton, &QPushButton::clicked, this,
            [this](bool checked) { setSoundEnabled(checked); });
    connect(m_snapshotButton, &QPushButton::clicked, this, [this]() { takeSnapshot(); });
    connect(m_maximizeButton, &QPushButton::clicked, this, &KAbstractVideoView::setFullWindowMode);
    connect(m_channelSelector, &QComboBox::currentTextChanged, this,
            [this](const QString &text) { setCurrentChannel(text); });
}

KAbstractVideoView::~KAbstractVideoView() = default;

QIcon KAbstractVideoView::modeIcon(const QString &normal, const QString &disabled)
{
    QIcon icon;
    icon.addPixmap(QPixmap(normal), QIcon::Normal);
    icon.addPixmap(QPixmap(disabled), QIcon::Disabled);
    return icon;
}

QPushButton *KAbstractVideoView::addButton(QHBoxLayout *layout, const QString &icon,
                                           const QString &toolTip)
{
    auto *button = new QPushButton;
    button->setObjectName(QStringLiteral("videoViewButton"));
    button->setFixedSize(20, 20);
    button->setIconSize(button->size());
    button->setIcon(modeIcon(":/" + icon + "_d.png", ":/" + icon + ".png"));
    button->setToolTip(toolTip);
    layout->addWidget(button);
    return button;
}

void KAbstractVideoView::setChannels(const QMap<QString, KChannelData> &channels)
{
    m_channels = channels;
    m_channelSelector->clear();
    for (const KChannelData &channel : channels) {
        if (channel.available)
            m_channelSelector->addItem(channel.name);
    }
}

void KAbstractVideoView::setCurrentChannel(QString channelID)
{
    const auto found = m_channels.constFind(channelID);
    if (found == m_channels.constEnd() || !found->available)
        return;
    m_currentChannel = *found;
    m_backgroundLabel->setEnabled(true);
    m_backgroundLabel->setText(QString());
    if (m_channelSelector->currentText() != found->name)
        m_channelSelector->setCurrentText(found->name);
    m_titleLabel->setText(found->title);
    m_topBar->show();
    m_hasChannel = true;
}

void KAbstractVideoView::clearChannel()
{
    m_currentChannel = KChannelData();
    m_backgroundLabel->setEnabled(false);
    m_backgroundLabel->setText(QStringLiteral("Нет канала"));
    m_topBar->hide();
    m_hasChannel = false;
}

void KAbstractVideoView::play()
{
    m_viewState = 0;
    m_snapshotButton->setEnabled(true);
    m_videoSurface->show();
    m_playButton->setEnabled(false);
    m_pauseButton->setEnabled(true);
    m_stopButton->setEnabled(true);
    m_channelSelector->setEnabled(false);
}

void KAbstractVideoView::pause()
{
    m_viewState = 1;
    m_playButton->setEnabled(true);
    m_pauseButton->setEnabled(false);
    m_stopButton->setEnabled(true);
    m_channelSelector->setEnabled(false);
}

void KAbstractVideoView::stop()
{
    m_viewState = 2;
    m_snapshotButton->setEnabled(false);
    m_videoSurface->hide();
    m_playButton->setEnabled(true);
    m_pauseButton->setEnabled(false);
    m_stopButton->setEnabled(false);
    m_channelSelector->setEnabled(true);
}

void KAbstractVideoView::setPlaybackSpeed(int speed)
{
    m_playbackSpeed = speed;
}

void KAbstractVideoView::setSoundEnabled(bool enable)
{
    m_soundEnabled = enable;
    if (enable) {
        m_soundButton->setToolTip(QStringLiteral("Отключить звук"));
        m_soundButton->setIcon(
            modeIcon(QStringLiteral(":/sound_d.png"), QStringLiteral(":/sound.png")));
    } else {
        m_soundButton->setToolTip(QStringLiteral("Включить звук"));
        m_soundButton->setIcon(
            modeIcon(QStringLiteral(":/sound_cd.png"), QStringLiteral(":/sound_c.png")));
    }
}

void KAbstractVideoView::setFullScreenMode()
{
    m_controlsVisible = !m_controlsVisible;
    m_controlBar->setVisible(m_controlsVisible);
}

void KAbstractVideoView::setFullWindowMode()
{
    m_fullWindowMode = !m_fullWindowMode;
    if (m_fullWindowMode) {
        m_controlBar->show();
        m_maximizeButton->setIcon(
            modeIcon(QStringLiteral(":/minimize_d.png"), QStringLiteral(":/minimize.png")));
        m_maximizeButton->setToolTip(QStringLiteral("Свернуть"));
    } else {
        m_maximizeButton->setIcon(
            modeIcon(QStringLiteral(":/maximize_d.png"), QStringLiteral(":/maximize.png")));
        m_maximizeButton->setToolTip(QStringLiteral("Развернуть"));
    }
    emit setFullWindowModeRequested();
}

void KAbstractVideoView::showSnapshotSaveResultMessage(bool success)
{
    auto *label = new QLabel(
        success ? QStringLiteral("Снимок сохранен") : QStringLiteral("Ошибка сохранения!"), this);
    label->setAlignment(Qt::AlignCenter);
    label->setObjectName(QStringLiteral("channelWidget"));
    label->setStyleSheet(QStringLiteral("border: 0px"));
    label->setGeometry(1, height() / 2 - 10, width() - 2, 20);
    label->show();
    m_snapshotMessage = label;
    QPointer<QLabel> guard(label);
    QTimer::singleShot(2000, this, [this, guard]() {
        if (m_snapshotMessage == guard)
            m_snapshotMessage = nullptr;
        delete guard.data();
    });
}

bool KAbstractVideoView::event(QEvent *event)
{
    if (m_hasChannel && isEnabled()) {
        if (event->type() == QEvent::HoverEnter) {
            m_controlBar->show();
            return true;
        }
        if (event->type() == QEvent::HoverLeave) {
            m_controlBar->hide();
            return true;
        }
    }
    return QWidget::event(event);
}

void KAbstractVideoView::mouseDoubleClickEvent(QMouseEvent *event)
{
    setFullWindowMode();
    event->accept();
}

void KAbstractVideoView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        setFullWindowMode();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void KAbstractVideoView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_controlBar->setGeometry(1, height() - 21, width() - 2, 20);
}
