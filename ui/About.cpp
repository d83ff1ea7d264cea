// The modeless About box.
#include "Ui.h"

#include "XWnd.h"
#include "resource.h"

HWND AboutDialog = nullptr;

namespace {

void PaintIcon(HWND dialog) {
    // A shared icon owned by the system: loaded on every paint, never released.
    HICON icon = LoadIconA(AppInstance, "MAINICON");
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    DrawIcon(dc, 10, 5, icon);
    EndPaint(dialog, &paint);
}

}  // namespace

void ShowAbout() {
    // No check for a box already open: every About command opens another,
    // centred exactly over the ones before.
    AboutDialog = CreateDialogParamA(AppInstance, "ABOUT_DIALOG", MainWindow, AboutDlgProc, 0);
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CenterWindow(dialog);
            SetFocus(GetDlgItem(dialog, IDC_ABOUT_OK));
            break;
        case WM_PAINT:
            PaintIcon(dialog);
            break;
        case WM_COMMAND:
            // The whole wParam: the Ok button's id with BN_CLICKED (0) in the
            // high word. IDOK and IDCANCEL from the dialog manager are ignored,
            // so Esc never closes the box on its own.
            if (wParam == IDC_ABOUT_OK) {
                DestroyWindow(dialog);
            }
            break;
        case WM_DESTROY:
            AboutDialog = nullptr;
            SetFocus(EmailEdit);
            break;
    }
    // FALSE for everything, WM_INITDIALOG included: the focus is already set.
    return FALSE;
}
