// Driving Win32 programs from a test process, through the public Win32 API only.
#include "Drive.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace drive {

// ---- Files -----------------------------------------------------------------

std::string DriverPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

std::string BesideDriver(const std::string& name) {
    std::string path = DriverPath();
    return path.substr(0, path.find_last_of("\\/") + 1) + name;
}

std::wstring BesideDriver(const std::wstring& name) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring driver(path, length < MAX_PATH ? length : 0);
    return driver.substr(0, driver.find_last_of(L"\\/") + 1) + name;
}

// ---- Processes -------------------------------------------------------------

Process::~Process() {
    Terminate();
}

bool Process::Start(const std::string& commandLine) {
    Terminate();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
        char text[64];
        wsprintfA(text, "CreateProcessA failed with error %lu: ", GetLastError());
        error_ = text + commandLine;
        info_ = PROCESS_INFORMATION();
        return false;
    }
    error_.clear();
    return true;
}

bool Process::StartProgram(const std::string& program, const std::string& arguments) {
    return Start("\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments));
}

bool Process::StartProgram(const std::wstring& program) {
    Terminate();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring line = L"\"" + program + L"\"";
    bool started = CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_);
    error_ = started ? "" : "CreateProcessW failed with error " + std::to_string(GetLastError());
    return started;
}

bool Process::StartChild(const std::string& role, const std::string& arguments) {
    return StartProgram(DriverPath(), "--child " + role + (arguments.empty() ? "" : " " + arguments));
}

bool Process::Running() const {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Process::WaitExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!info_.hProcess) return false;
    if (!WaitUntil([this] { return !Running(); }, timeoutMs)) return false;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    if (exitCode) *exitCode = code;
    return true;
}

bool Process::WaitIdle(DWORD timeoutMs) {
    return info_.hProcess && WaitForInputIdle(info_.hProcess, Scaled(timeoutMs)) == 0;
}

void Process::Terminate() {
    if (!info_.hProcess) return;
    if (Running()) {
        TerminateProcess(info_.hProcess, 0xDEAD);
        WaitForSingleObject(info_.hProcess, Scaled(5000));
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
    info_ = PROCESS_INFORMATION();
}

DWORD UnusedProcessId() {
    std::vector<DWORD> used;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            used.push_back(entry.th32ProcessID);
        }
        CloseHandle(snapshot);
    }
    // Ids are multiples of 4; well above the highest one in use, and checked
    // to be unopenable, in case a process started in between.
    DWORD candidate = (used.empty() ? 0 : *std::max_element(used.begin(), used.end())) + 0x1000;
    candidate &= ~3u;
    for (;; candidate += 4) {
        if (std::find(used.begin(), used.end(), candidate) != used.end()) continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, candidate);
        if (!process) return candidate;
        CloseHandle(process);
    }
}

DWORD PriorityClassOf(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return 0;
    DWORD priorityClass = GetPriorityClass(process);
    CloseHandle(process);
    return priorityClass;
}

int ThreadPriorityOf(DWORD threadId) {
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
    if (!thread) return THREAD_PRIORITY_ERROR_RETURN;
    int priority = GetThreadPriority(thread);
    CloseHandle(thread);
    return priority;
}

// ---- Waiting ---------------------------------------------------------------

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

