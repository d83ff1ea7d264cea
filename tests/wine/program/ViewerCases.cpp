// Group "viewer": Wine's own help viewer opens the built help file at each context number; its windows are read back.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Bench.h"
#include "Bitmap.h"
#include "Drive.h"

namespace {

const char kViewerClass[] = "MS_WINHELP";
const char kViewerProgram[] = "winhlp32.exe";
// A viewer usually starts in well under a second, but Wine now and then
// keeps a new process waiting for several seconds.
const DWORD kViewerTimeout = 20000;

const DWORD kGeneralTopic = 20;
const DWORD kPopupTopics[] = {1000, 1001, 1002, 1200, 1201, 1202, 1203};

std::string HelpFile() { return drive::BesideDriver("Help\\quorvane.hlp"); }

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// ---- The topics as the source file words them --------------------------------

struct Topic {
    std::string title;
    std::vector<std::string> paragraphs;
};

// Read here without the help file writer's code, so that a fault in its
// reading of the source cannot hide itself: "@topic N NAME" starts a topic,
// "@title" gives its heading, and every run of other non-empty lines is one
// paragraph, its lines joined with one space.
std::map<DWORD, Topic> ReadTopics() {
    std::string path = bench::SourcePath("resources/quorvane-help.txt");
    CHECK_MSG(!path.empty(), "no source folder given (--source DIR)");
    std::ifstream in(path);
    CHECK_MSG(static_cast<bool>(in), "cannot read the topic source " + path);
    std::map<DWORD, Topic> topics;
    Topic* topic = nullptr;
    bool inParagraph = false;
    std::string line;
    while (std::getline(in, line)) {
        std::string text = Trim(line);
        if (!text.empty() && text[0] == '#') continue;
        if (text.compare(0, 7, "@topic ") == 0) {
            topic = &topics[std::strtoul(text.c_str() + 7, nullptr, 10)];
            inParagraph = false;
        } else if (text.compare(0, 7, "@title ") == 0) {
            if (topic) topic->title = Trim(text.substr(7));
        } else if (text.empty()) {
            inParagraph = false;
        } else if (topic && text[0] != '@') {
            if (inParagraph) {
                topic->paragraphs.back() += " " + text;
            } else {
                topic->paragraphs.push_back(text);
            }
            inParagraph = true;
        }
    }
    return topics;
}

// The non-empty lines of a text pane, trimmed; the rich edit control ends
// each paragraph with CR LF.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(start, end - start));
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The title as the first line, then the paragraphs in order, word for word.
void ExpectTopicText(const std::string& shown, const Topic& topic) {
    std::vector<std::string> lines = Lines(shown);
    if (lines.empty()) {
        EXPECT_MSG(false, "the viewer's text pane is empty");
        return;
    }
    EXPECT_EQ(topic.title, lines[0]);
    std::vector<std::string> body(lines.begin() + 1, lines.end());
    EXPECT_EQ(topic.paragraphs.size(), body.size());
    for (size_t i = 0; i < topic.paragraphs.size() && i < body.size(); ++i) {
        bench::Where where("paragraph " + std::to_string(i + 1));
        EXPECT_EQ(topic.paragraphs[i], body[i]);
    }
}

// ---- The viewer's processes and windows ----------------------------------------

std::vector<DWORD> ViewerProcesses() {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, kViewerProgram) == 0) found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

// Viewer windows of every viewer process; the viewer started for WinHelpA
// keeps a hidden one that receives the calls.
std::vector<HWND> ViewerWindows(bool includeHidden) {
    std::vector<HWND> windows;
    for (DWORD process : ViewerProcesses()) {
        for (HWND window : drive::TopWindows(process, kViewerClass, includeHidden)) windows.push_back(window);
    }
    return windows;
}

// The message boxes a viewer shows (it refuses a file, or cannot find it),
// each as its caption and its message.
std::vector<std::string> RefusalBoxes() {
    std::vector<std::string> boxes;
    for (DWORD process : ViewerProcesses()) {
        for (HWND box : drive::TopWindows(process, "#32770")) {
            std::string text = drive::TextOf(box) + ":";
            for (HWND child : drive::Children(box)) {
                if (drive::ClassOf(child) == "Static" && !drive::TextOf(child).empty()) {
                    text += " " + drive::TextOf(child);
                }
            }
            boxes.push_back(text);
        }
    }
    return boxes;
}

std::string Join(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) joined += (joined.empty() ? "" : " | ") + bench::Show(text);
    return joined;
}

