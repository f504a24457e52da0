#pragma once

#include "KAbstractRecorderVideoView.h"

// A tile showing its channel live.
class KOnlineVideoView : public KAbstractRecorderVideoView
{
    Q_OBJECT

public:
    explicit KOnlineVideoView(QWidget *parent = nullptr);

public slots:
    void play() override;
};
