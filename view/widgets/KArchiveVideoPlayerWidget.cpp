#include "KArchiveVideoPlayerWidget.h"

#include "KArchiveInfoCalendarWidget.h"
#include "KArchiveInfoWidget.h"
#include "KArchiveVideoView.h"
#include "KObjectHandler.h"
#include "KSlider.h"
#include "KUserLogHandler.h"
#include "KViewHandler.h"

#include <QDateEdit>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>

KArchiveVideoPlayerWidget::KArchiveVideoPlayerWidget(QWidget *parent)
    : KAbstractVideoPlayerWidget(parent),
      m_beginDateTime(QDateTime(QDate::currentDate(), QTime(12, 0)))
{
    QList<KAbstractVideoView *> views;
    for (int i = 0; i < 64; ++i)
        views << new KArchiveVideoView;
    setViews(views);

    const QLocale russian(QLocale::Russian, QLocale::Russia);
    m_calendar = new KArchiveInfoCalendarWidget;
    m_calendar->setLocale(russian);
    m_dateEdit = new QDateEdit(m_beginDateTime.date());
    m_dateEdit->setLocale(russian);
    m_dateEdit->setDisplayFormat(QStringLiteral("dd MMMM yyyy"));
    m_dateEdit->setCalendarPopup(true);
    m_dateEdit->setCalendarWidget(m_calendar);
    m_timeEdit = new QTimeEdit(m_beginDateTime.time());
    m_timeEdit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_timeEdit->setFixedWidth(90);
    m_downloadButton =
        makeButton(QStringLiteral("object_download"),
                   keyToolTip(QStringLiteral("Перейти к загрузке"), QStringLiteral("Ctrl+D")));
    m_timeLine = new KArchiveInfoWidget;

    m_playButton->setToolTip(
        keyToolTip(QStringLiteral("Запуск трансляции\nвсех каналов"), QStringLiteral("Пробел")));
    m_pauseButton->setToolTip(
        keyToolTip(QStringLiteral("Пауза трансляции\nвсех каналов"), QStringLiteral("Пробел")));
    m_stopButton->setToolTip(QStringLiteral("Останов трансляции\nвсех каналов"));

    m_topRow->addWidget(m_titleLabel);
    m_topRow->addStretch();
    const QList<QWidget *> controls = {
        m_playButton,   m_pauseButton, m_stopButton, separator(), m_slowerButton, m_speedLabel,
        m_fasterButton, separator(),   m_dateEdit,   m_timeEdit,  separator(),    m_downloadButton};
    for (QWidget *widget : controls)
        m_controlsRow->addWidget(widget);
    m_controlsRow->addStretch();
    m_controlsRow->addWidget(m_soundButton);
    m_controlsRow->addWidget(m_volumeSlider);
    m_controlsRow->addWidget(m_volumeLabel);
    m_bottomRow->addWidget(m_timeLine);

    connect(m_dateEdit, &QDateEdit::dateChanged, this,
            qOverload<>(&KArchiveVideoPlayerWidget::setBeginDateTime));
    connect(m_timeEdit, &QTimeEdit::timeChanged, this,
            qOverload<>(&KArchiveVideoPlayerWidget::setBeginDateTime));
    connect(m_dateEdit, &QDateEdit::dateChanged, m_timeLine, &KArchiveInfoWidget::collectInfo);
    connect(m_timeEdit, &QTimeEdit::timeChanged, m_timeLine, &KArchiveInfoWidget::setTime);
    connect(m_timeLine, &KArchiveInfoWidget::timeChanged, this, [this](QTime time) {
        // The strip knows minutes only: seconds typed into the time edit stay while the
        // handle stays in their minute.
        const QTime shown = m_timeEdit->time();
        if (time.isValid() && (time.hour() != shown.hour() || time.minute() != shown.minute()))
            m_timeEdit->setTime(time);
    });
    connect(m_timeLine, &KArchiveInfoWidget::sliderReleased, this,
            &KArchiveVideoPlayerWidget::playOnSliderClick);
    connect(m_downloadButton, &QPushButton::clicked, this,
            &KArchiveVideoPlayerWidget::prepareDownload);
    addKey(QKeySequence(Qt::CTRL + Qt::Key_D), [this]() {
        if (m_downloadButton->isEnabled())
            prepareDownload();
    });
    // Tab from the player reaches the moment's editors; the player's own keys (Space, "+",
    // "-") still work there, as the editors have no use for them.
    setTabOrder(this, m_dateEdit);
    setTabOrder(m_dateEdit, m_timeEdit);
    m_dateEdit->installEventFilter(this);
    m_timeEdit->installEventFilter(this);
    KArchiveVideoPlayerWidget::setControlsEnabled(false);
}

