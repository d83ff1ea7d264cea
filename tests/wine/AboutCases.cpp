// Cases of group "about": the program's modeless About box, opened in the stand-in host (about_host.exe).
#include <windows.h>

#include <cstdio>

#include "Bench.h"
#include "Drive.h"
#include "resource.h"

namespace {

const char kDialogClass[] = "#32770";

// The host's registered query message and its questions (see AboutHost.cpp).
const WPARAM kQueryAboutDialog = 0;
const WPARAM kQueryEmailEdit = 1;
const WPARAM kQueryOtherEdit = 2;

// The running host with its windows.
struct Host {
    drive::Process process;
    HWND window = nullptr;
    DWORD thread = 0;
    UINT query = 0;
    HWND emailEdit = nullptr;
    HWND otherEdit = nullptr;

    // The host's AboutDialog variable.
    HWND AboutDialog() const {
        return reinterpret_cast<HWND>(drive::Send(window, query, kQueryAboutDialog, 0, 0));
    }
    // Its open About boxes, newest (topmost) first.
    std::vector<HWND> Boxes() const { return drive::TopWindows(process.Id(), kDialogClass); }
    HWND Focus() const { return drive::FocusOf(thread); }
};

void StartHost(Host& host) {
    CHECK_MSG(host.process.StartProgram(drive::BesideDriver("about_host.exe")), host.process.Error());
    host.window = drive::WaitTopWindow(host.process.Id(), "QuorvaneAboutHost");
    CHECK_MSG(host.window != nullptr, "the host window did not appear");
    host.thread = drive::ThreadOf(host.window);
    host.query = RegisterWindowMessageA("QuorvaneAboutHost.Query");
    host.emailEdit = reinterpret_cast<HWND>(drive::Send(host.window, host.query, kQueryEmailEdit, 0, 0));
    host.otherEdit = reinterpret_cast<HWND>(drive::Send(host.window, host.query, kQueryOtherEdit, 0, 0));
    CHECK(host.emailEdit != nullptr && host.otherEdit != nullptr);
    CHECK_MSG(drive::BringToFront(host.window), "the host window did not come to the front");
    CHECK_MSG(drive::WaitUntil([&] { return host.Focus() == host.emailEdit; }), "the host's focus is not in EmailEdit");
}

// Presses F3, the program's About accelerator, and waits for the new box.
HWND OpenWithF3(Host& host) {
    size_t before = host.Boxes().size();
    CHECK(drive::PressKey(VK_F3));
    HWND box = nullptr;
    bool opened = drive::WaitUntil([&] {
        std::vector<HWND> boxes = host.Boxes();
        box = boxes.size() > before ? boxes.front() : nullptr;
        return box != nullptr;
    });
    CHECK_MSG(opened, "F3 opened no About box");
    return box;
}

HWND OkOf(HWND box) { return GetDlgItem(box, IDC_ABOUT_OK); }

// After a box has closed: AboutDialog is 0 and the focus is in EmailEdit.
void ExpectClosedState(Host& host) {
    EXPECT_EQ(static_cast<HWND>(nullptr), host.AboutDialog());
    EXPECT_MSG(drive::WaitUntil([&] { return host.Focus() == host.emailEdit; }),
               "focus in " + bench::Show(host.Focus()) + " (" + drive::ClassOf(host.Focus()) +
                   "), expected EmailEdit " + bench::Show(host.emailEdit));
}

// Puts the host's focus into the second edit control with a click.
void FocusOtherEdit(Host& host) {
    CHECK(drive::Click(host.otherEdit));
    CHECK_MSG(drive::WaitUntil([&] { return host.Focus() == host.otherEdit; }), "a click did not focus the other edit");
}

}  // namespace