DWORD Scaled(DWORD ms) {
    static const DWORD scale = [] {
        char text[16];
        DWORD length = GetEnvironmentVariableA("QUORVANE_TIME_SCALE", text, sizeof text);
        unsigned long value = length > 0 && length < sizeof text ? std::strtoul(text, nullptr, 10) : 1;
        return static_cast<DWORD>(value >= 1 && value <= 100 ? value : 1);
    }();
    return ms * scale;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    timeoutMs = Scaled(timeoutMs);
    DWORD start = GetTickCount();
    for (;;) {
        Pump();
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        // Wakes early for the driver's own messages; otherwise polls every 10 ms.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void Pause(DWORD ms) {
    WaitUntil([] { return false; }, ms);
}

// ---- Windows ---------------------------------------------------------------

namespace {

struct WindowSearch {
    DWORD processId;
    const char* className;
    bool includeHidden;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    if (!search->includeHidden && !IsWindowVisible(window)) return TRUE;
    if (search->className && ClassOf(window) != search->className) return TRUE;
    search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> TopWindows(DWORD processId, const char* className, bool includeHidden) {
    WindowSearch search = {processId, className, includeHidden, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitTopWindow(DWORD processId, const char* className, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            std::vector<HWND> windows = TopWindows(processId, className);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
    return WaitUntil([window] { return !IsWindow(window); }, timeoutMs);
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

std::string ClassOf(HWND window) {
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

std::string TextOf(HWND window) {
    LRESULT length = Send(window, WM_GETTEXTLENGTH, 0, 0, -1);
    if (length < 0) return "";
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    LRESULT copied = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), -1);
    if (copied < 0) return "";
    return std::string(text.data(), static_cast<size_t>(std::min(copied, length)));
}

LONG_PTR StyleOf(HWND window) { return GetWindowLongPtrA(window, GWL_STYLE); }

LONG_PTR ExStyleOf(HWND window) { return GetWindowLongPtrA(window, GWL_EXSTYLE); }

RECT WindowRectOf(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

RECT ClientRectOf(HWND window) {
    RECT rect = {};
    GetClientRect(window, &rect);
    return rect;
}

RECT RectInParent(HWND child) {
    RECT rect = WindowRectOf(child);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

POINT ClientToScreenPoint(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    return point;
}

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

DWORD HelpIdOf(HWND window) { return GetWindowContextHelpId(window); }

namespace {

GUITHREADINFO ThreadInfo(DWORD threadId) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(threadId, &info)) {
        info = GUITHREADINFO();
    }
    return info;
}

}  // namespace

HWND FocusOf(DWORD threadId) { return ThreadInfo(threadId).hwndFocus; }

HWND ActiveOf(DWORD threadId) { return ThreadInfo(threadId).hwndActive; }

HWND CaptureOf(DWORD threadId) { return ThreadInfo(threadId).hwndCapture; }

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT failed) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, Scaled(kTimeout), &result)) return failed;
    return static_cast<LRESULT>(result);
}

bool Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageA(window, message, wParam, lParam) != FALSE;
}

bool BringToFront(HWND window) {
    if (GetForegroundWindow() == window) return true;
    SetForegroundWindow(window);
    return WaitUntil([window] { return GetForegroundWindow() == window; }, 3000);
}

// ---- Input -----------------------------------------------------------------

namespace {

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    switch (virtualKey) {
        case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END:
        case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE:
            input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
            break;
    }
    return input;
}

bool SendInputs(std::vector<INPUT>& inputs) {
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size();
}

}  // namespace

bool PressKey(WORD virtualKey, unsigned modifiers) {
    static const struct {
        unsigned flag;
        WORD key;
    } kModifierKeys[] = {{kCtrl, VK_CONTROL}, {kAlt, VK_MENU}, {kShift, VK_SHIFT}};
    std::vector<INPUT> inputs;
    for (const auto& m : kModifierKeys) {
        if (modifiers & m.flag) inputs.push_back(KeyInput(m.key, false));
    }
    inputs.push_back(KeyInput(virtualKey, false));
    inputs.push_back(KeyInput(virtualKey, true));
    for (int i = 2; i >= 0; --i) {
        if (modifiers & kModifierKeys[i].flag) inputs.push_back(KeyInput(kModifierKeys[i].key, true));
    }
    return SendInputs(inputs);
}

bool TypeText(const std::string& text) {
    for (char c : text) {
        SHORT scan = VkKeyScanA(c);
        if (scan != -1 && (scan & 0x600) == 0) {
            unsigned modifiers = (scan & 0x100) ? kShift : kNone;
            if (!PressKey(static_cast<WORD>(scan & 0xFF), modifiers)) return false;
            continue;
        }
        // No key for it on this layout (Wine's guess of the X keymap lacks
        // some), or only with Ctrl/Alt: sent as a character of its own, which
        // arrives as WM_CHAR like a typed one.
        WCHAR wide = 0;
        if (MultiByteToWideChar(CP_ACP, 0, &c, 1, &wide, 1) != 1) return false;
        std::vector<INPUT> inputs(2);
        for (INPUT& input : inputs) {
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = wide;
            input.ki.dwFlags = KEYEVENTF_UNICODE;
        }
        inputs[1].ki.dwFlags |= KEYEVENTF_KEYUP;
        if (!SendInputs(inputs)) return false;
    }
    return true;
}

