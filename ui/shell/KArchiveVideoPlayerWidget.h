#pragma once

#include "KStandInPlayerWidget.h"

#include <QDateTime>

class KArchiveInfoCalendarWidget;
class KArchiveInfoWidget;
class QDateEdit;
class QPushButton;
class QTimeEdit;

// Archive player of the archive tab: the date (with the archive calendar), the time and the
// day's time-line pick the moment to play from (channels without video until the view
// widgets land).
class KArchiveVideoPlayerWidget : public KStandInPlayerWidget
{
    Q_OBJECT

public:
    explicit KArchiveVideoPlayerWidget(QWidget *parent = nullptr);

    QDateTime beginDateTime() const { return m_beginDateTime; }
    QDateEdit *dateEdit() const { return m_dateEdit; }
    QTimeEdit *timeEdit() const { return m_timeEdit; }
    KArchiveInfoCalendarWidget *calendar() const { return m_calendar; }
    KArchiveInfoWidget *timeLine() const { return m_timeLine; }
    QPushButton *downloadButton() const { return m_downloadButton; }

signals:
    void prepareDownloadRequested(KObjectHandler *const objectHandler, QDateTime dateTime);

public slots:
    void play() override;
    void play(QDateTime dateTime);
    void stop() override;

protected:
    void setControlsEnabled(bool enabled) override;
    void objectChanged() override;

private slots:
    void setBeginDateTime();
    void setBeginDateTime(QDateTime dateTime);
    void playOnSliderClick();
    void prepareDownload();

private:
    QDateEdit *m_dateEdit = nullptr;
    QTimeEdit *m_timeEdit = nullptr;
    KArchiveInfoCalendarWidget *m_calendar = nullptr;
    KArchiveInfoWidget *m_timeLine = nullptr;
    QPushButton *m_downloadButton = nullptr;
    QDateTime m_beginDateTime;
};
