// A stand-in for the main window that opens the program's About box, for testing the box on its own.
//
// It owns a plain top-level window (MainWindow) with two edit controls: the
// first is EmailEdit, the second only a place for the focus to be elsewhere.
// It loads the program's accelerator table and runs the program's message
// loop, so F3 (or a WM_COMMAND with CMD_ABOUT) opens one more About box
// and Esc (CMD_EXIT) ends the host. A test reads the host's state with the
// registered message "QuorvaneAboutHost.Query" (see HostQuery below).
#include <windows.h>

#include "App.h"
#include "Ui.h"
#include "resource.h"

HINSTANCE AppInstance = nullptr;
HWND MainWindow = nullptr;
HWND EmailEdit = nullptr;

namespace {

// wParam of the query message; the result is the handle asked for.
enum HostQuery { QUERY_ABOUT_DIALOG = 0, QUERY_EMAIL_EDIT = 1, QUERY_OTHER_EDIT = 2 };

const char kHostClass[] = "QuorvaneAboutHost";
UINT queryMessage = 0;
HWND otherEdit = nullptr;

LRESULT CALLBACK HostWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == queryMessage && queryMessage != 0) {
        switch (wParam) {
            case QUERY_ABOUT_DIALOG: return reinterpret_cast<LRESULT>(AboutDialog);
            case QUERY_EMAIL_EDIT: return reinterpret_cast<LRESULT>(EmailEdit);
            case QUERY_OTHER_EDIT: return reinterpret_cast<LRESULT>(otherEdit);
        }
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == CMD_ABOUT) ShowAbout();
            if (LOWORD(wParam) == CMD_EXIT) DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateEdit(HWND parent, int y) {
    return CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10, y,
                           220, 24, parent, nullptr, AppInstance, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    AppInstance = instance;
    queryMessage = RegisterWindowMessageA("QuorvaneAboutHost.Query");

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kHostClass;
    RegisterClassA(&windowClass);

    // In the top left corner, clear of the centred About box.
    MainWindow = CreateWindowExA(0, kHostClass, "About host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 260, 120,
                                 nullptr, nullptr, instance, nullptr);
    if (!MainWindow) return 1;
    EmailEdit = CreateEdit(MainWindow, 10);
    otherEdit = CreateEdit(MainWindow, 44);
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    SetFocus(EmailEdit);
    UpdateWindow(MainWindow);

    // The program's own loop.
    RunMessageLoop(accelerators);
    return 0;
}
