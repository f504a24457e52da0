#pragma once

#include "KToolWindow.h"

class QPushButton;

// The about window: icon, name, version and the maker's contact lines.
class KAppInfoWidget : public KToolWindow
{
    Q_OBJECT

public:
    explicit KAppInfoWidget(QWidget *parent = nullptr);

    QPushButton *closeWindowButton() const { return m_closeWindowButton; }

private:
    QPushButton *m_closeWindowButton = nullptr;
};
