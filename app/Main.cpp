// Process entry: integrity self-test, start-up, the message loop and shutdown.
#include <windows.h>

#include "App.h"
#include "ImageChecksum.h"
#include "MailCode.h"
#include "Ui.h"
#include "XProcess.h"
#include "resource.h"

HINSTANCE AppInstance = nullptr;

namespace {

// Reads the program's own file and checks its image checksum. An unreadable
// file counts as damaged.
bool ExecutableIsIntact() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return false;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool intact = false;
    DWORD sizeHigh = 0;
    DWORD size = GetFileSize(file, &sizeHigh);
    ByteString image(size != INVALID_FILE_SIZE && sizeHigh == 0 ? size : static_cast<size_t>(-1));
    DWORD read = 0;
    if (!image.Failed() && ReadFile(file, image.data(), size, &read, nullptr) && read == size) {
        intact = ImageChecksumMatches(reinterpret_cast<const unsigned char*>(image.data()), size);
    }
    CloseHandle(file);
    return intact;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!ExecutableIsIntact()) {
        MessageBoxA(nullptr,
                    "The Quorvane program file is damaged and cannot be started.\r\n"
                    "Please install a fresh copy of Quorvane.",
                    "Quorvane", MB_OK | MB_ICONERROR);
        return 1;  // a damaged program must not report success
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
