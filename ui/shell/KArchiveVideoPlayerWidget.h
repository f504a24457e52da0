#pragma once

#include "KStandInPlayerWidget.h"

#include <QDateTime>

class QDateTimeEdit;
class QPushButton;

// Archive player of the archive tab (channels and start time without video until the view
// widgets land).
class KArchiveVideoPlayerWidget : public KStandInPlayerWidget
{
    Q_OBJECT

public:
    explicit KArchiveVideoPlayerWidget(QWidget *parent = nullptr);

    QDateTime beginDateTime() const;
    QDateTimeEdit *dateTimeEdit() const { return m_dateTimeEdit; }
    QPushButton *downloadButton() const { return m_downloadButton; }

signals:
    void prepareDownloadRequested(KObjectHandler *const objectHandler, QDateTime dateTime);

public slots:
    void play() override;
    void play(QDateTime dateTime);
    void stop() override;

protected:
    void setControlsEnabled(bool enabled) override;

private slots:
    void prepareDownload();

private:
    QDateTimeEdit *m_dateTimeEdit = nullptr;
    QPushButton *m_downloadButton = nullptr;
};