bool ClickAt(POINT screen) {
    // Two clicks on one spot within the double-click time would make the
    // second a double click; wait that out, every click here is a single one.
    static POINT lastPoint = {-1, -1};
    static DWORD lastTime = 0;
    if (lastPoint.x == screen.x && lastPoint.y == screen.y) {
        DWORD since = GetTickCount() - lastTime;
        if (since <= GetDoubleClickTime()) Pause(GetDoubleClickTime() - since + 20);
    }
    // Absolute coordinates run from 0 to 65535 across the primary screen.
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs(3);
    for (INPUT& input : inputs) input.type = INPUT_MOUSE;
    inputs[0].mi.dx = static_cast<LONG>((screen.x * 65536LL + width / 2) / width);
    inputs[0].mi.dy = static_cast<LONG>((screen.y * 65536LL + height / 2) / height);
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    lastPoint = screen;
    // The move warps the X pointer; press only once Wine has seen where the
    // pointer went, or a late pointer event from the X server can put the
    // press back where the pointer was before.
    std::vector<INPUT> move(inputs.begin(), inputs.begin() + 1), press(inputs.begin() + 1, inputs.end());
    if (!SendInputs(move)) return false;
    Pause(100);
    lastTime = GetTickCount();
    return SendInputs(press);
}

bool Click(HWND window) {
    RECT rect = WindowRectOf(window);
    return ClickAt(POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}

// ---- Clipboard -------------------------------------------------------------

namespace {

// Another process may hold the clipboard for a moment; try for a while.
bool OpenClipboardSoon() {
    return WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 3000);
}

}  // namespace

bool ClipboardText(std::string* text) {
    if (!OpenClipboardSoon()) return false;
    bool found = false;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data) {
        const char* bytes = static_cast<const char*>(GlobalLock(data));
        if (bytes) {
            *text = bytes;
            found = true;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return found;
}

bool SetClipboardText(const std::string& text) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (!memory) return false;
    char* bytes = static_cast<char*>(GlobalLock(memory));
    std::copy(text.begin(), text.end(), bytes);
    bytes[text.size()] = '\0';
    GlobalUnlock(memory);
    if (!OpenClipboardSoon()) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    bool set = SetClipboardData(CF_TEXT, memory) != nullptr;
    CloseClipboard();
    if (!set) GlobalFree(memory);  // owned by the clipboard only when set
    return set;
}

bool EmptyClipboardNow() {
    if (!OpenClipboardSoon()) return false;
    bool emptied = EmptyClipboard() != FALSE;
    CloseClipboard();
    return emptied;
}

// ---- Screen ----------------------------------------------------------------

bool CaptureScreen(const RECT& screenRect, Image* image) {
    int width = screenRect.right - screenRect.left, height = screenRect.bottom - screenRect.top;
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, width, height, screen, screenRect.left, screenRect.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (copied) {
        image->width = width;
        image->height = height;
        image->pixels.resize(static_cast<size_t>(width) * height);
        const DWORD* source = static_cast<const DWORD*>(bits);
        for (size_t i = 0; i < image->pixels.size(); ++i) {
            DWORD p = source[i];  // 0x00RRGGBB in a 32-bit DIB
            image->pixels[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied;
}

std::string ColourName(COLORREF colour) {
    char text[16];
    wsprintfA(text, "#%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

namespace {

const char kColourWindowClass[] = "QuorvaneBenchColour";

// Each window fills itself with the brush kept in its user data.
LRESULT CALLBACK ColourWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT rect;
        GetClientRect(window, &rect);
        FillRect(reinterpret_cast<HDC>(wParam), &rect, reinterpret_cast<HBRUSH>(GetWindowLongPtrA(window, GWLP_USERDATA)));
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterColourClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ColourWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kColourWindowClass;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    registered = RegisterClassA(&windowClass) != 0;
}

}  // namespace

ColourWindow::ColourWindow(const RECT& screenRect, COLORREF colour) {
    RegisterColourClass();
    brush_ = CreateSolidBrush(colour);
    // Topmost and never activated: it covers other windows without taking their focus.
    window_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kColourWindowClass, "",
                              WS_POPUP, screenRect.left, screenRect.top, screenRect.right - screenRect.left,
                              screenRect.bottom - screenRect.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                              nullptr);
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(brush_));
        ShowWindow(window_, SW_SHOWNOACTIVATE);
        UpdateWindow(window_);
    }
    Pump();
}

ColourWindow::~ColourWindow() {
    if (window_) DestroyWindow(window_);
    if (brush_) DeleteObject(brush_);
    Pump();
}

}  // namespace drive
