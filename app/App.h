// The application frame: its message loop.
#ifndef QUORVANE_APP_H
#define QUORVANE_APP_H

#include <windows.h>

// Serves MainWindow and the About box until the quit message: accelerators
// to MainWindow first, then the About box's and MainWindow's dialog keys,
// then translate and dispatch.
void RunMessageLoop(HACCEL accelerators);

#endif
