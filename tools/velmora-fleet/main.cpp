// velmora-fleet: changes the fleet from a shell; every viewer on the same database server
// sees the change at once. See KFleetTool::usage().

#include "KFleetTool.h"
#include "KMetaTypes.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    KMetaTypes::registerAll();
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    if (arguments.contains(QStringLiteral("--help"))) {
        out << KFleetTool::usage();
        return 0;
    }
    return KFleetTool(out, err).run(arguments);
}
