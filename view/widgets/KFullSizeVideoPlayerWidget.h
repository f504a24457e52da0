#pragma once

#include "KToolWindow.h"

// The frameless, stays-on-top window that holds a player's grid in full-screen mode. Escape
// closes it, which gives the grid back to the player.
class KFullSizeVideoPlayerWidget : public KToolWindow
{
    Q_OBJECT

public:
    explicit KFullSizeVideoPlayerWidget(QWidget *parent = nullptr);
    ~KFullSizeVideoPlayerWidget() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
