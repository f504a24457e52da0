#include "KArchiveVideoPlayerWidget.h"

#include "KArchiveInfoCalendarWidget.h"
#include "KArchiveInfoWidget.h"
#include "KObjectHandler.h"
#include "KUserLogHandler.h"

#include <QDateEdit>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QTimeEdit>

namespace {
QFrame *separator()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::VLine);
    return line;
}
} // namespace

KArchiveVideoPlayerWidget::KArchiveVideoPlayerWidget(QWidget *parent)
    : KStandInPlayerWidget(parent), m_beginDateTime(QDateTime(QDate::currentDate(), QTime(12, 0)))
{
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

    m_downloadButton = new QPushButton;
    m_downloadButton->setFixedSize(35, 35);
    m_downloadButton->setToolTip(QStringLiteral("Перейти к загрузке"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/object_download.png"), QSize(), QIcon::Normal);
    icon.addFile(QStringLiteral(":/object_download_d.png"), QSize(), QIcon::Disabled);
    m_downloadButton->setIcon(icon);
    m_downloadButton->setIconSize(QSize(31, 31));

    auto *row = qobject_cast<QHBoxLayout *>(controlsRow()->layout());
    row->insertWidget(row->count() - 1, m_dateEdit);
    row->insertWidget(row->count() - 1, m_timeEdit);
    row->insertWidget(row->count() - 1, separator());
    row->insertWidget(row->count() - 1, m_downloadButton);

    m_timeLine = new KArchiveInfoWidget;
    addBottomWidget(m_timeLine);

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
    KArchiveVideoPlayerWidget::setControlsEnabled(false);
}

void KArchiveVideoPlayerWidget::play()
{
    if (!isPopulated())
        return;
    KStandInPlayerWidget::play();
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
    KStandInPlayerWidget::stop();
    m_dateEdit->setReadOnly(false);
    m_timeEdit->setReadOnly(false);
}

void KArchiveVideoPlayerWidget::setControlsEnabled(bool enabled)
{
    KStandInPlayerWidget::setControlsEnabled(enabled);
    for (QWidget *control :
         {static_cast<QWidget *>(m_dateEdit), static_cast<QWidget *>(m_timeEdit),
          static_cast<QWidget *>(m_downloadButton), static_cast<QWidget *>(m_timeLine)}) {
        if (control)
            control->setEnabled(enabled);
    }
}

void KArchiveVideoPlayerWidget::objectChanged()
{
    m_timeLine->setObject(object());
    m_timeLine->collectInfo(m_dateEdit->date());
    m_calendar->setObject(object());
}

void KArchiveVideoPlayerWidget::setBeginDateTime()
{
    setBeginDateTime(QDateTime(m_dateEdit->date(), m_timeEdit->time()));
}

void KArchiveVideoPlayerWidget::setBeginDateTime(QDateTime dateTime)
{
    m_beginDateTime = dateTime;
}

void KArchiveVideoPlayerWidget::playOnSliderClick()
{
    // The playing channels restart from here once the player shows video.
    setBeginDateTime();
}

void KArchiveVideoPlayerWidget::prepareDownload()
{
    if (object())
        emit prepareDownloadRequested(object(), QDateTime(m_dateEdit->date(), m_timeEdit->time()));
}
