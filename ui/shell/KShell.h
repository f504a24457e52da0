#pragma once

#include "KLoginHooks.h"

// Puts the program together: the login window starts the recorder SDK, the device handlers and
// the main window through these hooks, and stops them in the reverse order.
class KShell
{
public:
    // Installs the hooks for every login window created afterwards. Call once, before the
    // first login window.
    static void install();
    static KLoginHooks hooks();
};
