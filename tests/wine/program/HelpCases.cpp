// Group "help": the WinHelp calls that F1 and the "?" button make, captured without a help viewer.
#include "Bench.h"
#include "Quorvane.h"

namespace {

// Under Wine, WinHelpA looks for the top-level window of class "MS_WINHELP"
// and sends it WM_COPYDATA with this tag and the record below, followed by
// the file name. Owning such a window, the driver sees every call exactly.
const ULONG_PTR kWinHelpTag = 0x0A1DE505;

#pragma pack(push, 1)
struct WinHelpRecord {
    WORD size;
    WORD command;
    LONG data;
    LONG reserved;
    WORD fileNameOffset;
    WORD dataOffset;
};
#pragma pack(pop)

struct HelpCall {
    UINT command;
    DWORD data;
    std::string file;
};

std::vector<HelpCall> calls;

LRESULT CALLBACK CaptureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (copy->dwData == kWinHelpTag && copy->cbData >= sizeof(WinHelpRecord)) {
            const char* bytes = static_cast<const char*>(copy->lpData);
            const WinHelpRecord* record = reinterpret_cast<const WinHelpRecord*>(bytes);
            HelpCall call = {record->command, static_cast<DWORD>(record->data), ""};
            if (record->fileNameOffset != 0 && record->fileNameOffset < copy->cbData) {
                call.file.assign(bytes + record->fileNameOffset,
                                 strnlen(bytes + record->fileNameOffset, copy->cbData - record->fileNameOffset));
            }
            calls.push_back(call);
            return TRUE;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The stand-in help viewer for the life of one case.
class HelpCapture {
public:
    HelpCapture() {
        WNDCLASSA record = {};
        record.lpfnWndProc = CaptureProc;
        record.hInstance = GetModuleHandleA(nullptr);
        record.lpszClassName = "MS_WINHELP";
        RegisterClassA(&record);
        window_ = CreateWindowExA(0, "MS_WINHELP", "help capture", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  record.hInstance, nullptr);
        calls.clear();
    }
    ~HelpCapture() { DestroyWindow(window_); }
    HWND Window() const { return window_; }

    // Waits for exactly one more call and returns it.
    HelpCall Next() {
        size_t before = calls.size();
        CHECK_MSG(drive::WaitUntil([&] { return calls.size() > before; }, 5000), "no WinHelp call arrived");
        return calls.back();
    }

private:
    HWND window_;
};

const char kHelpFile[] = "Help\\quorvane.hlp";

// The undocumented message that F1 turns into in the window with the focus.
const UINT kKeyF1 = 0x004D;

}  // namespace

BENCH_CASE(help, f1_in_each_control_asks_for_its_popup) {
    Quorvane q;
    HelpCapture capture;
    CHECK(capture.Window() != nullptr);
    q.Start();
    struct Row {
        const char* label;
        HWND control;
        DWORD id;
    };
    const Row rows[] = {
        {"EmailEdit", q.emailEdit, 1001},     {"LinkEdit", q.linkEdit, 1000},       {"CodeEdit", q.codeEdit, 1002},
        {"CryptButton", q.cryptButton, 1200}, {"AboutButton", q.aboutButton, 1201}, {"ExitButton", q.exitButton, 1202},
        {"PasteButton", q.pasteButton, 1203},
    };
    for (const Row& row : rows) {
        bench::Where where(row.label);
        // Buttons take the focus from Tab as well as a click; a click on a
        // button would press it, so reach them by Tab from the address field.
        if (drive::ClassOf(row.control) == "Edit") {
            q.FocusByClick(row.control);
        } else {
            q.FocusByClick(q.emailEdit);
            // Each Tab is pressed once the one before has moved the focus, however long the program took.
            for (int i = 0; i < 6 && q.Focus() != row.control; ++i) {
                HWND before = q.Focus();
                CHECK(drive::PressKey(VK_TAB));
                CHECK_MSG(drive::WaitUntil([&] { return q.Focus() != before; }),
                          "Tab did not move the focus within " + bench::Show(drive::Scaled(drive::kTimeout)) +
                              " ms: hang guard");
            }
            CHECK_EQ(row.control, q.Focus());
        }
        drive::PressKey(VK_F1);
        HelpCall call = capture.Next();
        EXPECT_EQ(static_cast<UINT>(HELP_CONTEXTPOPUP), call.command);
        EXPECT_EQ(row.id, call.data);
        EXPECT_EQ(std::string(kHelpFile), call.file);
    }
}

BENCH_CASE(help, controls_without_a_topic_ask_for_the_general_one) {
    Quorvane q;
    HelpCapture capture;
    q.Start();
    // Labels and group boxes never hold the focus, so a key press cannot
    // reach them. WM_KEYF1 is what F1 becomes in the window that has it: the
    // platform then builds the help record from that window's own context id
    // and sends WM_HELP, which labels and group boxes pass to their parent.
    struct Row {
        const char* label;
        HWND control;
    };
    const Row rows[] = {{"Email group", q.controls[0]}, {"Source label", q.controls[1]},
                        {"Link text label", q.controls[2]}, {"HTML Code group", q.controls[6]},
                        {"Crypt label", q.controls[7]}, {"main window", q.main}};
    for (const Row& row : rows) {
        bench::Where where(row.label);
        drive::Post(row.control, kKeyF1);
        HelpCall call = capture.Next();
        EXPECT_EQ(static_cast<UINT>(HELP_CONTEXT), call.command);
        EXPECT_EQ(20ul, call.data);
        EXPECT_EQ(std::string(kHelpFile), call.file);
    }
    // The same route for a control with a topic gives its pop-up.
    drive::Post(q.linkEdit, kKeyF1);
    HelpCall call = capture.Next();
    EXPECT_EQ(static_cast<UINT>(HELP_CONTEXTPOPUP), call.command);
    EXPECT_EQ(1000ul, call.data);
}

BENCH_CASE(help, question_mark_button_then_click) {
    Quorvane q;
    HelpCapture capture;
    q.Start();
    q.Activate();
    // The caption's "?" button puts the window into context-help mode; the
    // next click on a control sends WM_HELP for it.
    // The mode is a loop of the window's thread that holds the mouse capture;
    // the click goes in only once the capture is there.
    drive::Post(q.main, WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
    if (!drive::WaitUntil([&] { return drive::CaptureOf(q.process.MainThreadId()) != nullptr; })) {
        SKIP("Wine does not enter context-help mode on SC_CONTEXTHELP (the caption's \"?\" button): the program's "
             "thread took no mouse capture within " + bench::Show(drive::Scaled(drive::kTimeout)) + " ms");
    }
    drive::Click(q.controls[1]);
    CHECK_MSG(drive::WaitUntil([] { return !calls.empty(); }),
              "the click in context-help mode brought no WM_HELP within " +
                  bench::Show(drive::Scaled(drive::kTimeout)) + " ms: hang guard");
    EXPECT_EQ(static_cast<UINT>(HELP_CONTEXT), calls.back().command);
    EXPECT_EQ(20ul, calls.back().data);
}
