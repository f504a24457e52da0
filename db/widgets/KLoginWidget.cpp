#include "KLoginWidget.h"

#include "KStandInMainWidget.h"

namespace {

KLoginHooks &sharedHooks()
{
    static KLoginHooks hooks;
    return hooks;
}

} // namespace

KLoginWidget::KLoginWidget(QWidget *parent)
    : KAbstractLoginWidget_Demo(parent), m_hooks(sharedHooks())
{}

KLoginWidget::~KLoginWidget()
{
    // The loop may end some other way while the main window is open; stop what runs.
    if (mainWidget())
        KLoginWidget::stopApplication();
}

void KLoginWidget::setDefaultHooks(const KLoginHooks &hooks)
{
    sharedHooks() = hooks;
}

KLoginHooks KLoginWidget::defaultHooks()
{
    return sharedHooks();
}

void KLoginWidget::startApplication()
{
    if (!m_sdkInitAttempted) {
        m_sdkInitAttempted = true;
        m_sdkInitialised = m_hooks.initSdk ? m_hooks.initSdk() : false;
    }
    if (m_hooks.startHandlers)
        m_hooks.startHandlers();

    KToolWindow *widget = m_hooks.createMainWidget ? m_hooks.createMainWidget() : nullptr;
    if (!widget)
        widget = new KStandInMainWidget();
    setMainWidget(widget);
}

void KLoginWidget::stopApplication()
{
    if (m_hooks.stopHandlers)
        m_hooks.stopHandlers();
    if (m_sdkInitialised) {
        if (m_hooks.cleanupSdk)
            m_hooks.cleanupSdk();
        m_sdkInitialised = false;
        m_sdkInitAttempted = false;
    }
    delete mainWidget();
    setMainWidget(nullptr);
}
