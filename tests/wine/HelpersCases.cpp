// Cases of group "helpers": window centring and process tuning on the real Win32 API.
#include <windows.h>
#include <tlhelp32.h>

#include "Bench.h"
#include "Drive.h"
#include "XProcess.h"
#include "XWnd.h"

namespace {

const int kScreenWidth = 1024;
const int kScreenHeight = 768;

const char kWindowClass[] = "QuorvaneBenchPlain";

// A top-level window of the driver's own thread. WS_POPUP keeps the system
// from fitting an oversized window to the screen, so any size can be tried.
class TestWindow {
public:
    TestWindow(int x, int y, int width, int height, DWORD style = WS_POPUP | WS_VISIBLE) {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA windowClass = {};
            windowClass.lpfnWndProc = DefWindowProcA;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.lpszClassName = kWindowClass;
            registered = RegisterClassA(&windowClass) != 0;
        }
        window_ = CreateWindowExA(0, kWindowClass, "centring", style, x, y, width, height, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        drive::Pump();
    }
    ~TestWindow() {
        if (window_) DestroyWindow(window_);
    }
    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

std::string Size(int width, int height) {
    return bench::Show(width) + "x" + bench::Show(height);
}

// The centring of every case assumes the bench's fixed screen.
void RequireBenchScreen() {
    CHECK_EQ(kScreenWidth, GetSystemMetrics(SM_CXSCREEN));
    CHECK_EQ(kScreenHeight, GetSystemMetrics(SM_CYSCREEN));
}

}  // namespace

BENCH_CASE(helpers, center_window_worked_examples) {
    RequireBenchScreen();
    struct Row {
        int width, height;
        int startX, startY;
        int expectedX, expectedY;
    };
    const Row rows[] = {
        {300, 201, 0, 0, 362, 283},        // 567 / 2 truncates to 283
        {1225, 201, 0, 0, -100, 283},      // -201 / 2 is -100, not -101
        {1024, 768, 50, 60, 0, 0},         // exactly the screen
        {300, 969, 10, 10, 362, -100},     // too tall: negative y, not clamped
        {2000, 1600, 0, 0, -488, -416},    // larger both ways
        {1025, 769, 0, 0, 0, 0},           // -1 / 2 truncates to 0
        {1, 1, 900, 700, 511, 383},
        {301, 200, -400, -300, 361, 284},  // from off the screen
    };
    for (const Row& row : rows) {
        bench::Where where(Size(row.width, row.height) + " from " + bench::Show(POINT{row.startX, row.startY}));
        TestWindow window(row.startX, row.startY, row.width, row.height);
        CHECK(window.Handle() != nullptr);
        RECT created = drive::WindowRectOf(window.Handle());
        CHECK_EQ(Size(row.width, row.height), Size(created.right - created.left, created.bottom - created.top));
        EXPECT_EQ(true, CenterWindow(window.Handle()));
        RECT expected = {row.expectedX, row.expectedY, row.expectedX + row.width, row.expectedY + row.height};
        EXPECT_EQ(expected, drive::WindowRectOf(window.Handle()));
    }
}

// The rounding rule over many sizes: the gap left of the window equals the gap
// right of it, or differs by one pixel, and the odd pixel goes to the side that
// truncation toward zero gives: right when the window is smaller than the
// screen, left when it is larger.
BENCH_CASE(helpers, center_window_gaps_differ_by_truncation_only) {
    RequireBenchScreen();
    for (int size = 1; size <= 2100; size += 37) {
        bench::Where where("size " + bench::Show(size));
        TestWindow window(5, 5, size, size);
        CHECK(CenterWindow(window.Handle()));
        RECT rect = drive::WindowRectOf(window.Handle());
        EXPECT_EQ(size, rect.right - rect.left);
        EXPECT_EQ(size, rect.bottom - rect.top);
        int gaps[2][2] = {{rect.left, kScreenWidth - rect.right}, {rect.top, kScreenHeight - rect.bottom}};
        int free[2] = {kScreenWidth - size, kScreenHeight - size};
        for (int axis = 0; axis < 2; ++axis) {
            int difference = gaps[axis][0] - gaps[axis][1];
            int expected = free[axis] % 2 == 0 ? 0 : (free[axis] > 0 ? -1 : 1);
            EXPECT_MSG(difference == expected,
                       std::string(axis == 0 ? "x" : "y") + ": gaps " + bench::Show(gaps[axis][0]) + " and " +
                           bench::Show(gaps[axis][1]) + ", expected them to differ by " + bench::Show(expected));
        }
    }
}

// The outer frame is centred, caption and borders included, and hidden or
// captioned windows are moved alike.
BENCH_CASE(helpers, center_window_centres_the_outer_frame) {
    RequireBenchScreen();
    struct Row {
        const char* label;
        DWORD style;
    };
    const Row rows[] = {
        {"popup with caption", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE},
        {"popup with thick frame", WS_POPUP | WS_THICKFRAME | WS_VISIBLE},
        {"hidden popup", WS_POPUP},
        {"hidden popup with caption", WS_POPUP | WS_CAPTION},
    };
    for (const Row& row : rows) {
        bench::Where where(row.label);
        TestWindow window(3, 4, 300, 201, row.style);
        CHECK(window.Handle() != nullptr);
        EXPECT_EQ(true, CenterWindow(window.Handle()));
        EXPECT_EQ((RECT{362, 283, 662, 484}), drive::WindowRectOf(window.Handle()));
        EXPECT_EQ(bool((row.style & WS_VISIBLE) != 0), IsWindowVisible(window.Handle()) != FALSE);
    }
}

BENCH_CASE(helpers, center_window_leaves_a_centred_window_in_place) {
    RequireBenchScreen();
    TestWindow window(362, 283, 300, 201);
    RECT before = drive::WindowRectOf(window.Handle());
    CHECK_EQ((RECT{362, 283, 662, 484}), before);
    EXPECT_EQ(true, CenterWindow(window.Handle()));
    EXPECT_EQ(before, drive::WindowRectOf(window.Handle()));
    // And again: the result does not depend on an earlier call.
    EXPECT_EQ(true, CenterWindow(window.Handle()));
    EXPECT_EQ(before, drive::WindowRectOf(window.Handle()));
}

BENCH_CASE(helpers, center_window_rejects_invalid_handles) {
    HWND destroyed;
    {
        TestWindow window(0, 0, 10, 10);
        destroyed = window.Handle();
    }
    CHECK(!IsWindow(destroyed));
    struct Row {
        const char* label;
        HWND window;
    };
    const Row rows[] = {
        {"null", nullptr},
        {"destroyed window", destroyed},
        {"made-up handle", reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x7ffe1234))},
    };
    for (const Row& row : rows) {
        bench::Where where(row.label);
        EXPECT_EQ(false, CenterWindow(row.window));
    }
}

