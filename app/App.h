// Process-wide state of the application frame.
#ifndef QUORVANE_APP_H
#define QUORVANE_APP_H

#include <windows.h>

// The executable's own module, stored once at start-up.
extern HINSTANCE AppInstance;

#endif