BENCH_CASE(about, opens_on_f3_centred_with_focus_on_ok) {
    Host host;
    StartHost(host);
    HWND box = OpenWithF3(host);
    EXPECT_EQ(box, host.AboutDialog());
    EXPECT_EQ(host.window, GetWindow(box, GW_OWNER));
    EXPECT_EQ(std::string("  About"), drive::TextOf(box));

    RECT rect = drive::WindowRectOf(box);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    CHECK(width > 0 && width < 1024 && height > 0 && height < 768);
    // Centred on the 1024x768 screen, the odd pixel to the right and bottom.
    RECT centred = {(1024 - width) / 2, (768 - height) / 2, (1024 - width) / 2 + width, (768 - height) / 2 + height};
    EXPECT_EQ(centred, rect);

    EXPECT_EQ(OkOf(box), host.Focus());
    EXPECT_EQ(box, drive::ActiveOf(host.thread));
    // The host window stays enabled while the box is open.
    EXPECT(IsWindowEnabled(host.window));
}

BENCH_CASE(about, closes_on_ok_click_enter_and_space) {
    struct Row {
        const char* label;
        bool (*close)(HWND box);
    };
    const Row rows[] = {
        {"click on Ok", [](HWND box) { return drive::Click(OkOf(box)); }},
        {"Enter", [](HWND) { return drive::PressKey(VK_RETURN); }},
        {"Space", [](HWND) { return drive::PressKey(VK_SPACE); }},
    };
    Host host;
    StartHost(host);
    for (const Row& row : rows) {
        bench::Where where(row.label);
        // The focus starts elsewhere than in EmailEdit, so that its return there shows.
        FocusOtherEdit(host);
        HWND box = OpenWithF3(host);
        CHECK_EQ(OkOf(box), host.Focus());
        CHECK(row.close(box));
        CHECK_MSG(drive::WaitGone(box), "the About box is still open");
        ExpectClosedState(host);
    }
}

// Only the Ok button's own command closes the box: the whole wParam is
// compared, and the dialog manager's IDOK and IDCANCEL are ignored.
BENCH_CASE(about, ignores_other_commands) {
    Host host;
    StartHost(host);
    HWND box = OpenWithF3(host);
    struct Row {
        const char* label;
        UINT message;
        WPARAM wParam;
    };
    const Row rows[] = {
        {"IDOK", WM_COMMAND, IDOK},
        {"IDCANCEL", WM_COMMAND, IDCANCEL},
        {"Ok's id with BN_DOUBLECLICKED", WM_COMMAND, MAKEWPARAM(IDC_ABOUT_OK, BN_DOUBLECLICKED)},
        {"Ok's id with notification 1", WM_COMMAND, MAKEWPARAM(IDC_ABOUT_OK, 1)},
        {"id 1201", WM_COMMAND, 1201},
        {"id 1203", WM_COMMAND, 1203},
        {"WM_CLOSE", WM_CLOSE, 0},
    };
    for (const Row& row : rows) {
        bench::Where where(row.label);
        CHECK(drive::Send(box, row.message, row.wParam, 0, -1) != -1);
        EXPECT_MSG(IsWindow(box) && IsWindowVisible(box), "the About box closed");
        EXPECT_EQ(box, host.AboutDialog());
    }
    // The dialog manager answers WM_CLOSE with a posted IDCANCEL. The host's
    // posted messages are handled in order, so once a box opened by a posted
    // About command is there, that IDCANCEL has been handled too.
    CHECK(drive::Post(host.window, WM_COMMAND, CMD_ABOUT, 0));
    CHECK_MSG(drive::WaitUntil([&] { return host.Boxes().size() == 2; }), "the posted About command opened no box");
    EXPECT_MSG(IsWindow(box), "the About box closed after WM_CLOSE");
    // The one command that closes a box.
    for (HWND open : host.Boxes()) {
        drive::Send(open, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_OK, BN_CLICKED), reinterpret_cast<LPARAM>(OkOf(open)), -1);
        EXPECT_MSG(drive::WaitGone(open), "WM_COMMAND with Ok's id did not close the box");
    }
    ExpectClosedState(host);
}

