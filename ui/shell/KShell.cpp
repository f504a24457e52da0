#include "KShell.h"

#include "KArchiveInfoHandler.h"
#include "KConnectionHandler.h"
#include "KDownloadHandler.h"
#include "KLoginWidget.h"
#include "KMainWidget.h"
#include "KRecorderSDK.h"
#include "KViewHandler.h"

KLoginHooks KShell::hooks()
{
    KLoginHooks hooks;
    hooks.initSdk = [] { return KRecorderSDK::instance()->initialize(); };
    hooks.startHandlers = [] {
        KConnectionHandler::instance()->initialize();
        KViewHandler::instance()->initialize();
        KArchiveInfoHandler::instance()->initialize();
        KDownloadHandler::instance()->initialize();
    };
    hooks.createMainWidget = []() -> KToolWindow * { return new KMainWidget; };
    hooks.stopHandlers = [] {
        KDownloadHandler::instance()->shutdown();
        KArchiveInfoHandler::instance()->shutdown();
        KViewHandler::instance()->shutdown();
        KConnectionHandler::instance()->shutdown();
    };
    hooks.cleanupSdk = [] { KRecorderSDK::instance()->cleanup(); };
    return hooks;
}

void KShell::install()
{
    KLoginWidget::setDefaultHooks(hooks());
}