// A visible viewer window whose text pane (a rich edit control) holds text.
bool FindShownTopic(HWND* window, HWND* pane) {
    for (HWND top : ViewerWindows(false)) {
        for (HWND child : drive::Children(top)) {
            if (drive::ClassOf(child).compare(0, 8, "RichEdit") == 0 && drive::Send(child, WM_GETTEXTLENGTH) > 0) {
                *window = top;
                *pane = child;
                return true;
            }
        }
    }
    return false;
}

// Asks the viewers to close, then ends the ones that do not (one waiting in
// a message box, say). True when none is left.
bool EndViewers() {
    for (HWND window : ViewerWindows(true)) drive::Post(window, WM_CLOSE);
    if (drive::WaitUntil([] { return ViewerProcesses().empty(); }, 3000)) return true;
    for (DWORD id : ViewerProcesses()) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process) continue;
        TerminateProcess(process, 1);
        WaitForSingleObject(process, drive::Scaled(5000));
        CloseHandle(process);
    }
    return ViewerProcesses().empty();
}

// One WinHelpA call on a thread of its own. While the viewer shows a message
// box, WinHelpA does not return (it waits for the viewer's answer to its
// WM_COPYDATA), and a case has to see the box instead of hanging.
struct PendingCall {
    std::string file;
    UINT command = 0;
    ULONG_PTR data = 0;
    volatile LONG finished = 0;
    BOOL result = FALSE;
    HANDLE thread = nullptr;
};

DWORD WINAPI CallThread(LPVOID parameter) {
    PendingCall* call = static_cast<PendingCall*>(parameter);
    call->result = WinHelpA(nullptr, call->file.c_str(), call->command, call->data);
    InterlockedExchange(&call->finished, 1);
    return 0;
}

struct Answer {
    bool returned = false;  // WinHelpA came back within the time
    BOOL result = FALSE;
};

// The viewer for one case: nothing from before it, nothing left after it.
class ViewerSession {
public:
    ViewerSession() {
        // WinHelpA talks to the first window of the viewer's class it finds; one of the driver's own would take the calls.
        CHECK_MSG(drive::TopWindows(GetCurrentProcessId(), kViewerClass, true).empty(),
                  "the driver owns an MS_WINHELP window, which would take the calls meant for the viewer");
        if (!ViewerProcesses().empty()) {
            std::printf("    note: a help viewer from before this case was still running; ended it\n");
            CHECK_MSG(EndViewers(), "a help viewer from before this case cannot be ended");
        }
    }
    ~ViewerSession() { End(); }
    ViewerSession(const ViewerSession&) = delete;
    ViewerSession& operator=(const ViewerSession&) = delete;

    // WinHelpA as a program calls it, with a time limit.
    Answer Ask(UINT command, ULONG_PTR data, const std::string& file) {
        bool viewerWasRunning = !ViewerWindows(true).empty();
        Answer answer = Call(command, data, file);
        if (answer.returned && !answer.result && !viewerWasRunning) {
            // Wine's WinHelpA starts the viewer when none runs, waits for
            // it to become idle, and looks for its window once; the new
            // viewer sometimes makes that window a moment later, and the call
            // returns FALSE having delivered nothing. The next call finds
            // the window, so the call is repeated once it exists.
            std::printf("    note: WinHelpA returned FALSE while Wine started the viewer; asked again "
                        "once the viewer's window existed\n");
            if (drive::WaitUntil([] { return !ViewerWindows(true).empty(); }, kViewerTimeout)) {
                answer = Call(command, data, file);
            }
        }
        return answer;
    }

    // HELP_QUIT, as a program ends the viewer; true when no viewer process is left.
    bool Quit(const std::string& file) {
        Call(HELP_QUIT, 0, file);
        return drive::WaitUntil([] { return ViewerProcesses().empty(); }, drive::kTimeout);
    }

    // Ends every viewer and waits for the calls still inside WinHelpA, which
    // return once their viewer is gone. True when nothing is left.
    bool End() {
        bool ended = EndViewers();
        for (size_t i = 0; i < calls_.size();) {
            PendingCall* call = calls_[i];
            if (!drive::WaitUntil([call] { return call->finished != 0; }, 5000)) {
                // A thread still inside WinHelpA keeps its record: it is left to the process's end.
                ended = false;
                ++i;
                continue;
            }
            WaitForSingleObject(call->thread, drive::Scaled(5000));
            CloseHandle(call->thread);
            delete call;
            calls_.erase(calls_.begin() + static_cast<std::ptrdiff_t>(i));
        }
        return ended;
    }

private:
    Answer Call(UINT command, ULONG_PTR data, const std::string& file) {
        PendingCall* call = new PendingCall;
        call->file = file;
        call->command = command;
        call->data = data;
        call->thread = CreateThread(nullptr, 0, CallThread, call, 0, nullptr);
        if (!call->thread) {
            delete call;
            CHECK_MSG(false, "CreateThread failed");
        }
        calls_.push_back(call);
        // Waiting pumps the driver's messages: without that, a starting
        // viewer was seen to take more than five seconds to make its window.
        drive::WaitUntil([call] { return call->finished != 0 || !RefusalBoxes().empty(); }, kViewerTimeout);
        if (!call->finished) drive::WaitUntil([call] { return call->finished != 0; }, 300);
        Answer answer;
        answer.returned = call->finished != 0;
        answer.result = call->result;
        return answer;
    }

