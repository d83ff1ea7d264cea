// Cases of group "drive": the driving library itself against Wine (processes, typing, clipboard, windows).
#include <windows.h>

#include <cstdlib>

#include "Bench.h"
#include "Drive.h"

// A helper process that ends with the exit code given, or never ("wait").
BENCH_CHILD(exit_with) {
    if (!args.empty() && args[0] == "wait") {
        Sleep(INFINITE);  // Terminate ends it
        return 0;
    }
    return args.empty() ? 0 : std::atoi(args[0].c_str());
}

BENCH_CASE(drive, exit_codes_come_back) {
    const DWORD codes[] = {0, 1, 37, 255, 0x12345678};
    for (DWORD code : codes) {
        bench::Where where("exit code " + bench::Show(code));
        drive::Process child;
        CHECK_MSG(child.StartChild("exit_with", bench::Show(code)), child.Error());
        DWORD exitCode = 0xFFFFFFFF;
        CHECK_MSG(child.WaitExit(drive::kTimeout, &exitCode), "the child did not end");
        EXPECT_EQ(code, exitCode);
    }
    // A process that does not end: the wait gives up, and Terminate ends it.
    drive::Process child;
    CHECK_MSG(child.StartChild("exit_with", "wait"), child.Error());
    DWORD exitCode = 0;
    EXPECT_EQ(false, child.WaitExit(300, &exitCode));
    EXPECT(child.Running());
    HANDLE process = nullptr;
    DuplicateHandle(GetCurrentProcess(), child.Handle(), GetCurrentProcess(), &process, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    child.Terminate();
    CHECK(process != nullptr);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process, 0));
    CloseHandle(process);
    // A program that does not exist.
    drive::Process missing;
    EXPECT_EQ(false, missing.StartProgram(drive::BesideDriver("no-such-program.exe")));
    EXPECT(!missing.Error().empty());
}

BENCH_CASE(drive, clipboard_round_trip) {
    const char* texts[] = {"plain", "two\r\nlines", "accents \xE9\xE8 and \xA9", " "};
    for (const char* text : texts) {
        bench::Where where(bench::Show(text));
        CHECK(drive::SetClipboardText(text));
        std::string back;
        CHECK(drive::ClipboardText(&back));
        EXPECT_EQ(std::string(text), back);
    }
    CHECK(drive::EmptyClipboardNow());
    std::string back;
    EXPECT_EQ(false, drive::ClipboardText(&back));
}

// Typing with SendInput reaches the focused control of another process, Shift
// included; the text reads back with WM_GETTEXT; the window queries agree.
BENCH_CASE(drive, typing_and_window_queries_across_processes) {
    drive::Process host;
    CHECK_MSG(host.StartProgram(drive::BesideDriver("about_host.exe")), host.Error());
    HWND window = drive::WaitTopWindow(host.Id(), "QuorvaneAboutHost");
    CHECK(window != nullptr);
    EXPECT_EQ(1u, drive::TopWindows(host.Id(), "QuorvaneAboutHost").size());
    EXPECT(drive::TopWindows(host.Id(), "NoSuchClass").empty());
    EXPECT_EQ(host.Id(), drive::ProcessOf(window));
    EXPECT_EQ(host.MainThreadId(), drive::ThreadOf(window));
    EXPECT_EQ(std::string("About host"), drive::TextOf(window));
    EXPECT((drive::StyleOf(window) & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW);
    EXPECT_EQ((RECT{0, 0, 260, 120}), drive::WindowRectOf(window));

    std::vector<HWND> edits = drive::Children(window);
    CHECK_EQ(2u, edits.size());
    EXPECT_EQ(std::string("Edit"), drive::ClassOf(edits[0]));
    EXPECT_EQ((RECT{10, 44, 230, 68}), drive::RectInParent(edits[1]));
    EXPECT((drive::ExStyleOf(edits[1]) & WS_EX_CLIENTEDGE) != 0);

    CHECK(drive::BringToFront(window));
    CHECK(drive::Click(edits[1]));
    CHECK(drive::WaitUntil([&] { return drive::FocusOf(host.MainThreadId()) == edits[1]; }));
    EXPECT_EQ(window, drive::ActiveOf(host.MainThreadId()));
    const std::string text = "Hello, World! a+b=(c)_1@x.org \xE9t\xE9";
    CHECK(drive::TypeText(text));
    EXPECT_MSG(drive::WaitUntil([&] { return drive::TextOf(edits[1]) == text; }),
               "typed " + bench::Show(text) + ", the edit holds " + bench::Show(drive::TextOf(edits[1])));
    // Ctrl+A is no edit shortcut here; Shift+Home selects, Delete removes.
    CHECK(drive::PressKey(VK_HOME, drive::kShift));
    CHECK(drive::PressKey(VK_DELETE));
    EXPECT_MSG(drive::WaitUntil([&] { return drive::TextOf(edits[1]).empty(); }),
               "Shift+Home, Delete left " + bench::Show(drive::TextOf(edits[1])));
}
