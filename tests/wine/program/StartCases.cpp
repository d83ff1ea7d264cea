// Group "start": the main window as the program opens it, read from outside the process.
#include "Bench.h"
#include "Quorvane.h"

namespace {

struct ControlRow {
    const char* className;
    const char* text;  // null: the sample address, checked apart
    LONG_PTR style;
    LONG_PTR exStyle;
    RECT rect;  // in the main window's client area
};

// The twelve controls in creation order: class, text, style, ex-style, place.
const ControlRow Controls[12] = {
    {"Button", "  Email  ", 0x50000007, 0, {2, 0, 2 + 324, 0 + 81}},
    {"Static", "Source", 0x50000000, 0, {10, 20, 10 + 50, 20 + 13}},
    {"Static", "Link text", 0x50000000, 0, {10, 44, 10 + 50, 44 + 13}},
    {"Edit", nullptr, 0x50810000, 0x200, {72, 20, 72 + 212, 20 + 21}},
    {"Button", "&P", 0x50011000, 0, {284, 20, 284 + 20, 20 + 20}},
    {"Edit", "email", 0x50810000, 0x200, {72, 44, 72 + 233, 44 + 21}},
    {"Button", "  HTML Code  ", 0x50000007, 0, {2, 81, 2 + 324, 81 + 176}},
    {"Static", "Crypt", 0x50000000, 0, {10, 103, 10 + 50, 103 + 13}},
    {"Edit", "", 0x50201044, 0x200, {72, 103, 72 + 233, 103 + 145}},
    {"Button", "&Crypt", 0x50011000, 0, {86, 262, 86 + 75, 262 + 25}},
    {"Button", "&About", 0x50011000, 0, {166, 262, 166 + 75, 262 + 25}},
    {"Button", "&Exit", 0x50011000, 0, {246, 262, 246 + 75, 262 + 25}},
};

}  // namespace

BENCH_CASE(start, main_window) {
    Quorvane q;
    q.Start();
    EXPECT_EQ(std::string("QuorvaneWindowClass"), drive::ClassOf(q.main));
    EXPECT_EQ(std::string("Quorvane"), drive::TextOf(q.main));
    // Created with WS_VISIBLE | WS_DLGFRAME | WS_SYSMENU; the system adds
    // WS_CAPTION (the border half of it) and WS_CLIPSIBLINGS to every
    // overlapped window. No sizing border, no minimise or maximise box.
    EXPECT_EQ(static_cast<LONG_PTR>(0x10480000 | WS_CAPTION | WS_CLIPSIBLINGS), drive::StyleOf(q.main));
    EXPECT_EQ(static_cast<LONG_PTR>(0), drive::StyleOf(q.main) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_EX_CONTEXTHELP | WS_EX_WINDOWEDGE), drive::ExStyleOf(q.main));
    EXPECT(GetParent(q.main) == nullptr);
}

BENCH_CASE(start, window_is_centred_with_its_size) {
    Quorvane q;
    q.Start();
    RECT rect = drive::WindowRectOf(q.main);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    CHECK_EQ(1024, screenWidth);
    CHECK_EQ(768, screenHeight);
    EXPECT_EQ((RECT{347, 224, 347 + 330, 224 + 320}), rect);
}

BENCH_CASE(start, controls_in_creation_order) {
    Quorvane q;
    q.Start();
    for (size_t i = 0; i < 12; ++i) {
        const ControlRow& row = Controls[i];
        HWND control = q.controls[i];
        bench::Where where("control " + std::to_string(i + 1) + " " + (row.text ? row.text : "EmailEdit"));
        EXPECT_EQ(std::string(row.className), drive::ClassOf(control));
        if (row.text != nullptr) EXPECT_EQ(std::string(row.text), drive::TextOf(control));
        EXPECT_EQ(row.style, drive::StyleOf(control));
        EXPECT_EQ(row.exStyle, drive::ExStyleOf(control));
        EXPECT_EQ(row.rect, drive::RectInParent(control));
        // No control carries an id: the program knows them by handle only.
        EXPECT_EQ(0L, static_cast<long>(GetWindowLongPtrA(control, GWLP_ID)));
    }
}

BENCH_CASE(start, initial_texts_and_focus) {
    Quorvane q;
    q.Start();
    std::string address = drive::TextOf(q.emailEdit);
    size_t at = address.find('@');
    EXPECT_MSG(at != std::string::npos && at > 0 && at + 1 < address.size(),
               "the sample address " + bench::Show(address) + " has no local part, @ and domain");
    EXPECT_EQ(std::string("email"), drive::TextOf(q.linkEdit));
    EXPECT_EQ(std::string(""), drive::TextOf(q.codeEdit));
    EXPECT_EQ(q.emailEdit, q.Focus());
}

BENCH_CASE(start, tab_order_skips_the_code_box) {
    Quorvane q;
    q.Start();
    q.Activate();
    CHECK_EQ(q.emailEdit, q.Focus());
    struct Step {
        const char* label;
        HWND expected;
    };
    const Step forward[] = {{"PasteButton", q.pasteButton}, {"LinkEdit", q.linkEdit}, {"CryptButton", q.cryptButton},
                            {"AboutButton", q.aboutButton}, {"ExitButton", q.exitButton}, {"EmailEdit", q.emailEdit}};
    for (const Step& step : forward) {
        bench::Where where(std::string("Tab to ") + step.label);
        drive::PressKey(VK_TAB);
        EXPECT_MSG(drive::WaitUntil([&] { return q.Focus() == step.expected; }),
                   "focus is on " + drive::ClassOf(q.Focus()) + " " + bench::Show(drive::TextOf(q.Focus())));
    }
    // Shift+Tab walks back the same way.
    drive::PressKey(VK_TAB, drive::kShift);
    EXPECT_MSG(drive::WaitUntil([&] { return q.Focus() == q.exitButton; }), "Shift+Tab did not reach Exit");
}

BENCH_CASE(start, idle_priority_and_lowest_thread_priority) {
    Quorvane q;
    q.Start();
    EXPECT_EQ(static_cast<DWORD>(IDLE_PRIORITY_CLASS), drive::PriorityClassOf(q.process.Id()));
    EXPECT_EQ(THREAD_PRIORITY_LOWEST, drive::ThreadPriorityOf(q.process.MainThreadId()));
}

BENCH_CASE(start, help_ids_readable_from_outside) {
    Quorvane q;
    q.Start();
    // Wine keeps context help ids in the owning process only; the in-process
    // group checks them directly, and the help group checks them as F1 delivers them.
    if (drive::HelpIdOf(q.emailEdit) == 0) {
        SKIP("Wine does not report another process's context help ids (GetWindowContextHelpId gives 0)");
    }
    EXPECT_EQ(1001ul, drive::HelpIdOf(q.emailEdit));
    EXPECT_EQ(1000ul, drive::HelpIdOf(q.linkEdit));
    EXPECT_EQ(1002ul, drive::HelpIdOf(q.codeEdit));
    EXPECT_EQ(1200ul, drive::HelpIdOf(q.cryptButton));
    EXPECT_EQ(1201ul, drive::HelpIdOf(q.aboutButton));
    EXPECT_EQ(1202ul, drive::HelpIdOf(q.exitButton));
    EXPECT_EQ(1203ul, drive::HelpIdOf(q.pasteButton));
}
