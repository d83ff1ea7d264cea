// Driving Win32 programs from a test process: processes, windows, focus, input, clipboard and screen pixels.
//
// Everything here goes through the public Win32 API, so it works across
// processes under Wine as it does on Windows. Waits pump the driver's own
// messages and end after a timeout (milliseconds); nothing waits forever.
#ifndef QUORVANE_DRIVE_H
#define QUORVANE_DRIVE_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace drive {

// Long enough for a program to start under Wine, short enough for a failing case to end soon.
const DWORD kTimeout = 10000;

// A wait of `ms` stretched for a slow machine: multiplied by the whole number
// in the environment variable QUORVANE_TIME_SCALE (default 1). The waits
// below scale their timeouts themselves; a case scales those it passes to
// the system directly.
DWORD Scaled(DWORD ms);

// ---- Files -----------------------------------------------------------------

// A file in the driver's own folder (the build folder, where the programs under test are).
std::string BesideDriver(const std::string& name);
// The driver's own executable.
std::string DriverPath();
// A file in the driver's folder by its wide path, whatever letters the folder's name has.
std::wstring BesideDriver(const std::wstring& name);

// ---- Processes -------------------------------------------------------------

// A started process. A process still running when this object goes away is
// terminated, so that a failed case leaves nothing behind for the next one.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // CreateProcessA with the whole command line (quote paths with blanks).
    // On failure the reason is in Error().
    bool Start(const std::string& commandLine);
    // Starts `program` with the arguments, the program's path quoted.
    bool StartProgram(const std::string& program, const std::string& arguments = "");
    // CreateProcessW with the program's wide path, as Explorer starts it from any folder.
    bool StartProgram(const std::wstring& program);
    // Starts the driver itself in a helper role (see BENCH_CHILD).
    bool StartChild(const std::string& role, const std::string& arguments = "");

    HANDLE Handle() const { return info_.hProcess; }
    DWORD Id() const { return info_.dwProcessId; }
    DWORD MainThreadId() const { return info_.dwThreadId; }
    const std::string& Error() const { return error_; }

    bool Running() const;
    // Waits for the exit; false after the timeout (the process keeps running).
    bool WaitExit(DWORD timeoutMs, DWORD* exitCode);
    // WaitForInputIdle: the program has started and waits for input.
    bool WaitIdle(DWORD timeoutMs = kTimeout);
    void Terminate();

private:
    PROCESS_INFORMATION info_ = {};
    std::string error_;
};

// A process id that belongs to no running process.
DWORD UnusedProcessId();
// GetPriorityClass of another process, 0 when it cannot be opened.
DWORD PriorityClassOf(DWORD processId);
// GetThreadPriority of any thread, THREAD_PRIORITY_ERROR_RETURN when it cannot be opened.
int ThreadPriorityOf(DWORD threadId);

// ---- Waiting ---------------------------------------------------------------

// Dispatches the messages waiting for the driver's own thread.
void Pump();
// Pumps until the condition holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kTimeout);
// Pumps for the given time.
void Pause(DWORD ms);

// ---- Windows ---------------------------------------------------------------

// Top-level windows of a process, in z-order (topmost first), optionally of
// one class only ("#32770" for dialogs); hidden ones only when asked.
std::vector<HWND> TopWindows(DWORD processId, const char* className = nullptr, bool includeHidden = false);
// The first visible top-level window of that class, waiting for it to appear; 0 after the timeout.
HWND WaitTopWindow(DWORD processId, const char* className, DWORD timeoutMs = kTimeout);
// Waits until the window no longer exists.
bool WaitGone(HWND window, DWORD timeoutMs = kTimeout);

// Direct child windows in z-order (the creation order of dialog controls).
std::vector<HWND> Children(HWND parent);
std::string ClassOf(HWND window);
// The window's text by WM_GETTEXT, which also reads edit controls of another process.
std::string TextOf(HWND window);
LONG_PTR StyleOf(HWND window);
LONG_PTR ExStyleOf(HWND window);
// Outer rectangle in screen coordinates.
RECT WindowRectOf(HWND window);
// Client area size as a rectangle at (0, 0).
RECT ClientRectOf(HWND window);
// A child's outer rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);
// A point of the window's client area in screen coordinates.
POINT ClientToScreenPoint(HWND window, int x, int y);
DWORD ProcessOf(HWND window);
DWORD ThreadOf(HWND window);
// GetWindowContextHelpId.
DWORD HelpIdOf(HWND window);

// The keyboard focus and the active window of a GUI thread (GetGUIThreadInfo),
// 0 when the thread has none.
HWND FocusOf(DWORD threadId);
HWND ActiveOf(DWORD threadId);
// The window holding the mouse capture of that thread, 0 when none does.
HWND CaptureOf(DWORD threadId);

// SendMessageTimeoutA; the result, or `failed` when the call timed out or failed.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0, LRESULT failed = -1);
bool Post(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Makes the window the foreground window, so that keyboard input goes to its thread.
bool BringToFront(HWND window);

// ---- Input -----------------------------------------------------------------

enum Modifiers : unsigned { kNone = 0, kShift = 1, kCtrl = 2, kAlt = 4 };

// One key press with SendInput: modifiers down, key down, key up, modifiers
// up. The keys go to the foreground window's focus.
bool PressKey(WORD virtualKey, unsigned modifiers = kNone);
// Types text key by key, with Shift where the keyboard layout needs it; a
// character without a plain key (Wine's layout lacks some, and bytes above
// 127 have none) goes as a KEYEVENTF_UNICODE character of the ANSI code page.
bool TypeText(const std::string& text);
// A left click with SendInput at a screen point.
bool ClickAt(POINT screen);
// A left click in the middle of the window.
bool Click(HWND window);

// ---- Clipboard -------------------------------------------------------------

// CF_TEXT on the clipboard; false when it cannot be opened or holds no text.
bool ClipboardText(std::string* text);
bool SetClipboardText(const std::string& text);
bool EmptyClipboardNow();

// ---- Screen ----------------------------------------------------------------

// Pixels of a screen rectangle, row by row, as COLORREF (0x00BBGGRR).
struct Image {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
bool CaptureScreen(const RECT& screenRect, Image* image);
// "#RRGGBB", for messages.
std::string ColourName(COLORREF colour);

// A plain top-level window of the driver, filled with one colour; for
// covering other windows and for checking that the screen can be read.
class ColourWindow {
public:
    ColourWindow(const RECT& screenRect, COLORREF colour);
    ~ColourWindow();
    ColourWindow(const ColourWindow&) = delete;
    ColourWindow& operator=(const ColourWindow&) = delete;
    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
    HBRUSH brush_ = nullptr;
};

}  // namespace drive

#endif
