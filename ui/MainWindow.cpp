// Builds the main window, its font and its twelve controls, and assigns their help ids.
#include "Ui.h"

#include "resource.h"

HFONT MainFont = nullptr;
HWND MainWindow = nullptr;
HWND EmailEdit = nullptr;
HWND LinkEdit = nullptr;
HWND CodeEdit = nullptr;
HWND PasteButton = nullptr;
HWND CryptButton = nullptr;
HWND AboutButton = nullptr;
HWND ExitButton = nullptr;

const char MainWindowClassName[] = "QuorvaneWindowClass";

namespace {

const char SampleAddress[] = "webmaster@example.com";

struct ControlRow {
    const char* className;
    const char* text;
    DWORD style;
    DWORD exStyle;
    int x, y, width, height;
    HWND* handle;  // where the handle is kept, or null for boxes and labels
};

const DWORD GroupStyle = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
const DWORD LabelStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;
// No ES_AUTOHSCROLL: the single-line fields take only what fits their width.
const DWORD FieldStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT;
// No WS_TABSTOP: Tab never enters the code box, only a click does.
const DWORD CodeStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_LEFT;
const DWORD ButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHLIKE | BS_PUSHBUTTON;

// Creation order is also the tab order.
const ControlRow Controls[] = {
    {"Button", "  Email  ", GroupStyle, 0, 2, 0, 324, 81, nullptr},
    {"Static", "Source", LabelStyle, 0, 10, 20, 50, 13, nullptr},
    {"Static", "Link text", LabelStyle, 0, 10, 44, 50, 13, nullptr},
    {"Edit", SampleAddress, FieldStyle, WS_EX_CLIENTEDGE, 72, 20, 212, 21, &EmailEdit},
    {"Button", "&P", ButtonStyle, 0, 284, 20, 20, 20, &PasteButton},
    {"Edit", "email", FieldStyle, WS_EX_CLIENTEDGE, 72, 44, 233, 21, &LinkEdit},
    {"Button", "  HTML Code  ", GroupStyle, 0, 2, 81, 324, 176, nullptr},
    {"Static", "Crypt", LabelStyle, 0, 10, 103, 50, 13, nullptr},
    {"Edit", "", CodeStyle, WS_EX_CLIENTEDGE, 72, 103, 233, 145, &CodeEdit},
    {"Button", "&Crypt", ButtonStyle, 0, 86, 262, 75, 25, &CryptButton},
    {"Button", "&About", ButtonStyle, 0, 166, 262, 75, 25, &AboutButton},
    {"Button", "&Exit", ButtonStyle, 0, 246, 262, 75, 25, &ExitButton},
};

// Process-wide, though RegisterClassA copies the record and nothing reads it
// after the call.
WNDCLASSA MainWindowClass;

void SetMainFont(HWND window) {
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(MainFont), 0);
}

}  // namespace

void BuildMainWindow() {
    MainWindowClass.style = CS_CLASSDC | CS_PARENTDC;
    MainWindowClass.lpfnWndProc = MainWndProc;
    MainWindowClass.cbClsExtra = 0;
    MainWindowClass.cbWndExtra = 0;
    MainWindowClass.hInstance = AppInstance;
    MainWindowClass.hIcon = LoadIconA(AppInstance, "MAINICON");
    MainWindowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    MainWindowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    MainWindowClass.lpszMenuName = nullptr;
    MainWindowClass.lpszClassName = MainWindowClassName;
    RegisterClassA(&MainWindowClass);

    // A negative height asks for the character height, not the cell height.
    MainFont = CreateFontA(-12, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");

    // Created visible: WM_SHOWWINDOW arrives during this call and centres it.
    MainWindow = CreateWindowExA(WS_EX_CONTEXTHELP | WS_EX_WINDOWEDGE, MainWindowClassName, "Quorvane",
                                 WS_VISIBLE | WS_DLGFRAME | WS_SYSMENU, 129, 119, 330, 320, nullptr, nullptr,
                                 AppInstance, nullptr);
    SetMainFont(MainWindow);

    for (const ControlRow& row : Controls) {
        HWND control = CreateWindowExA(row.exStyle, row.className, row.text, row.style, row.x, row.y, row.width,
                                       row.height, MainWindow, nullptr, AppInstance, nullptr);
        if (row.handle != nullptr) {
            *row.handle = control;
        }
        SetMainFont(control);
    }
}

void AssignHelpIds() {
    SetWindowContextHelpId(EmailEdit, HID_EMAIL_EDIT);
    SetWindowContextHelpId(LinkEdit, HID_LINK_EDIT);
    SetWindowContextHelpId(CodeEdit, HID_CODE_EDIT);
    SetWindowContextHelpId(CryptButton, HID_CRYPT_BUTTON);
    SetWindowContextHelpId(AboutButton, HID_ABOUT_BUTTON);
    SetWindowContextHelpId(ExitButton, HID_EXIT_BUTTON);
    SetWindowContextHelpId(PasteButton, HID_PASTE_BUTTON);
}
