// Main window construction checked from inside: class record, fonts and help ids, which Wine keeps per process.
#include "Bench.h"
#include "Drive.h"

#include "App.h"
#include "SelfTest.h"
#include "Ui.h"

HINSTANCE AppInstance = nullptr;

namespace {

// What happened while the window was built, in order: "create" for each
// window made, "font" for each WM_SETFONT, with the window concerned.
struct BuildEvent {
    const char* what;
    HWND window;
    WPARAM font;
};
std::vector<BuildEvent> buildEvents;

LRESULT CALLBACK RecordCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) buildEvents.push_back({"create", reinterpret_cast<HWND>(wParam), 0});
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK RecordFont(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_SETFONT) buildEvents.push_back({"font", call->hwnd, call->wParam});
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Builds the window once for all cases of the group, as start-up does,
// watching window creation and WM_SETFONT on the way.
void EnsureMainWindow() {
    if (MainWindow == nullptr) {
        AppInstance = GetModuleHandleA(nullptr);
        HHOOK creation = SetWindowsHookExA(WH_CBT, RecordCreation, nullptr, GetCurrentThreadId());
        HHOOK fonts = SetWindowsHookExA(WH_CALLWNDPROC, RecordFont, nullptr, GetCurrentThreadId());
        BuildMainWindow();
        UnhookWindowsHookEx(creation);
        UnhookWindowsHookEx(fonts);
        AssignHelpIds();
    }
    CHECK_MSG(MainWindow != nullptr, "BuildMainWindow created no main window");
}

struct ControlRow {
    const char* label;
    HWND* handle;
    DWORD helpId;
};

const ControlRow HelpRows[] = {
    {"EmailEdit", &EmailEdit, 1001},     {"LinkEdit", &LinkEdit, 1000},   {"CodeEdit", &CodeEdit, 1002},
    {"CryptButton", &CryptButton, 1200}, {"AboutButton", &AboutButton, 1201},
    {"ExitButton", &ExitButton, 1202},   {"PasteButton", &PasteButton, 1203},
};

}  // namespace

BENCH_CASE(inprocess, window_class_record) {
    EnsureMainWindow();
    WNDCLASSA record;
    CHECK(GetClassInfoA(AppInstance, "QuorvaneWindowClass", &record));
    EXPECT_EQ(static_cast<UINT>(CS_CLASSDC | CS_PARENTDC), record.style);
    EXPECT_EQ(0xC0u, record.style);
    EXPECT(record.lpfnWndProc == MainWndProc);
    EXPECT_EQ(0, record.cbClsExtra);
    EXPECT_EQ(0, record.cbWndExtra);
    EXPECT(record.hInstance == AppInstance);
    // Shared icons and cursors: loading them again gives the same handle.
    EXPECT(record.hIcon != nullptr);
    EXPECT(record.hIcon == LoadIconA(AppInstance, "MAINICON"));
    EXPECT(record.hCursor == LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(static_cast<INT_PTR>(COLOR_BTNFACE + 1), reinterpret_cast<INT_PTR>(record.hbrBackground));
    EXPECT(record.lpszMenuName == nullptr);
}

BENCH_CASE(inprocess, every_control_uses_the_main_font) {
    EnsureMainWindow();
    LOGFONTA font;
    CHECK_EQ(static_cast<int>(sizeof font), GetObjectA(MainFont, sizeof font, &font));
    EXPECT_EQ(std::string("MS Sans Serif"), std::string(font.lfFaceName));
    EXPECT_EQ(-12L, font.lfHeight);
    EXPECT_EQ(0L, font.lfWidth);
    EXPECT_EQ(0L, font.lfWeight);
    EXPECT_EQ(0, static_cast<int>(font.lfItalic) + font.lfUnderline + font.lfStrikeOut);
    EXPECT_EQ(DEFAULT_CHARSET, static_cast<int>(font.lfCharSet));
    EXPECT_EQ(0, static_cast<int>(font.lfOutPrecision) + font.lfClipPrecision + font.lfQuality + font.lfPitchAndFamily);

    std::vector<HWND> children = drive::Children(MainWindow);
    EXPECT_EQ(static_cast<size_t>(12), children.size());
    for (HWND child : children) {
        char text[64] = "";
        GetWindowTextA(child, text, sizeof text);
        bench::Where where(std::string("control ") + bench::Show(text));
        EXPECT(reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)) == MainFont);
    }
}

