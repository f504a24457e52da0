#include "KApplication.h"
#include "KMessageWidget.h"
#include "KSettings.h"
#include "KStyleSheet.h"
#include "KToolWindow.h"

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

    // Stand-in until the login window takes over here.
    KToolWindow window;
    window.setTitle(KSettings::instance()->brandTitle());
    window.show();
    return application.exec();
}