// ---- Process tuning --------------------------------------------------------

namespace {

// Exit codes of the child role below.
const int kChildLowered = 10;
const int kChildNotLowered = 11;
const int kChildLost = 12;

HANDLE CreateNamedEvent(const std::string& name) { return CreateEventA(nullptr, TRUE, FALSE, name.c_str()); }

DWORD WINAPI IdleThread(LPVOID stop) {
    WaitForSingleObject(stop, INFINITE);
    return 0;
}

}  // namespace

// A helper process: starts a second thread, signals "<name>.started", waits for
// "<name>.go", calls LowerProcessPriority on its main thread, signals
// "<name>.lowered" and waits for "<name>.release". It exits with
// kChildLowered when the call returned true.
BENCH_CHILD(lower_priority) {
    if (args.empty()) return kChildLost;
    const std::string& name = args[0];
    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + ".started").c_str());
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, (name + ".go").c_str());
    HANDLE lowered = OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + ".lowered").c_str());
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (name + ".release").c_str());
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!started || !go || !lowered || !release || !stop) return kChildLost;
    HANDLE other = CreateThread(nullptr, 0, IdleThread, stop, 0, nullptr);
    if (!other) return kChildLost;
    SetEvent(started);
    if (WaitForSingleObject(go, drive::Scaled(20000)) != WAIT_OBJECT_0) return kChildLost;
    bool result = LowerProcessPriority();
    SetEvent(lowered);
    WaitForSingleObject(release, drive::Scaled(20000));
    SetEvent(stop);
    WaitForSingleObject(other, drive::Scaled(5000));
    return result ? kChildLowered : kChildNotLowered;
}

