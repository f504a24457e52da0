#pragma once

// Asks a top-level window to close the way a window manager's close button does
// (WM_DELETE_WINDOW). Returns false when the display cannot be opened.
bool sendCloseRequest(const char *display, unsigned long window);
