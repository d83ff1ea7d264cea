// Group "soak": many Crypt and Paste cycles leave the program's window, object and memory use flat.
#include "Bench.h"
#include "Quorvane.h"

#include <psapi.h>

namespace {

struct Usage {
    size_t windows = 0;
    DWORD userObjects = 0;
    DWORD gdiObjects = 0;
    SIZE_T privateBytes = 0;
};

Usage Measure(const Quorvane& q) {
    Usage usage;
    for (HWND top : drive::TopWindows(q.process.Id(), nullptr, true)) {
        usage.windows += 1 + drive::Children(top).size();
    }
    usage.userObjects = GetGuiResources(q.process.Handle(), GR_USEROBJECTS);
    usage.gdiObjects = GetGuiResources(q.process.Handle(), GR_GDIOBJECTS);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    // The commit charge of the process: its private bytes.
    if (GetProcessMemoryInfo(q.process.Handle(), &counters, sizeof counters)) usage.privateBytes = counters.PagefileUsage;
    return usage;
}

// A baseline for the same clipboard and edit-control traffic without the
// program's own code: a window with a plain single-line edit and a plain
// multi-line edit, which pastes and copies the way the program does. Wine's
// clipboard keeps memory in every process that pastes from it, so only the
// program's growth beyond this baseline is the program's own.
const char kBaselineClass[] = "QuorvaneSoakBaseline";

LRESULT CALLBACK BaselineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND field = GetDlgItem(window, 1), code = GetDlgItem(window, 2);
    if (message == WM_COMMAND && LOWORD(wParam) == kCmdPaste) {
        SendMessageA(field, WM_SETTEXT, 0, 0);
        SendMessageA(field, WM_PASTE, 0, 0);
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == kCmdCrypt) {
        // A text of the size the generator makes for such an address.
        char address[128] = "";
        GetWindowTextA(field, address, sizeof address);
        std::string text;
        for (int line = 0; line < 13; ++line) text += std::string(address) + " line of code\r\n";
        SendMessageA(code, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SendMessageA(code, EM_SETSEL, 0, -1);
        SendMessageA(code, WM_COPY, 0, 0);
        return 0;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

struct Traffic {
    SIZE_T before = 0, after = 0;
    SIZE_T Growth() const { return after > before ? after - before : 0; }
};

struct SoakResult {
    bool ran = false;
    Usage before, after;
    Traffic baseline;
    int cycles = 0;
    int wrongCodes = 0;
};

SoakResult soak;

SIZE_T PrivateBytesOf(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PagefileUsage : 0;
}

void RunSoak() {
    if (soak.ran) return;
    soak.ran = true;
    Quorvane q;
    q.Start();
    drive::Process baselineProcess;
    CHECK_MSG(baselineProcess.StartChild("soak_baseline"), baselineProcess.Error());
    HWND baseline = drive::WaitTopWindow(baselineProcess.Id(), kBaselineClass);
    CHECK_MSG(baseline != nullptr, "the baseline window did not appear");

    const int kWarmUp = 50, kCycles = 2000;
    for (int i = 0; i < kWarmUp + kCycles; ++i) {
        if (i == kWarmUp) {
            soak.before = Measure(q);
            soak.baseline.before = PrivateBytesOf(baselineProcess.Handle());
        }
        std::string address = "user" + std::to_string(i % 97) + "@example.org";
        CHECK(drive::SetClipboardText(address));
        drive::Send(q.main, WM_COMMAND, kCmdPaste);
        drive::Send(q.main, WM_COMMAND, kCmdCrypt);
        CHECK(drive::SetClipboardText(address));
        drive::Send(baseline, WM_COMMAND, kCmdPaste);
        drive::Send(baseline, WM_COMMAND, kCmdCrypt);
        if (i % 100 == 0 && drive::TextOf(q.codeEdit) != ExpectedCode(address, "email")) ++soak.wrongCodes;
        ++soak.cycles;
    }
    soak.after = Measure(q);
    soak.baseline.after = PrivateBytesOf(baselineProcess.Handle());
    drive::Post(baseline, WM_CLOSE);
    std::printf("    soak: %d cycles; windows %zu -> %zu; private bytes %zu -> %zu (baseline window %zu -> %zu)\n",
                kCycles, soak.before.windows, soak.after.windows, static_cast<size_t>(soak.before.privateBytes),
                static_cast<size_t>(soak.after.privateBytes), static_cast<size_t>(soak.baseline.before),
                static_cast<size_t>(soak.baseline.after));
}

}  // namespace

BENCH_CASE(soak, windows_and_private_bytes_stay_flat) {
    RunSoak();
    CHECK_EQ(2050, soak.cycles);
    EXPECT_EQ(0, soak.wrongCodes);
    EXPECT_EQ(soak.before.windows, soak.after.windows);
    CHECK(soak.before.privateBytes > 0);
    CHECK(soak.baseline.before > 0);
    // A leak of even one small buffer per cycle would add well over 64 KiB
    // to what the same traffic costs the baseline.
    SIZE_T growth = soak.after.privateBytes > soak.before.privateBytes ? soak.after.privateBytes - soak.before.privateBytes : 0;
    EXPECT_MSG(growth <= soak.baseline.Growth() + 64 * 1024,
               "private bytes grew by " + std::to_string(growth) + ", the baseline's by " +
                   std::to_string(soak.baseline.Growth()));
}

BENCH_CASE(soak, user_and_gdi_object_counts_stay_flat) {
    RunSoak();
    if (soak.before.userObjects == 0 && soak.before.gdiObjects == 0) {
        SKIP("Wine's GetGuiResources counts nothing (always 0); the window count and private bytes are checked instead");
    }
    EXPECT_EQ(soak.before.userObjects, soak.after.userObjects);
    EXPECT_EQ(soak.before.gdiObjects, soak.after.gdiObjects);
}

BENCH_CHILD(soak_baseline) {
    (void)args;
    WNDCLASSA record = {};
    record.lpfnWndProc = BaselineProc;
    record.hInstance = GetModuleHandleA(nullptr);
    record.lpszClassName = kBaselineClass;
    RegisterClassA(&record);
    HWND window = CreateWindowExA(0, kBaselineClass, "soak baseline", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 330, 320,
                                  nullptr, nullptr, record.hInstance, nullptr);
    CreateWindowExA(WS_EX_CLIENTEDGE, "Edit", "", WS_CHILD | WS_VISIBLE | ES_LEFT, 72, 20, 212, 21, window,
                    reinterpret_cast<HMENU>(1), record.hInstance, nullptr);
    CreateWindowExA(WS_EX_CLIENTEDGE, "Edit", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE, 72, 103, 233, 145,
                    window, reinterpret_cast<HMENU>(2), record.hInstance, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
