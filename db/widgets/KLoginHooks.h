#pragma once

#include <functional>

class KToolWindow;

// What the login window starts and stops around the main window. The composition code (the
// shell) fills these in; any member left empty is skipped, and without createMainWidget the
// login window shows a stand-in main window.
struct KLoginHooks
{
    // Initialises the recorder SDK; true when it must be cleaned up later. Runs once.
    std::function<bool()> initSdk;
    // Starts the connection, view, archive-info and download handlers, in that order.
    std::function<void()> startHandlers;
    // Creates the main window (owned by the login window from then on). It must emit
    // closed() when the operator closes it.
    std::function<KToolWindow *()> createMainWidget;
    // Stops the download, archive-info, view and connection handlers, in that order.
    std::function<void()> stopHandlers;
    // Cleans the recorder SDK up; called only after initSdk returned true.
    std::function<void()> cleanupSdk;
};
