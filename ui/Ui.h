// The main window, its commands and the About box: operations and process-wide handles.
#ifndef QUORVANE_UI_H
#define QUORVANE_UI_H

#include <windows.h>

// The executable's own module, whose resources the windows and dialogs load:
// the program's entry (or a test host) provides it, set before BuildMainWindow.
extern HINSTANCE AppInstance;

// Handles filled once by BuildMainWindow and never cleared.
extern HFONT MainFont;
extern HWND MainWindow;
extern HWND EmailEdit;
extern HWND LinkEdit;
extern HWND CodeEdit;
extern HWND PasteButton;
extern HWND CryptButton;
extern HWND AboutButton;
extern HWND ExitButton;

// The newest About box, or 0 while none is open.
extern HWND AboutDialog;

extern const char MainWindowClassName[];

// Registers the window class and creates MainFont, MainWindow and its controls.
void BuildMainWindow();
// Gives the seven controls that have a help topic their context ids.
void AssignHelpIds();

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Generates the mail code from EmailEdit and LinkEdit into CodeEdit.
void RunCrypt();

// Opens one more modeless About box.
void ShowAbout();
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
