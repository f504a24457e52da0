#pragma once

#include "KStandInPlayerWidget.h"

// Live player of the online tab (channels without video until the view widgets land).
class KOnlineVideoPlayerWidget : public KStandInPlayerWidget
{
    Q_OBJECT

public:
    explicit KOnlineVideoPlayerWidget(QWidget *parent = nullptr);

public slots:
    void play() override;
};