    std::vector<PendingCall*> calls_;
};

std::string Describe(const Answer& answer) {
    if (!answer.returned) {
        std::vector<std::string> boxes = RefusalBoxes();
        return boxes.empty() ? "WinHelpA did not return" : "WinHelpA did not return; the viewer shows " + Join(boxes);
    }
    return answer.result ? "WinHelpA returned TRUE" : "WinHelpA returned FALSE";
}

// Opens one topic in a fresh viewer, compares the text the viewer shows with
// the source, and closes the viewer again.
void CheckTopicInViewer(DWORD number, const Topic& topic, const std::string& file) {
    {
        ViewerSession viewer;
        Answer answer = viewer.Ask(HELP_CONTEXT, number, file);
        std::vector<std::string> boxes = RefusalBoxes();
        EXPECT_MSG(boxes.empty(), "the viewer put up a message box: " + Join(boxes));
        EXPECT_MSG(answer.returned && answer.result, Describe(answer));
        if (answer.returned && answer.result) {
            HWND window = nullptr, pane = nullptr;
            bool shown = drive::WaitUntil([&] { return FindShownTopic(&window, &pane); }, drive::kTimeout);
            EXPECT_MSG(shown, "no viewer window shows a topic");
            if (shown) ExpectTopicText(drive::TextOf(pane), topic);
            EXPECT_MSG(RefusalBoxes().empty(), "the viewer put up a message box after showing the topic");
        }
        EXPECT_MSG(viewer.Quit(file), "HELP_QUIT left a viewer process running");
    }
    EXPECT_MSG(ViewerProcesses().empty(), "a viewer process is still running after the topic was closed");
}

// Pixels clearly darker than the viewer's white page: drawn text.
int InkPixels(const drive::Image& image, const RECT& area) {
    int count = 0;
    for (int y = std::max(0L, area.top); y < std::min<LONG>(image.height, area.bottom); ++y) {
        for (int x = std::max(0L, area.left); x < std::min<LONG>(image.width, area.right); ++x) {
            COLORREF c = image.At(x, y);
            if (GetRValue(c) < 128 && GetGValue(c) < 128 && GetBValue(c) < 128) ++count;
        }
    }
    return count;
}

}  // namespace

BENCH_CASE(viewer, each_context_number_opens_its_topic) {
    std::map<DWORD, Topic> topics = ReadTopics();
    std::string file = HelpFile();
    CHECK_MSG(GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES, "the built help file is missing: " + file);
    std::vector<DWORD> numbers(1, kGeneralTopic);
    numbers.insert(numbers.end(), std::begin(kPopupTopics), std::end(kPopupTopics));
    for (DWORD number : numbers) {
        bench::Where where("context " + std::to_string(number));
        auto topic = topics.find(number);
        EXPECT_MSG(topic != topics.end(), "the topic source has no topic with this number");
        if (topic != topics.end()) CheckTopicInViewer(number, topic->second, file);
    }
}

