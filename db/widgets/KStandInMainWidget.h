#pragma once

#include "KToolWindow.h"

// Placeholder main window used until a real one is installed through the login hooks: it shows
// who logged in to which recorder and emits closed() when the operator closes it.
class KStandInMainWidget : public KToolWindow
{
    Q_OBJECT

public:
    explicit KStandInMainWidget(QWidget *parent = nullptr);
    ~KStandInMainWidget() override;
};
