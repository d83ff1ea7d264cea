// The program's one message loop, serving MainWindow and the About box.
#include "App.h"

#include "Ui.h"

void RunMessageLoop(HACCEL accelerators) {
    MSG message;
    // GetMessageA gives -1 on error; that ends the loop as the quit message does.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        // Accelerators go to MainWindow first, whichever window has the
        // focus, so Esc and the function keys work while the About box is active.
        if (TranslateAcceleratorA(MainWindow, accelerators, &message)) continue;
        if (IsDialogMessageA(AboutDialog, &message)) continue;
        // Gives the plain main window Tab navigation and Alt+letter buttons.
        if (IsDialogMessageA(MainWindow, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
