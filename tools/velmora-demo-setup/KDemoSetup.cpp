#include "KDemoSetup.h"

#include "KPasswordCipher.h"
#include "KSettings.h"

const QString KDemoSetup::host = QStringLiteral("127.0.0.2");
const int KDemoSetup::port = 8000;
const QString KDemoSetup::login = QStringLiteral("admin");
const QString KDemoSetup::password = QStringLiteral("demo12345");
const int KDemoSetup::recorderType = 1;

QStringList KDemoSetup::apply(KSettings *settings)
{
    QStringList written;
    // The type is written with the recorder, never on its own: a stored recorder keeps its type.
    if (settings->recorderHost().isEmpty()) {
        settings->setRecorderType(recorderType);
        settings->setRecorderHost(host);
        written << QStringLiteral("recorderType") << QStringLiteral("recorderHost");
    }
    if (settings->recorderPort() == 0) {
        settings->setRecorderPort(port);
        written << QStringLiteral("recorderPort");
    }
    if (settings->recorderLogin().isEmpty()) {
        settings->setRecorderLogin(login);
        written << QStringLiteral("recorderLogin");
    }
    if (settings->recorderPassword().isEmpty()) {
        settings->setRecorderPassword(KPasswordCipher::encipher(password));
        written << QStringLiteral("recorderPassword");
    }
    return written;
}
