#pragma once

#include "KAbstractVideoTabWidget.h"

#include <QDateTime>

class KArchiveVideoPlayerWidget;

// Contents of the archive tab: the archive player, or a waiting page until the player has the
// object's channels.
class KArchiveVideoWidget : public KAbstractVideoTabWidget
{
    Q_OBJECT

public:
    explicit KArchiveVideoWidget(QWidget *parent = nullptr);

    QDateTime requestedDateTime() const { return m_requestedDateTime; }
    KArchiveVideoPlayerWidget *player() const;

signals:
    void prepareDownloadRequested(KObjectHandler *const objectHandler, QDateTime dateTime);

public slots:
    void startPlayback(QDateTime dateTime);

protected:
    void playRequested() override;

private:
    QDateTime m_requestedDateTime;
};
