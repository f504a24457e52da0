#include "KResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace or class.
static bool registerBundle()
{
    Q_INIT_RESOURCE(velmora);
    return true;
}

void KResources::init()
{
    // A function-local static: registered once, thread-safe.
    static const bool registered = registerBundle();
    Q_UNUSED(registered);
}