// F3 while a box is active opens another exactly over it. Closing either sets
// AboutDialog to 0 although one is still open; the remaining box then has no
// dialog keys (Enter does nothing) but still closes on a click on its Ok.
BENCH_CASE(about, second_box_over_the_first) {
    Host host;
    StartHost(host);
    HWND first = OpenWithF3(host);
    HWND second = OpenWithF3(host);
    CHECK(first != second);
    EXPECT_EQ(second, host.AboutDialog());
    EXPECT_EQ(drive::WindowRectOf(first), drive::WindowRectOf(second));
    EXPECT_EQ(OkOf(second), host.Focus());
    EXPECT_EQ(2u, host.Boxes().size());

    CHECK(drive::Click(OkOf(second)));
    CHECK_MSG(drive::WaitGone(second), "the second box did not close on a click on its Ok");
    CHECK(IsWindow(first));
    ExpectClosedState(host);

    // Back into the remaining box: a click on its body activates it, and the
    // dialog manager gives the focus back to Ok.
    RECT rect = drive::WindowRectOf(first);
    CHECK(drive::ClickAt(POINT{rect.left + 8, (rect.top + rect.bottom) / 2}));
    CHECK_MSG(drive::WaitUntil([&] { return host.Focus() == OkOf(first); }),
              "focus in " + bench::Show(host.Focus()) + ", expected the first box's Ok");
    EXPECT_EQ(static_cast<HWND>(nullptr), host.AboutDialog());

    // Enter, then F3 as a marker: the keys arrive in order, so once the third
    // box is open, Enter has been handled, and the first box must still be there.
    CHECK(drive::PressKey(VK_RETURN));
    HWND third = OpenWithF3(host);
    EXPECT_MSG(IsWindow(first), "Enter closed a box that is no longer AboutDialog");
    EXPECT_EQ(third, host.AboutDialog());

    CHECK(drive::Click(OkOf(third)));
    CHECK_MSG(drive::WaitGone(third), "the third box did not close on a click on its Ok");
    if (IsWindow(first)) {
        CHECK(drive::Click(OkOf(first)));
        EXPECT_MSG(drive::WaitGone(first), "the remaining box did not close on a click on its Ok");
    }
    EXPECT(host.Boxes().empty());
    ExpectClosedState(host);
}

// ---- The icon --------------------------------------------------------------

namespace {

// The standard 16-colour palette that the icon picture's hex digits name.
const COLORREF kPalette[16] = {
    RGB(0, 0, 0),     RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),   RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(255, 0, 0), RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),   RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255),
};

// The 16x16 picture the icon is made from: 16 rows of hex digits or "." for
// transparent, after "#" comment lines.
bool ReadIconPicture(const std::string& path, std::vector<std::string>* rows) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        std::string row(line);
        while (!row.empty() && (row.back() == '\n' || row.back() == '\r')) row.pop_back();
        if (row.empty() || row[0] == '#') continue;
        rows->push_back(row);
    }
    std::fclose(file);
    if (rows->size() != 16) return false;
    for (const std::string& row : *rows) {
        if (row.size() != 16) return false;
    }
    return true;
}

COLORREF PictureColour(char pixel, COLORREF background) {
    if (pixel == '.') return background;
    int index = pixel <= '9' ? pixel - '0' : pixel - 'A' + 10;
    return kPalette[index & 15];
}

