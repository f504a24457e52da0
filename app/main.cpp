#include "KApplication.h"
#include "KLoginWidget.h"
#include "KMessageWidget.h"
#include "KSettings.h"
#include "KShell.h"
#include "KStyleSheet.h"

int main(int argc, char *argv[])
{
    KApplication application(argc, argv, QStringLiteral("VELMORA_VIEWER"));
    // Before the settings object exists: it applies the style sheet when it is created.
    KStyleSheet::install();

    if (!application.tryToRun()) {
        const QString text = QStringLiteral("Приложение ") +
                             KSettings::instance()->applicationName() +
                             QStringLiteral(" уже запущено!");
        auto *message = new KMessageWidget(KMessageWidget::Error, text);
        message->exec();
        return 0;
    }

    KShell::install();
    int code = 0;
    {
        KLoginWidget login;
        login.show();
        code = application.exec();
    } // the login window's destructor closes the databases
    return code;
}
