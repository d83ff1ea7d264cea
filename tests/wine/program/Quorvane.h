// A running copy of the program under test, with the handles of its window and controls.
#ifndef QUORVANE_TEST_QUORVANE_H
#define QUORVANE_TEST_QUORVANE_H

#include <windows.h>

#include <string>

#include "Drive.h"

// Commands that the accelerator keys send, as the program numbers them.
const WORD kCmdExit = 101;
const WORD kCmdCrypt = 102;
const WORD kCmdAbout = 103;
const WORD kCmdPaste = 104;

class Quorvane {
public:
    // Starts the program (the built one beside the driver unless another
    // file is named) and waits for its main window with all its controls.
    // On failure the case stops with the reason.
    void Start(const std::string& program = "");
    // The waiting part of Start, for a program that a case started through `process`.
    void WaitReady();
    // Brings the window to the front, so that typed keys reach the program.
    void Activate();
    // Sets a control's text across processes, as typing it would leave it.
    void SetText(HWND control, const std::string& text);
    // Puts the keyboard focus on a control with a mouse click, and checks it arrived.
    void FocusByClick(HWND control);
    HWND Focus() const;
    // Presses F3 with the window in front and waits for the About box it opens.
    HWND OpenAboutWithF3();
    // Ends the program if it still runs; the exit code of a finished program.
    bool WaitExit(DWORD* exitCode, DWORD timeoutMs = drive::kTimeout);

    drive::Process process;
    HWND main = nullptr;
    // The twelve controls in creation order, and the kept ones by name.
    HWND controls[12] = {};
    HWND emailEdit = nullptr, pasteButton = nullptr, linkEdit = nullptr, codeEdit = nullptr;
    HWND cryptButton = nullptr, aboutButton = nullptr, exitButton = nullptr;
};

// Waits until the clipboard has changed since the sequence number was read.
// The clipboard is not opened while waiting: a program that tries to copy
// while the driver holds it open would fail to.
bool WaitClipboardChange(DWORD sequenceBefore, DWORD timeoutMs = drive::kTimeout);

// What the generator makes of the two texts, computed in the driver.
std::string ExpectedCode(const std::string& address, const std::string& linkText);

#endif
