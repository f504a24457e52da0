#pragma once

#include "KAbstractLoginWidget_Demo.h"
#include "KLoginHooks.h"

// The login window of the program. After a successful login it initialises the recorder SDK
// (once), starts the handlers and creates the main window through its hooks; when the main
// window closes it stops them in the reverse order. Without hooks it shows a stand-in main
// window.
class KLoginWidget : public KAbstractLoginWidget_Demo
{
    Q_OBJECT

public:
    explicit KLoginWidget(QWidget *parent = nullptr);
    ~KLoginWidget() override;

    // Hooks for every login window created afterwards; the composition code calls this
    // before building the first login window.
    static void setDefaultHooks(const KLoginHooks &hooks);
    static KLoginHooks defaultHooks();

    KLoginHooks hooks() const { return m_hooks; }
    void setHooks(const KLoginHooks &hooks) { m_hooks = hooks; }

protected:
    void startApplication() override;
    void stopApplication() override;

private:
    KLoginHooks m_hooks;
    bool m_sdkInitialised = false;
    bool m_sdkInitAttempted = false;
};
