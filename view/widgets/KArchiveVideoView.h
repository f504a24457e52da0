#pragma once

#include "KAbstractRecorderVideoView.h"

#include <QDateTime>

// A tile playing its channel's archive from a start time.
class KArchiveVideoView : public KAbstractRecorderVideoView
{
    Q_OBJECT

public:
    explicit KArchiveVideoView(QWidget *parent = nullptr);

    QDateTime beginDateTime() const { return m_beginDateTime; }

public slots:
    void play() override;
    void play(QDateTime dateTime);
    void restart(QDateTime dateTime);
    void setBeginDateTime(QDateTime dateTime);

private:
    QDateTime m_beginDateTime;
};