BENCH_CASE(inprocess, each_window_gets_the_font_right_after_creation) {
    EnsureMainWindow();
    // MainWindow, then each of its twelve controls in table order, each
    // followed at once by WM_SETFONT with MainFont.
    std::vector<HWND> expected = {MainWindow};
    for (HWND child : drive::Children(MainWindow)) expected.push_back(child);
    std::vector<std::string> seen;
    for (const BuildEvent& event : buildEvents) {
        // Windows made by the platform itself (an edit's inner parts, the IME) are not the program's.
        bool ours = event.window == MainWindow || GetParent(event.window) == MainWindow;
        if (ours) seen.push_back(std::string(event.what) + (event.font == reinterpret_cast<WPARAM>(MainFont) || event.font == 0 ? "" : "(other font)"));
    }
    std::vector<std::string> wanted;
    for (size_t i = 0; i < expected.size(); ++i) {
        wanted.push_back("create");
        wanted.push_back("font");
    }
    CHECK_EQ(wanted.size(), seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        bench::Where where("event " + std::to_string(i));
        EXPECT_EQ(wanted[i], seen[i]);
    }
    // The windows in the order they were made.
    std::vector<HWND> created;
    for (const BuildEvent& event : buildEvents) {
        if (std::string(event.what) == "create" && (event.window == MainWindow || GetParent(event.window) == MainWindow))
            created.push_back(event.window);
    }
    EXPECT(created == expected);
}

BENCH_CASE(inprocess, help_ids_of_every_control) {
    EnsureMainWindow();
    for (const ControlRow& row : HelpRows) {
        bench::Where where(row.label);
        EXPECT_EQ(row.helpId, GetWindowContextHelpId(*row.handle));
    }
    EXPECT_EQ(0ul, GetWindowContextHelpId(MainWindow));
    // Group boxes and labels keep 0: everything that is not in the table.
    for (HWND child : drive::Children(MainWindow)) {
        bool listed = false;
        for (const ControlRow& row : HelpRows) listed = listed || *row.handle == child;
        if (!listed) {
            char text[64] = "";
            GetWindowTextA(child, text, sizeof text);
            bench::Where where(std::string("unlisted control ") + bench::Show(text));
            EXPECT_EQ(0ul, GetWindowContextHelpId(child));
        }
    }
}

BENCH_CASE(inprocess, wm_help_without_its_record_does_not_crash) {
    EnsureMainWindow();
    // Another program may send it so, though Wine passes it between processes only with its record.
    EXPECT_EQ(0L, static_cast<long>(SendMessageA(MainWindow, WM_HELP, 0, 0)));
}

BENCH_CASE(inprocess, destroy_deletes_the_font_and_posts_quit) {
    EnsureMainWindow();
    HFONT font = MainFont;
    CHECK(GetObjectType(font) == OBJ_FONT);
    DestroyWindow(MainWindow);
    EXPECT_MSG(GetObjectType(font) == 0, "MainFont still exists after WM_DESTROY");
    MSG message;
    EXPECT_MSG(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && message.wParam == 0,
               "no WM_QUIT with exit value 0 was posted");
    EXPECT_MSG(UnregisterClassA("QuorvaneWindowClass", AppInstance), "the window class could not be unregistered");
}

BENCH_CASE(inprocess, own_file_check_tells_unreadable_from_intact) {
    // A copy in a path over 260 characters, made in the raw \\?\ form, then
    // held without sharing, as a virus scanner may hold it.
    std::wstring raw = L"\\\\?\\", folder = drive::BesideDriver(std::wstring(250, L'q')), copy = folder + L"\\quorvane.exe";
    CreateDirectoryW((raw + folder).c_str(), nullptr);
    CHECK(CopyFileW(drive::BesideDriver(L"quorvane.exe").c_str(), (raw + copy).c_str(), FALSE));
    DWORD error = 0;
    EXPECT_EQ(kFileIntact, CheckProgramFile(copy.c_str(), &error));
    HANDLE holder = CreateFileW((raw + copy).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(kFileUnreadable, CheckProgramFile(copy.c_str(), &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
    CloseHandle(holder);
    EXPECT_EQ(kFileUnreadable, CheckProgramFile(drive::BesideDriver(L"missing.exe").c_str(), &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
}
