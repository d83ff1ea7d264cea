// Starting the program under test and finding its controls.
#include "Quorvane.h"

#include "Bench.h"
#include "MailCode.h"

void Quorvane::Start(const std::string& program) {
    std::string path = program.empty() ? drive::BesideDriver("quorvane.exe") : program;
    CHECK_MSG(process.StartProgram(path), process.Error());
    WaitReady();
}

void Quorvane::WaitReady() {
    main = drive::WaitTopWindow(process.Id(), "QuorvaneWindowClass");
    CHECK_MSG(main != nullptr, "no main window of class QuorvaneWindowClass appeared");
    // The controls come right after the window, and with the window the focus.
    CHECK_MSG(drive::WaitUntil([this] { return drive::Children(main).size() == 12 && Focus() != nullptr; }),
              "the main window did not get its 12 controls and a focus");
    // Start-up ends when the message loop first waits for input. Before
    // that the focus may still be on the main window, where activating it
    // put it, and not yet in the address field: on a slow machine (the
    // program runs at idle priority) that moment is long enough to see.
    CHECK_MSG(process.WaitIdle(), "the program did not reach its message loop");
    // The window exists in Wine before the X server shows it, and clicks on a
    // window that is not on the screen yet go nowhere: wait until its face
    // colour is on the screen, left of the controls.
    POINT face = drive::ClientToScreenPoint(main, 1, 120);
    CHECK_MSG(drive::WaitUntil([&] {
                  drive::Image pixel;
                  return drive::CaptureScreen(RECT{face.x, face.y, face.x + 1, face.y + 1}, &pixel) &&
                         pixel.At(0, 0) == GetSysColor(COLOR_BTNFACE);
              }),
              "the main window did not appear on the screen");
    std::vector<HWND> children = drive::Children(main);
    for (size_t i = 0; i < 12; ++i) controls[i] = children[i];
    emailEdit = controls[3];
    pasteButton = controls[4];
    linkEdit = controls[5];
    codeEdit = controls[8];
    cryptButton = controls[9];
    aboutButton = controls[10];
    exitButton = controls[11];
}

void Quorvane::Activate() {
    CHECK_MSG(drive::BringToFront(main), "the main window could not be brought to the front");
}

void Quorvane::SetText(HWND control, const std::string& text) {
    CHECK_MSG(drive::Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) == TRUE,
              "WM_SETTEXT failed for " + bench::Show(text));
}

void Quorvane::FocusByClick(HWND control) {
    Activate();
    drive::Click(control);
    CHECK_MSG(drive::WaitUntil([&] { return Focus() == control; }), "a click did not move the focus");
}

HWND Quorvane::OpenAboutWithF3() {
    Activate();
    drive::PressKey(VK_F3);
    HWND box = drive::WaitTopWindow(process.Id(), "#32770");
    CHECK_MSG(box != nullptr, "F3 opened no About box");
    return box;
}

HWND Quorvane::Focus() const {
    return drive::FocusOf(process.MainThreadId());
}

bool Quorvane::WaitExit(DWORD* exitCode, DWORD timeoutMs) {
    return process.WaitExit(timeoutMs, exitCode);
}

std::string ExpectedCode(const std::string& address, const std::string& linkText) {
    ByteString code = ComposeMailCode(ByteView(address.data(), address.size()), ByteView(linkText.data(), linkText.size()));
    return std::string(code.data(), code.size());
}

bool WaitClipboardChange(DWORD sequenceBefore, DWORD timeoutMs) {
    return drive::WaitUntil([&] { return GetClipboardSequenceNumber() != sequenceBefore; }, timeoutMs);
}
