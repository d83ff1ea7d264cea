// `driver --child demo PROGRAM SHOT.bmp`: one Crypt as a user makes it, for `make run` without a display.
#include <cstdio>

#include "Bench.h"
#include "Bitmap.h"
#include "Quorvane.h"

namespace {

int Fail(const char* message) {
    std::fprintf(stderr, "demo: %s\n", message);
    return 1;
}

}  // namespace

BENCH_CHILD(demo) {
    if (args.size() != 2) return Fail("usage: --child demo PROGRAM SHOT.bmp");
    drive::Process program;
    if (!program.StartProgram(args[0])) return Fail(program.Error().c_str());
    HWND main = drive::WaitTopWindow(program.Id(), "QuorvaneWindowClass");
    if (main == nullptr) return Fail("the main window did not appear");
    // Start-up is over once the focus is in the address field, the fourth control.
    std::vector<HWND> controls;
    drive::WaitUntil([&] {
        controls = drive::Children(main);
        return controls.size() == 12 && drive::FocusOf(program.MainThreadId()) == controls[3];
    });
    if (controls.size() != 12) return Fail("the main window has not got its 12 controls");
    HWND emailEdit = controls[3], codeEdit = controls[8];

    std::printf("Address:   %s\nLink text: %s\n\nPressing F2 (Crypt)...\n\n", drive::TextOf(emailEdit).c_str(),
                drive::TextOf(controls[5]).c_str());
    drive::BringToFront(main);
    DWORD sequence = GetClipboardSequenceNumber();
    drive::PressKey(VK_F2);
    std::string code;
    if (!WaitClipboardChange(sequence) || !drive::ClipboardText(&code)) {
        return Fail("nothing arrived on the clipboard");
    }
    std::printf("Code on the clipboard (%zu bytes):\n", code.size());
    std::fwrite(code.data(), 1, code.size(), stdout);
    std::printf("\n");
    if (drive::TextOf(codeEdit) != code) std::printf("(the code box holds something else!)\n");

    drive::Image shot;
    if (drive::CaptureScreen(drive::WindowRectOf(main), &shot) && SaveBitmap(shot, args[1])) {
        std::printf("Screenshot of the window: %s\n", args[1].c_str());
    }
    drive::PressKey(VK_ESCAPE);
    DWORD exitCode = 99;
    if (!program.WaitExit(drive::kTimeout, &exitCode)) return Fail("Esc did not end the program");
    std::printf("Esc pressed: the program ended with exit code %lu.\n", exitCode);
    std::fflush(stdout);
    return exitCode == 0 ? 0 : 1;
}
