// Process entry: integrity self-test, start-up, the message loop and shutdown.
#include <windows.h>

#include "App.h"
#include "SelfTest.h"
#include "Ui.h"
#include "XProcess.h"
#include "resource.h"

HINSTANCE AppInstance = nullptr;

namespace {

// Says why the program will not start: its file is damaged, or it could not
// be read, and then with the system's reason.
void ReportFailedSelfTest(FileCheck check, DWORD error) {
    if (check == kFileDamaged) {
        MessageBoxA(nullptr,
                    "The Quorvane program file is damaged and cannot be started.\r\n"
                    "Please install a fresh copy of Quorvane.",
                    "Quorvane", MB_OK | MB_ICONERROR);
        return;
    }
    char reason[512] = "";
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                        sizeof reason, nullptr)) {
        reason[0] = '\0';  // the number alone, then
    }
    char text[sizeof reason + 160];
    wsprintfA(text, "Quorvane could not check its own program file and will not start.\r\n\r\nSystem error %lu: %s",
              error, reason);
    MessageBoxA(nullptr, text, "Quorvane", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    DWORD error = 0;
    FileCheck check = CheckOwnFile(&error);
    if (check != kFileIntact) {
        ReportFailedSelfTest(check, error);
        return 1;  // a program that could not prove itself intact must not report success
    }
    AppInstance = instance;
    BuildMainWindow();
    if (MainWindow == nullptr) {
        return 1;  // without a window no quit message would ever come
    }
    LowerProcessPriority();
    TrimWorkingSet();
    AssignHelpIds();
    HACCEL accelerators = LoadAcceleratorsA(AppInstance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    SetFocus(EmailEdit);
    UpdateWindow(MainWindow);

    RunMessageLoop(accelerators);

    UnregisterClassA(MainWindowClassName, AppInstance);
    return 0;
}
