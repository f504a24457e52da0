// velmora-demo-setup: prepares the per-user store for the demonstration fleet, so that the
// login window opens with the demo recorder filled in. Entries already there are kept.

#include "KDemoSetup.h"
#include "KSettings.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList written = KDemoSetup::apply(KSettings::instance());
    if (written.isEmpty())
        out << "velmora-demo-setup: recorder entries already present, nothing written\n";
    else
        out << "velmora-demo-setup: wrote " << written.join(QStringLiteral(", ")) << "\n";
    return 0;
}
