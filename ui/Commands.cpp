// The main window procedure: Paste, Crypt, About, Exit and context help.
#include "Ui.h"

#include <commctrl.h>

#include "MailCode.h"
#include "XWnd.h"
#include "resource.h"

namespace {

// Relative on purpose: WinHelp resolves it itself, the program does not.
const char HelpFile[] = "Help\\quorvane.hlp";

// Reads the whole text of an edit control into a buffer of length + 1 bytes.
// An empty or failed read gives a result with Failed() or size 0.
ByteString ReadText(HWND edit, LRESULT length) {
    ByteString text(static_cast<size_t>(length));
    if (text.Failed()) {
        return text;
    }
    LRESULT copied = SendMessageA(edit, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                  reinterpret_cast<LPARAM>(text.data()));
    if (copied <= 0) {
        return ByteString();
    }
    // Keep only what was copied: the reported length may be an upper bound.
    text.Truncate(static_cast<size_t>(copied));
    return text;
}

// IsDBCSLeadByte is WINAPI (stdcall on 32-bit Windows), the generator wants a plain function.
bool IsAnsiLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

void PasteAddress() {
    // Emptied first, so that the clipboard text replaces the whole field
    // wherever the caret was, and an empty clipboard leaves it empty.
    SendMessageA(EmailEdit, WM_SETTEXT, 0, 0);
    SendMessageA(EmailEdit, WM_PASTE, 0, 0);
}

void CryptAndCopy() {
    RunCrypt();
    // Whatever RunCrypt did: an unchanged code box is copied again.
    SendMessageA(CodeEdit, EM_SETSEL, 0, -1);
    SendMessageA(CodeEdit, WM_COPY, 0, 0);
}

void OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    // Accelerators bring their id in the low word; the buttons all have id 0
    // and are known by their handle. Four independent tests, in this order.
    WORD id = LOWORD(wParam);
    HWND sender = reinterpret_cast<HWND>(lParam);
    if (id == CMD_PASTE || sender == PasteButton) PasteAddress();
    if (id == CMD_CRYPT || sender == CryptButton) CryptAndCopy();
    if (id == CMD_ABOUT || sender == AboutButton) ShowAbout();
    if (id == CMD_EXIT || sender == ExitButton) DestroyWindow(window);
}

void OnHelp(HWND window, const HELPINFO* info) {
    if (info == nullptr) {
        return;  // another program may send WM_HELP without its record, which asks for nothing
    }
    if (info->dwContextId != 0) {
        WinHelpA(window, HelpFile, HELP_CONTEXTPOPUP, info->dwContextId);
    } else {
        WinHelpA(window, HelpFile, HELP_CONTEXT, HID_GENERAL);
    }
}

void OnDestroy() {
    DeleteObject(MainFont);
    PostQuitMessage(0);
}

}  // namespace

void RunCrypt() {
    LRESULT addressLength = SendMessageA(EmailEdit, WM_GETTEXTLENGTH, 0, 0);
    if (addressLength <= 0) {
        return;
    }
    ByteString address = ReadText(EmailEdit, addressLength);
    if (address.Failed() || address.size() == 0) {
        return;
    }
    ByteString linkText = ReadText(LinkEdit, SendMessageA(LinkEdit, WM_GETTEXTLENGTH, 0, 0));
    if (linkText.Failed() || linkText.size() == 0) {
        return;
    }
    // Out of memory leaves the code box as it was.
    ByteString code = ComposeMailCode(address.View(), linkText.View(), IsAnsiLeadByte);
    if (code.Failed()) {
        return;
    }
    SendMessageA(CodeEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(code.data()));
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: InitCommonControls(); return 0;
        case WM_DESTROY: OnDestroy(); return 0;
        case WM_SHOWWINDOW: CenterWindow(window); return 0;
        case WM_HELP: OnHelp(window, reinterpret_cast<const HELPINFO*>(lParam)); return 0;
        case WM_COMMAND: OnCommand(window, wParam, lParam); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