BENCH_CASE(viewer, screenshot_of_the_general_topic) {
    // The picture that ctest turns into help-topic-20.png; an old one must not stand in for it.
    std::string shotPath = drive::BesideDriver("help-topic-20.bmp");
    DeleteFileA(shotPath.c_str());
    std::map<DWORD, Topic> topics = ReadTopics();
    CHECK_MSG(topics.count(kGeneralTopic) == 1, "the topic source has no general topic");
    std::string file = HelpFile();
    {
        ViewerSession viewer;
        Answer answer = viewer.Ask(HELP_CONTEXT, kGeneralTopic, file);
        CHECK_MSG(answer.returned && answer.result, Describe(answer));
        HWND window = nullptr, pane = nullptr;
        CHECK_MSG(drive::WaitUntil([&] { return FindShownTopic(&window, &pane); }, drive::kTimeout),
                  "no viewer window shows a topic");
        std::vector<std::string> lines = Lines(drive::TextOf(pane));
        CHECK_MSG(!lines.empty() && lines[0] == topics[kGeneralTopic].title,
                  "the viewer does not show the general topic");
        // WinHelpA returns before the viewer has painted the new text: the
        // picture is taken once the text pane shows ink, not only its white
        // page, and two captures in a row are the same.
        RECT windowRect = drive::WindowRectOf(window);
        RECT paneRect = drive::WindowRectOf(pane);
        OffsetRect(&paneRect, -windowRect.left, -windowRect.top);
        drive::Image shot, previous;
        bool captured = false;
        int ink = 0;
        bool painted = drive::WaitUntil([&] {
            previous = shot;
            if (!drive::CaptureScreen(windowRect, &shot)) return false;
            captured = true;
            ink = InkPixels(shot, paneRect);
            return ink > 2000 && shot.pixels == previous.pixels;
        });
        CHECK_MSG(captured, "the screen cannot be read");
        CHECK_MSG(SaveBitmap(shot, shotPath), "cannot write " + shotPath);
        std::printf("    screenshot of the viewer (%dx%d): %s\n", shot.width, shot.height, shotPath.c_str());
        EXPECT_MSG(painted, "the text pane shows almost no text, or keeps changing, " +
                                bench::Show(drive::Scaled(drive::kTimeout)) + " ms after WinHelpA returned (hang guard): " +
                                std::to_string(ink) + " dark pixels");
        EXPECT_MSG(viewer.Quit(file), "HELP_QUIT left a viewer process running");
    }
    EXPECT_MSG(ViewerProcesses().empty(), "a viewer process is still running after the case");
}

BENCH_CASE(viewer, popup_calls_are_accepted_without_refusal) {
    std::string file = HelpFile();
    {
        ViewerSession viewer;
        for (DWORD number : kPopupTopics) {
            bench::Where where("context " + std::to_string(number));
            // TRUE is the viewer's own answer to the call: it got it.
            Answer answer = viewer.Ask(HELP_CONTEXTPOPUP, number, file);
            EXPECT_MSG(answer.returned && answer.result, Describe(answer));
            std::vector<std::string> boxes = RefusalBoxes();
            EXPECT_MSG(boxes.empty(), "the viewer put up a message box: " + Join(boxes));
        }
        EXPECT_MSG(viewer.Quit(file), "HELP_QUIT left a viewer process running");
    }
    EXPECT_MSG(ViewerProcesses().empty(), "a viewer process is still running after the case");
}

BENCH_CASE(viewer, popup_shows_its_topic) {
    std::map<DWORD, Topic> topics = ReadTopics();
    CHECK_MSG(topics.count(1001) == 1, "the topic source has no topic 1001");
    std::string file = HelpFile();
    bool shown = false;
    {
        ViewerSession viewer;
        Answer answer = viewer.Ask(HELP_CONTEXTPOPUP, 1001, file);
        CHECK_MSG(answer.returned && answer.result, Describe(answer));
        HWND window = nullptr, pane = nullptr;
        shown = drive::WaitUntil([&] { return FindShownTopic(&window, &pane); }, 3000);
        if (shown) ExpectTopicText(drive::TextOf(pane), topics[1001]);
        EXPECT_MSG(viewer.Quit(file), "HELP_QUIT left a viewer process running");
    }
    EXPECT_MSG(ViewerProcesses().empty(), "a viewer process is still running after the case");
    if (!shown) {
        SKIP("Wine's winhlp32 takes HELP_CONTEXTPOPUP (WinHelpA returns TRUE) but its handler is a stub "
             "that opens no window, so there is no pop-up whose text could be read");
    }
}

BENCH_CASE(viewer, a_file_that_is_no_help_file_brings_a_refusal_box) {
    // The cases above would miss a refusal they cannot see: a plain text
    // file in place of the help file shows that the box is found, and that
    // a WinHelpA call stuck behind it ends with the viewer.
    std::string notHelp = bench::SourcePath("resources/quorvane-help.txt");
    CHECK_MSG(!notHelp.empty(), "no source folder given (--source DIR)");
    {
        ViewerSession viewer;
        Answer answer = viewer.Ask(HELP_CONTEXT, kGeneralTopic, notHelp);
        std::vector<std::string> boxes = RefusalBoxes();
        EXPECT_MSG(!boxes.empty(), "no message box from the viewer; " + Describe(answer));
        if (!boxes.empty()) std::printf("    the viewer's box: %s\n", Join(boxes).c_str());
        EXPECT_MSG(viewer.End(), "the viewer or the WinHelpA call waiting for it did not end");
    }
    EXPECT_MSG(ViewerProcesses().empty(), "a viewer process is still running after the case");
}