namespace {

// The id of a thread of the child other than its main thread.
DWORD OtherThreadOf(const drive::Process& child) {
    DWORD found = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more && !found; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == child.Id() && entry.th32ThreadID != child.MainThreadId()) {
            found = entry.th32ThreadID;
        }
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace

BENCH_CASE(helpers, lower_process_priority_sets_idle_class_and_lowest_thread) {
    std::string name = "QuorvaneBench." + bench::Show(GetCurrentProcessId()) + ".priority";
    HANDLE started = CreateNamedEvent(name + ".started");
    HANDLE go = CreateNamedEvent(name + ".go");
    HANDLE lowered = CreateNamedEvent(name + ".lowered");
    HANDLE release = CreateNamedEvent(name + ".release");
    CHECK(started && go && lowered && release);
    drive::Process child;
    CHECK_MSG(child.StartChild("lower_priority", name), child.Error());
    CHECK_MSG(WaitForSingleObject(started, drive::Scaled(drive::kTimeout)) == WAIT_OBJECT_0, "the child did not start");

    DWORD otherThread = OtherThreadOf(child);
    CHECK_MSG(otherThread != 0, "the child's second thread was not found");
    // Before the call: what every new process and thread gets.
    EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS), drive::PriorityClassOf(child.Id()));
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, drive::ThreadPriorityOf(child.MainThreadId()));

    SetEvent(go);
    CHECK_MSG(WaitForSingleObject(lowered, drive::Scaled(drive::kTimeout)) == WAIT_OBJECT_0, "the child did not lower its priority");
    EXPECT_EQ(static_cast<DWORD>(IDLE_PRIORITY_CLASS), drive::PriorityClassOf(child.Id()));
    EXPECT_EQ(THREAD_PRIORITY_LOWEST, drive::ThreadPriorityOf(child.MainThreadId()));
    // Only the calling thread is lowered.
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, drive::ThreadPriorityOf(otherThread));

    SetEvent(release);
    DWORD exitCode = 0;
    CHECK_MSG(child.WaitExit(drive::kTimeout, &exitCode), "the child did not end");
    EXPECT_EQ(static_cast<DWORD>(kChildLowered), exitCode);
    // The driver itself is untouched.
    EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS), GetPriorityClass(GetCurrentProcess()));
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(GetCurrentThread()));
    CloseHandle(started);
    CloseHandle(go);
    CloseHandle(lowered);
    CloseHandle(release);
}

BENCH_CASE(helpers, trim_working_set_result_codes) {
    std::string name = "QuorvaneBench." + bench::Show(GetCurrentProcessId()) + ".trim";
    HANDLE started = CreateNamedEvent(name + ".started");
    HANDLE release = CreateNamedEvent(name + ".release");
    CHECK(started && release);
    // A second process that the driver may open: the priority child, held before it lowers anything.
    HANDLE go = CreateNamedEvent(name + ".go");
    HANDLE lowered = CreateNamedEvent(name + ".lowered");
    drive::Process child;
    CHECK_MSG(child.StartChild("lower_priority", name), child.Error());
    CHECK_MSG(WaitForSingleObject(started, drive::Scaled(drive::kTimeout)) == WAIT_OBJECT_0, "the child did not start");

    struct Row {
        const char* label;
        DWORD processId;
        int expected;
    };
    const Row rows[] = {
        {"own process by id", GetCurrentProcessId(), TRIM_DONE},
        {"another process", child.Id(), TRIM_DONE},
        {"a process id nobody has", drive::UnusedProcessId(), TRIM_OPEN_FAILED},
        {"process id 0, the idle process", 0, TRIM_OPEN_FAILED},
    };
    for (const Row& row : rows) {
        bench::Where where(std::string(row.label) + " " + bench::Show(row.processId));
        EXPECT_EQ(row.expected, TrimWorkingSet(row.processId));
    }
    {
        bench::Where where("own process, no argument");
        EXPECT_EQ(static_cast<int>(TRIM_DONE), TrimWorkingSet());
    }
    // Nothing else changed in the other process.
    EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS), drive::PriorityClassOf(child.Id()));
    child.Terminate();
    for (HANDLE h : {started, release, go, lowered}) CloseHandle(h);
}
