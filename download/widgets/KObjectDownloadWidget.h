#pragma once

#include <QDateTime>
#include <QMap>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimeEdit;
class KArchiveInfoAdvancedWidget;
class KArchiveInfoCalendarWidget;
class KCheckBoxHeaderView;
class KObjectHandler;

// The download window of one object: a table of its channels (check box, interval, progress,
// size, speed, time), the interval editors coupled to the archive time-line and calendar, and
// start and stop. Start turns the checked channels and the interval into one download job.
// Keys: Ctrl+Enter starts, Escape stops.
class KObjectDownloadWidget : public QWidget
{
    Q_OBJECT

public:
    // Table columns.
    enum Column { CheckColumn, ChannelColumn, StatusColumn, SizeColumn, SpeedColumn, TimeColumn };
    // Progress bar steps per fragment.
    static constexpr int fragmentSteps = 100;

    explicit KObjectDownloadWidget(QWidget *parent = nullptr);
    // Cancels the job and stops needing the object.
    ~KObjectDownloadWidget() override;

    KObjectHandler *object() const;
    int jobID() const { return m_jobID; }
    bool isDownloading() const { return m_downloading; }
    bool isPopulated() const { return m_populated; }

    QTableWidget *table() const { return m_table; }
    KCheckBoxHeaderView *header() const { return m_header; }
    QDateEdit *dateEdit() const { return m_dateEdit; }
    QTimeEdit *fromTimeEdit() const { return m_fromTimeEdit; }
    QTimeEdit *toTimeEdit() const { return m_toTimeEdit; }
    QPushButton *startButton() const { return m_startButton; }
    QPushButton *stopButton() const { return m_stopButton; }
    KArchiveInfoAdvancedWidget *timeLine() const { return m_timeLine; }
    KArchiveInfoCalendarWidget *calendar() const { return m_calendar; }
    // The row widgets of a channel; null when it has no row.
    QCheckBox *checkBox(const QString &channelID) const;
    QProgressBar *progressBar(const QString &channelID) const;
    QLabel *intervalLabel(const QString &channelID) const;
    QLabel *sizeLabel(const QString &channelID) const;
    QLabel *speedLabel(const QString &channelID) const;
    QLabel *timeLabel(const QString &channelID) const;

signals:
    void populated();

public slots:
    void setObject(KObjectHandler *const objectHandler);
    void setDateTime(QDateTime dateTime);
    void setTableCheckBoxesState(int index, bool state);
    void download();
    void cancel();
    void setEnabled(bool state);
    void setDownloadState(int jobID, int state);
    void setChannelDownloadState(int jobID, QString channelID, int state);
    void setDownloadSizeLabel(int jobID, QString channelID, qlonglong size);
    void setDownloadSpeedLabel(int jobID, QString channelID, qlonglong speed);
    void setDownloadTimeLabel(int jobID, QString channelID, int seconds);
    void setDownloadIntervalLabel(int jobID, QString channelID, QDateTime startTime,
                                  QDateTime stopTime);
    void setProgressStagesCount(int jobID, QString channelID, int count);
    void setProgressStage(int jobID, QString channelID, int stage);
    // The fragment in transfer: the bar moves with the bytes received, not only per fragment.
    void setFragmentProgress(int jobID, QString channelID, int percent);
    void populate();

protected:
    void focusInEvent(QFocusEvent *event) override;

private:
    struct Row
    {
        QCheckBox *checkBox = nullptr;
        QLabel *interval = nullptr;
        QLabel *size = nullptr;
        QLabel *speed = nullptr;
        QLabel *time = nullptr;
        QProgressBar *progress = nullptr;
    };

    void addRow(const QString &channelID, const QString &title);
    // Back from the downloading look: editors, time-line, buttons and check boxes usable.
    void endDownloading();
    void setCheckBoxesEnabled(bool enabled);
    QString objectName() const;
    // The lines the end message adds about channels that failed or found only locked files.
    QString channelReport() const;

    QPointer<KObjectHandler> m_object;
    int m_jobID = -1;
    bool m_downloading = false;
    bool m_populated = false;
    // Set while the editors and the time-line are brought in line, so that neither echoes
    // the other's change back.
    bool m_syncing = false;
    // The last state of each channel of the job (a job whose channels all found nothing is
    // reported as such).
    QMap<QString, int> m_channelStates;

    QMap<QString, Row> m_rows;
    QTableWidget *m_table = nullptr;
    KCheckBoxHeaderView *m_header = nullptr;
    QDateEdit *m_dateEdit = nullptr;
    QTimeEdit *m_fromTimeEdit = nullptr;
    QTimeEdit *m_toTimeEdit = nullptr;
    QPushButton *m_startButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    KArchiveInfoAdvancedWidget *m_timeLine = nullptr;
    KArchiveInfoCalendarWidget *m_calendar = nullptr;
};
