// Centring of top-level windows on the primary screen.
#include "XWnd.h"

bool CenterWindow(HWND window) {
    RECT frame;
    // An invalid handle leaves the rectangle unset; MoveWindow then fails on
    // the same handle, so the result is false either way.
    if (!GetWindowRect(window, &frame)) {
        frame.left = frame.top = frame.right = frame.bottom = 0;
    }
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    // The screen size is read on every call (it may have changed), and it is
    // the full primary screen, not the work area. C++ integer division
    // truncates toward zero, which is the rounding wanted for windows larger
    // than the screen: (-201) / 2 is -100.
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    return MoveWindow(window, x, y, width, height, FALSE) != FALSE;
}
