#include "KOnlineVideoPlayerWidget.h"

#include "KOnlineVideoView.h"
#include "KSlider.h"
#include "KUserLogHandler.h"
#include "KVideoViewTableWidget.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

KOnlineVideoPlayerWidget::KOnlineVideoPlayerWidget(QWidget *parent)
    : KAbstractVideoPlayerWidget(parent)
{
    QList<KAbstractVideoView *> views;
    for (int i = 0; i < 64; ++i)
        views << new KOnlineVideoView;
    setViews(views);

    m_streamSelector = new QComboBox;
    // As wide as its longest choice in the theme's font, never narrower than the old layout.
    m_streamSelector->setMinimumWidth(175);
    m_streamSelector->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_streamSelector->addItems({QStringLiteral("Основной поток"),
                                QStringLiteral("Дополнительный поток"), QStringLiteral("Авто")});
    m_streamSelector->setCurrentIndex(AutoStream);

    m_playButton->setToolTip(
        keyToolTip(QStringLiteral("Запуск трансляции\nвсех каналов"), QStringLiteral("Пробел")));
    m_stopButton->setToolTip(
        keyToolTip(QStringLiteral("Останов трансляции\nвсех каналов"), QStringLiteral("Пробел")));
    m_pauseButton->hide();
    m_slowerButton->hide();
    m_fasterButton->hide();
    m_speedLabel->hide();

    m_topRow->addWidget(m_titleLabel);
    m_topRow->addStretch();
    m_controlsRow->addWidget(m_playButton);
    m_controlsRow->addWidget(m_stopButton);
    m_controlsRow->addWidget(separator());
    m_controlsRow->addWidget(m_streamSelector);
    m_controlsRow->addStretch();
    m_controlsRow->addWidget(m_soundButton);
    m_controlsRow->addWidget(m_volumeSlider);
    m_controlsRow->addWidget(m_volumeLabel);
    auto *bottom = new QWidget;
    bottom->setFixedHeight(70);
    m_bottomRow->addWidget(bottom);

    connect(m_streamSelector, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &KOnlineVideoPlayerWidget::setStreamType);
    connect(m_grid, &KVideoViewTableWidget::arrangementChanged, this,
            &KOnlineVideoPlayerWidget::applyStreams);
    KOnlineVideoPlayerWidget::setControlsEnabled(false);
}

KOnlineVideoPlayerWidget::~KOnlineVideoPlayerWidget() = default;

void KOnlineVideoPlayerWidget::setControlsEnabled(bool enabled)
{
    setCommonControlsEnabled(enabled);
    m_streamSelector->setEnabled(enabled);
    m_playButton->setEnabled(enabled);
    m_stopButton->setEnabled(false);
}

void KOnlineVideoPlayerWidget::prepareView(KAbstractVideoView *view, const KChannelData &channel)
{
    auto *tile = static_cast<KOnlineVideoView *>(view);
    tile->setObject(m_object);
    tile->setCurrentChannel(channel.name);
    // The stream the selector shows, so that a new object keeps the operator's choice.
    tile->setStreamType(streamFor(m_views.indexOf(view)));
}

int KOnlineVideoPlayerWidget::streamFor(int index) const
{
    const int choice = m_streamSelector->currentIndex();
    if (choice != AutoStream)
        return choice;
    const int arrangement = m_grid->arrangement();
    if (arrangement == 0)
        return index == m_grid->fullWindowIndex() ? MainStream : SubStream;
    // Tiles that do not fit play on hidden: the cheaper stream.
    const QSize grid = KVideoViewTableWidget::gridSize(arrangement);
    const int cells = grid.width() * grid.height();
    return index < cells && cells < 4 ? MainStream : SubStream;
}

void KOnlineVideoPlayerWidget::applyStreams()
{
    for (int i = 0; i < m_views.size(); ++i) {
        auto *tile = static_cast<KOnlineVideoView *>(m_views.at(i));
        const int type = streamFor(i);
        if (tile->streamType() != type)
            tile->setStreamType(type);
    }
}

void KOnlineVideoPlayerWidget::play()
{
    if (!m_populated || m_viewCount == 0)
        return;
    KAbstractVideoPlayerWidget::play();
    KUserLogHandler::instance()->write(0, QStringLiteral("Просмотр онлайн-трансляции"));
}

void KOnlineVideoPlayerWidget::setStreamType(int)
{
    applyStreams();
}