KArchiveVideoPlayerWidget::~KArchiveVideoPlayerWidget() = default;

bool KArchiveVideoPlayerWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool playerKey = key->key() == Qt::Key_Space || key->key() == Qt::Key_Plus ||
                               key->key() == Qt::Key_Minus || key->key() == Qt::Key_Equal;
        if (playerKey && !(key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))) {
            // Not taken by the editor: the key goes to the player's shortcut.
            event->ignore();
            return true;
        }
    }
    return KAbstractVideoPlayerWidget::eventFilter(watched, event);
}

void KArchiveVideoPlayerWidget::setControlsEnabled(bool enabled)
{
    setPlaybackControlsEnabled(enabled, {m_dateEdit, m_timeEdit, m_downloadButton, m_timeLine});
}

void KArchiveVideoPlayerWidget::prepareView(KAbstractVideoView *view, const KChannelData &channel)
{
    auto *tile = static_cast<KArchiveVideoView *>(view);
    tile->setObject(m_object);
    tile->setCurrentChannel(channel.name);
    tile->setStreamType(1);
    tile->setBeginDateTime(m_beginDateTime);
}

void KArchiveVideoPlayerWidget::objectChanged()
{
    m_timeLine->setObject(m_object);
    m_timeLine->collectInfo(m_dateEdit->date());
    m_calendar->setObject(m_object);
}

void KArchiveVideoPlayerWidget::play()
{
    if (!m_populated || m_viewCount == 0)
        return;
    for (int i = 0; i < m_viewCount; ++i) {
        auto *tile = static_cast<KArchiveVideoView *>(m_views.at(i));
        tile->play(m_beginDateTime);
        tile->setPlaybackSpeed(m_playbackSpeed);
    }
    m_playButton->setEnabled(false);
    m_pauseButton->setEnabled(true);
    m_stopButton->setEnabled(true);
    setPlaybackState(0);
    m_dateEdit->setReadOnly(true);
    m_timeEdit->setReadOnly(true);
    KUserLogHandler::instance()->write(
        0, QStringLiteral("Просмотр видеоархива\n\n") + QStringLiteral("Время: ") +
               m_dateEdit->date().toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" ") +
               m_timeEdit->time().toString(QStringLiteral("hh:mm")));
}

void KArchiveVideoPlayerWidget::play(QDateTime dateTime)
{
    if (dateTime.isValid()) {
        m_dateEdit->setDate(dateTime.date());
        m_timeEdit->setTime(dateTime.time());
        setBeginDateTime(QDateTime(m_dateEdit->date(), dateTime.time()));
    }
    play();
}

void KArchiveVideoPlayerWidget::stop()
{
    KAbstractVideoPlayerWidget::stop();
    m_dateEdit->setReadOnly(false);
    m_timeEdit->setReadOnly(false);
}

void KArchiveVideoPlayerWidget::setBeginDateTime()
{
    setBeginDateTime(QDateTime(m_dateEdit->date(), m_timeEdit->time()));
}

void KArchiveVideoPlayerWidget::setBeginDateTime(QDateTime dateTime)
{
    m_beginDateTime = dateTime;
    for (int i = 0; i < m_viewCount; ++i)
        static_cast<KArchiveVideoView *>(m_views.at(i))->setBeginDateTime(dateTime);
}

void KArchiveVideoPlayerWidget::playOnSliderClick()
{
    m_beginDateTime = QDateTime(m_dateEdit->date(), m_timeEdit->time());
    KViewHandler::instance()->clearArchiveJobs();
    for (int i = 0; i < m_viewCount; ++i) {
        auto *tile = static_cast<KArchiveVideoView *>(m_views.at(i));
        if (tile->viewState() == 0)
            tile->restart(m_beginDateTime);
    }
}

void KArchiveVideoPlayerWidget::prepareDownload()
{
    if (m_object)
        emit prepareDownloadRequested(m_object, QDateTime(m_dateEdit->date(), m_timeEdit->time()));
}