// Compares a capture of the client area from `origin` on with the picture
// drawn at `icon` (client coordinates) in `scale`-sized pixels, background all
// around it. Returns the number of differing pixels, and describes the first few.
int CompareIcon(const drive::Image& image, POINT origin, POINT icon, int scale, const std::vector<std::string>& picture,
                COLORREF background, std::string* report) {
    int x = icon.x - origin.x, y = icon.y - origin.y;
    int differences = 0;
    for (int py = 0; py < image.height; ++py) {
        for (int px = 0; px < image.width; ++px) {
            int sx = px - x, sy = py - y;
            bool inside = sx >= 0 && sy >= 0 && sx < 16 * scale && sy < 16 * scale;
            COLORREF expected = inside ? PictureColour(picture[sy / scale][sx / scale], background) : background;
            COLORREF actual = image.At(px, py);
            if (actual == expected) continue;
            if (++differences <= 5) {
                char text[160];
                std::snprintf(text, sizeof text, "\n      client (%d,%d)%s: expected %s, got %s",
                              static_cast<int>(px + origin.x), static_cast<int>(py + origin.y),
                              inside ? "" : " outside the icon", drive::ColourName(expected).c_str(),
                              drive::ColourName(actual).c_str());
                *report += text;
            }
        }
    }
    return differences;
}

}  // namespace

// The icon is painted at (10, 5) of the client area at the system's icon
// size, on the first paint and on every repaint.
BENCH_CASE(about, paints_the_icon_at_10_5) {
    std::vector<std::string> picture;
    std::string picturePath = bench::SourcePath("resources/icon.txt");
    CHECK_MSG(ReadIconPicture(picturePath, &picture), "cannot read the icon picture " + picturePath +
                                                          " (the driver needs --source DIR)");
    int scale = GetSystemMetrics(SM_CXICON) / 16;
    CHECK(scale >= 1 && GetSystemMetrics(SM_CYICON) == GetSystemMetrics(SM_CXICON));

    // Can the screen be read back at all? A window of a known colour answers it.
    {
        RECT probeRect = {600, 20, 640, 60};
        drive::ColourWindow probe(probeRect, RGB(12, 34, 56));
        drive::Image image;
        bool readable = drive::WaitUntil([&] {
            return drive::CaptureScreen(probeRect, &image) && image.At(20, 20) == RGB(12, 34, 56);
        });
        if (!readable) SKIP("the screen cannot be read back under this Wine (BitBlt from the screen DC)");
    }

    Host host;
    StartHost(host);
    HWND box = OpenWithF3(host);
    const int margin = 3;
    POINT origin = drive::ClientToScreenPoint(box, 10 - margin, 5 - margin);
    RECT area = {origin.x, origin.y, origin.x + 16 * scale + 2 * margin, origin.y + 16 * scale + 2 * margin};
    COLORREF background = GetSysColor(COLOR_BTNFACE);

    drive::Image image;
    std::string report;
    int differences = 0;
    auto iconShown = [&] {
        report.clear();
        differences = drive::CaptureScreen(area, &image)
                          ? CompareIcon(image, POINT{10 - margin, 5 - margin}, POINT{10, 5}, scale, picture, background, &report)
                          : -1;
        return differences == 0;
    };
    bench::Where where("icon " + bench::Show(16 * scale) + "x" + bench::Show(16 * scale) + " at (10,5)");
    {
        bench::Where first("first paint");
        EXPECT_MSG(drive::WaitUntil(iconShown), bench::Show(differences) + " pixels differ:" + report);
    }

    // Covered, repainted (erase included) while covered, and uncovered: what
    // shows then is the new paint, not pixels left from the first one.
    bench::Where repaint("repainted");
    {
        drive::ColourWindow cover(area, RGB(255, 0, 255));
        bool covered = drive::WaitUntil([&] {
            if (drive::CaptureScreen(area, &image) && image.At(margin + 1, margin + 1) == RGB(255, 0, 255)) return true;
            // Wine on Xvfb now and then leaves a window shown over another
            // one unpainted on the screen; painting it again brings it out.
            RedrawWindow(cover.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
            return false;
        });
        if (!covered) SKIP("Wine did not put the covering window on the screen, so a repaint cannot be told from old pixels");
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    EXPECT_MSG(drive::WaitUntil(iconShown), bench::Show(differences) + " pixels differ:" + report);
}
