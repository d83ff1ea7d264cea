// Window helpers shared by the main window and the About box.
#ifndef QUORVANE_XWND_H
#define QUORVANE_XWND_H

#include <windows.h>

// Moves a top-level window so that its outer frame is centred on the primary
// screen, keeping its size. True when the move succeeded.
bool CenterWindow(HWND window);

#endif
