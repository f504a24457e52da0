#pragma once

#include "KAbstractVideoPlayerWidget.h"

#include <QDateTime>

class KArchiveInfoCalendarWidget;
class KArchiveInfoWidget;
class QDateEdit;
class QTimeEdit;

// The archive player of the archive tab: the date (with the archive calendar), the time and the
// day's time-line pick the moment every channel plays from. Ctrl+D asks for the download tab.
class KArchiveVideoPlayerWidget : public KAbstractVideoPlayerWidget
{
    Q_OBJECT

public:
    explicit KArchiveVideoPlayerWidget(QWidget *parent = nullptr);
    ~KArchiveVideoPlayerWidget() override;

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
    bool eventFilter(QObject *watched, QEvent *event) override;
    void setControlsEnabled(bool enabled) override;
    void prepareView(KAbstractVideoView *view, const KChannelData &channel) override;
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
