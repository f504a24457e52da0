#include "KArchiveVideoPlayerWidget.h"

#include "KObjectHandler.h"
#include "KUserLogHandler.h"

#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>

KArchiveVideoPlayerWidget::KArchiveVideoPlayerWidget(QWidget *parent) : KStandInPlayerWidget(parent)
{
    m_dateTimeEdit = new QDateTimeEdit(QDateTime(QDate::currentDate(), QTime(12, 0)));
    m_dateTimeEdit->setDisplayFormat(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    m_dateTimeEdit->setFixedWidth(170);
    m_dateTimeEdit->setCalendarPopup(true);

    m_downloadButton = new QPushButton;
    m_downloadButton->setFixedSize(35, 35);
    m_downloadButton->setToolTip(QStringLiteral("Перейти к загрузке"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/object_download.png"), QSize(), QIcon::Normal);
    icon.addFile(QStringLiteral(":/object_download_d.png"), QSize(), QIcon::Disabled);
    m_downloadButton->setIcon(icon);
    m_downloadButton->setIconSize(QSize(31, 31));

    auto *row = qobject_cast<QHBoxLayout *>(controlsRow()->layout());
    row->insertWidget(row->count() - 1, m_dateTimeEdit);
    row->insertWidget(row->count() - 1, m_downloadButton);

    connect(m_downloadButton, &QPushButton::clicked, this,
            &KArchiveVideoPlayerWidget::prepareDownload);
    KArchiveVideoPlayerWidget::setControlsEnabled(false);
}

QDateTime KArchiveVideoPlayerWidget::beginDateTime() const
{
    return m_dateTimeEdit->dateTime();
}

void KArchiveVideoPlayerWidget::play()
{
    if (!isPopulated())
        return;
    KStandInPlayerWidget::play();
    m_dateTimeEdit->setReadOnly(true);
    const QDateTime begin = m_dateTimeEdit->dateTime();
    KUserLogHandler::instance()->write(
        0, QStringLiteral("Просмотр видеоархива\n\n") + QStringLiteral("Время: ") +
               begin.date().toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" ") +
               begin.time().toString(QStringLiteral("hh:mm")));
}

void KArchiveVideoPlayerWidget::play(QDateTime dateTime)
{
    if (dateTime.isValid())
        m_dateTimeEdit->setDateTime(dateTime);
    play();
}

void KArchiveVideoPlayerWidget::stop()
{
    KStandInPlayerWidget::stop();
    m_dateTimeEdit->setReadOnly(false);
}

void KArchiveVideoPlayerWidget::setControlsEnabled(bool enabled)
{
    KStandInPlayerWidget::setControlsEnabled(enabled);
    if (m_dateTimeEdit)
        m_dateTimeEdit->setEnabled(enabled);
    if (m_downloadButton)
        m_downloadButton->setEnabled(enabled);
}

void KArchiveVideoPlayerWidget::prepareDownload()
{
    if (object())
        emit prepareDownloadRequested(object(), m_dateTimeEdit->dateTime());
}
