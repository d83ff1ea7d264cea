// Groups "exit" and "integrity": every way out of the program, and a damaged program file.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "Bench.h"
#include "Quorvane.h"

namespace {

void ExpectCleanExit(Quorvane& q) {
    DWORD code = 99;
    CHECK_MSG(q.WaitExit(&code), "the program did not end");
    EXPECT_EQ(0ul, code);
}

std::vector<char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Where things lie in the program file, read with the platform's own header layouts.
struct Layout {
    size_t checksumField = 0;
    size_t codeEnd = 0;          // last byte of the code section's file data
    size_t resourceString = 0;   // a byte of the About title in the resources
};

Layout Locate(const std::vector<char>& file) {
    Layout layout;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(file.data() + dos->e_lfanew);
    layout.checksumField = static_cast<size_t>(reinterpret_cast<const char*>(&nt->OptionalHeader.CheckSum) - file.data());
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (std::string(reinterpret_cast<const char*>(section->Name), 5) == ".text") {
            layout.codeEnd = section->PointerToRawData + section->SizeOfRawData - 1;
        }
    }
    // "Quorvane" in UTF-16, as the dialog template holds it.
    const char title[] = "Q\0u\0o\0r\0v\0a\0n\0e\0";
    auto found = std::search(file.begin(), file.end(), title, title + sizeof title - 1);
    if (found != file.end()) layout.resourceString = static_cast<size_t>(found - file.begin()) + 2;
    return layout;
}

// Copies the program into a folder beside the driver (made in the raw form
// \\?\..., which has no length limit) and starts the copy by its wide path:
// the main window must come up and Esc end it with code 0. The copy stays.
void ExpectStartFrom(const char* label, const std::wstring& name) {
    bench::Where where(label);
    std::wstring raw = L"\\\\?\\", copy = drive::BesideDriver(name + L"\\quorvane.exe");
    CreateDirectoryW((raw + drive::BesideDriver(name)).c_str(), nullptr);
    CHECK(CopyFileW(drive::BesideDriver(L"quorvane.exe").c_str(), (raw + copy).c_str(), FALSE));
    Quorvane q;
    bool started = q.process.StartProgram(copy);
    if (!started && copy.size() >= MAX_PATH) {
        SKIP("this platform starts no program from a path of " + std::to_string(copy.size()) + " characters: " +
             q.process.Error());
    }
    CHECK_MSG(started, q.process.Error());
    q.WaitReady();
    q.Activate();
    drive::PressKey(VK_ESCAPE);
    ExpectCleanExit(q);
}

}  // namespace

BENCH_CASE(integrity, starts_from_folders_the_ansi_code_page_cannot_spell) {
    ExpectStartFrom("Latin L with stroke", L"\u0141ukasz");
    ExpectStartFrom("Cyrillic", L"\u041f\u0440\u0438\u043c\u0435\u0440");
    ExpectStartFrom("Chinese", L"\u4f8b\u5b50");
}

BENCH_CASE(integrity, starts_from_a_path_over_260_characters) {
    ExpectStartFrom("long path", std::wstring(250, L'q'));
}

BENCH_CASE(exit, every_way_out_ends_with_code_0) {
    struct Row {
        const char* label;
        int route;
    };
    const Row rows[] = {{"Exit button", 0}, {"Esc", 1}, {"Alt+E", 2}, {"close button", 3}, {"Alt+F4", 4}};
    for (const Row& row : rows) {
        bench::Where where(row.label);
        Quorvane q;
        q.Start();
        q.Activate();
        switch (row.route) {
            case 0: drive::Click(q.exitButton); break;
            case 1: drive::PressKey(VK_ESCAPE); break;
            case 2: drive::PressKey('E', drive::kAlt); break;
            case 3: {
                // The close button sits at the right end of the caption bar.
                RECT frame = drive::WindowRectOf(q.main);
                int border = GetSystemMetrics(SM_CXFIXEDFRAME);
                int button = GetSystemMetrics(SM_CXSIZE);
                int caption = GetSystemMetrics(SM_CYCAPTION);
                drive::ClickAt(POINT{frame.right - border - button / 2, frame.top + border + caption / 2});
                break;
            }
            case 4: drive::PressKey(VK_F4, drive::kAlt); break;
        }
        ExpectCleanExit(q);
    }
}

BENCH_CASE(exit, closing_with_about_open_ends_normally) {
    Quorvane q;
    q.Start();
    q.Activate();
    drive::Click(q.aboutButton);
    CHECK(drive::WaitTopWindow(q.process.Id(), "#32770") != nullptr);
    drive::Post(q.main, WM_CLOSE);
    ExpectCleanExit(q);
}

BENCH_CASE(integrity, damaged_copies_refuse_to_start_with_code_1) {
    std::vector<char> original = ReadFile(drive::BesideDriver("quorvane.exe"));
    CHECK(original.size() > 4096);
    Layout layout = Locate(original);
    CHECK(layout.codeEnd != 0);
    CHECK(layout.resourceString != 0);
    struct Row {
        const char* label;
        size_t offset;
        bool zeroChecksum;
    };
    const Row rows[] = {
        {"header (DOS stub text)", 0x50, false},
        {"code (end of the code section)", layout.codeEnd, false},
        {"resources (About title)", layout.resourceString, false},
        {"last byte", original.size() - 1, false},
        {"checksum field zeroed", layout.checksumField, true},
    };
    for (const Row& row : rows) {
        bench::Where where(row.label);
        std::vector<char> damaged = original;
        if (row.zeroChecksum) {
            std::fill(damaged.begin() + static_cast<long>(row.offset), damaged.begin() + static_cast<long>(row.offset) + 4, 0);
        } else {
            damaged[row.offset] = static_cast<char>(damaged[row.offset] ^ 0x20);
        }
        std::string path = drive::BesideDriver("damaged.exe");
        CHECK(WriteFile(path, damaged));
        Quorvane q;
        CHECK_MSG(q.process.StartProgram(path), q.process.Error());
        HWND box = drive::WaitTopWindow(q.process.Id(), "#32770");
        CHECK_MSG(box != nullptr, "no message box about the damage");
        std::string text;
        for (HWND child : drive::Children(box)) {
            if (drive::ClassOf(child) == "Static") text += drive::TextOf(child);
        }
        EXPECT_MSG(text.find("damaged") != std::string::npos, "message box says " + bench::Show(text));
        EXPECT_EQ(std::string("Quorvane"), drive::TextOf(box));
        EXPECT(drive::TopWindows(q.process.Id(), "QuorvaneWindowClass", true).empty());
        drive::BringToFront(box);
        drive::PressKey(VK_RETURN);
        DWORD code = 99;
        CHECK_MSG(q.WaitExit(&code), "the program did not end after the message box");
        EXPECT_EQ(1ul, code);
        DeleteFileA(path.c_str());
    }
    // The untouched file, copied to the same place, starts normally.
    std::string path = drive::BesideDriver("intact.exe");
    CHECK(WriteFile(path, original));
    Quorvane q;
    q.Start(path);
    EXPECT(drive::TopWindows(q.process.Id(), "#32770").empty());
    drive::Post(q.main, WM_CLOSE);
    ExpectCleanExit(q);
    DeleteFileA(path.c_str());
}
