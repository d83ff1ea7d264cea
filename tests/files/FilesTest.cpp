// The file layer on a real temporary folder: the walk's lines for what a site holds, and the replacement against files that change under it.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <errno.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "Files.h"
#include "Flow.h"
#include "Names.h"
#include "TemporaryName.h"
#include "Walk.h"

namespace {

namespace fs = std::filesystem;
using files::Outcome;

class FilesTest : public ::testing::Test {
public:
    void SetUp() override {
        char pattern[] = "/tmp/quorvane-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        top_ = pattern;
    }
    void TearDown() override { fs::remove_all(top_); }

    std::string Path(const std::string& name) const { return top_ + "/" + name; }
    void Put(const std::string& name, const std::string& bytes) const {
        fs::create_directories(fs::path(Path(name)).parent_path());
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The names in the folder that are, or look like, temporary files.
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(top_)) {
            if (e.path().filename().string().rfind(".quorvane-", 0) == 0) found.push_back(e.path().filename());
        }
        return found;
    }

    // The walk of the top folder: each task's lines, and the names it takes as files to do.
    struct Walked {
        std::string out, err;
        std::vector<std::string> todo;
        size_t links = 0;
    };
    Walked WalkTop(walk::Mode mode) {
        std::atomic<bool> stop{false};
        walk::Walker walker(mode, stop);
        walker.Named({top_, "site", ""});
        Walked walked;
        for (const walk::Task& t : walker.Tasks()) {
            walked.out += t.report.out, walked.err += t.report.err, walked.links += t.report.totals.links;
            if (!t.done) walked.todo.push_back(t.shown);
        }
        return walked;
    }

    // The top folder opened, and `name` in it opened as the walk found it.
    void Open(const std::string& name, files::Folder& folder, files::File& file) const {
        std::string error;
        files::Look look;
        EXPECT_EQ(folder.OpenPath(top_, error), Outcome::Done) << error;
        EXPECT_TRUE(files::LookAt(Path(name), false, look, error)) << error;
        EXPECT_EQ(file.Open(folder, name, false, look.id, error), Outcome::Done) << error;
    }

    // `name` opened and read as the work does, then `change`, then replaced by `bytes`.
    Outcome ReadChangeReplace(const std::string& name, const std::string& bytes, const std::function<void()>& change,
                              bool stopFirst = false) {
        std::string error;
        files::Folder folder;
        files::File file;
        Open(name, folder, file);
        std::string read(file.Stamped().size, '\0');
        std::atomic<bool> stop{false};
        EXPECT_EQ(file.Read(&read[0], error, stop), Outcome::Done) << error;
        change();
        stop = stopFirst;
        return files::ReplaceFile(folder, name, file, read, bytes, stop, error);
    }

    std::string top_;
};

const char kSite[] = "site/";

TEST_F(FilesTest, WalkTellsWhatItDoesNotRead) {
    Put("a.html", "a");
    ASSERT_EQ(mkfifo(Path("pipe.html").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/etc/passwd", Path("outside.html").c_str()), 0);
    ASSERT_EQ(link(Path("a.html").c_str(), Path("b.html").c_str()), 0);  // a second name of a.html: done once
    const Walked walked = WalkTop(walk::Mode::Protect);
    EXPECT_EQ(walked.todo, std::vector<std::string>{std::string(kSite) + "a.html"});
    EXPECT_EQ(walked.err, "quorvane-code: site/pipe.html: not a regular file but a FIFO; not read\n");
    EXPECT_EQ(walked.out, "site/outside.html: a symbolic link, not followed, so that nothing outside the PATHs given is "
                          "read; name its target to take it\n");
    EXPECT_EQ(walked.links, 1u);
}

// A killed run's file goes with --protect only; a look-alike the tool did not make, or one a running writer holds, stays.
TEST_F(FilesTest, LeftoversOfADeadRunOnly) {
    const std::string dead = files::MakeTemporaryName(1), held = files::MakeTemporaryName(2);
    const std::string lookAlike = ".quorvane-abcd1234.tmp";
    const char kLeft[] = ": a temporary file left by a stopped run; --protect removes it\n";
    const std::string dryRun = dead < held ? "site/" + dead + kLeft + "site/" + held + kLeft
                                           : "site/" + held + kLeft + "site/" + dead + kLeft;
    struct Case {
        walk::Mode mode;
        std::string out;
        bool deadKept;
    } cases[] = {
        {walk::Mode::Protect, "site/" + dead + ": removed, a temporary file left by a stopped run\n", false},
        {walk::Mode::DryRun, dryRun, true},
        {walk::Mode::Check, "", true},
    };
    for (const Case& c : cases) {
        Put(dead, "half a page");
        Put(held, "a page being written");
        Put(lookAlike, "the user's own");
        const int writer = open(Path(held).c_str(), O_RDONLY);
        ASSERT_EQ(flock(writer, LOCK_EX), 0);
        const Walked walked = WalkTop(c.mode);
        close(writer);
        EXPECT_EQ(walked.out, c.out);
        EXPECT_EQ(walked.err, "");
        EXPECT_EQ(fs::exists(Path(dead)), c.deadKept);
        EXPECT_EQ(Get(held), "a page being written");
        EXPECT_EQ(Get(lookAlike), "the user's own");
        // The look-alike is a file like any other, to be read and protected.
        EXPECT_EQ(walked.todo, std::vector<std::string>{"site/" + lookAlike});
    }
}

TEST_F(FilesTest, TemporaryNamesCarryTheirCheck) {
    for (unsigned long long seed : {0ULL, 1ULL, 0xFFFFFFFFFFFFFFFFULL, 123456789ULL}) {
        const std::string name = files::MakeTemporaryName(seed);
        EXPECT_TRUE(files::IsTemporaryName(name)) << name;
        std::string other = name;
        other[10] = other[10] == 'a' ? 'b' : 'a';  // a random letter changed: the check letters no longer fit
        EXPECT_FALSE(files::IsTemporaryName(other)) << other;
    }
    const std::string name = files::MakeTemporaryName(7);
    for (const std::string& lookAlike : {std::string(".quorvane-abcd1234.tmp"), name + ".tmp", "x" + name,
                                         name.substr(0, name.size() - 4) + ".TMP", std::string(".quorvane-.tmp")}) {
        EXPECT_FALSE(files::IsTemporaryName(lookAlike)) << lookAlike;
    }
}

// Names a shell or a listing reader trips over are walked, read and replaced as they are, and printed quoted where they must.
TEST_F(FilesTest, OddNames) {
    struct Case {
        std::string name, shown;
    } cases[] = {
        {"new\nline.html", "\"site/new\\nline.html\""},
        {"bad\xff\xfe.html", "\"site/bad\\377\\376.html\""},
        {"-rf.html", "site/-rf.html"},
        {std::string(250, 'x') + ".html", "site/" + std::string(250, 'x') + ".html"},
        {"a:1: forged.html", "\"site/a:1: forged.html\""},
        {"caf\xc3\xa9.html", "site/caf\xc3\xa9.html"},
    };
    for (const Case& c : cases) Put(c.name, "<p>" + c.name);
    const Walked walked = WalkTop(walk::Mode::Protect);
    ASSERT_EQ(walked.todo.size(), std::size(cases));
    for (const Case& c : cases) {
        EXPECT_EQ(names::Shown("site/" + c.name), c.shown);
        EXPECT_EQ(ReadChangeReplace(c.name, "done", [] {}), Outcome::Done) << c.shown;
        EXPECT_EQ(Get(c.name), "done") << c.shown;
    }
    EXPECT_EQ(Temporaries(), std::vector<std::string>());
}

// Between the read and the replace the file may change in every way; each leaves it as it is now, and no new file behind.
TEST_F(FilesTest, ChangeBetweenReadAndReplaceKeepsTheFile) {
    struct Case {
        const char* what;
        std::function<void(FilesTest&)> change;
        Outcome outcome;
        std::string after;
    } cases[] = {
        {"unchanged", [](FilesTest&) {}, Outcome::Done, "new"},
        {"grown", [](FilesTest& t) { std::ofstream(t.Path("p.html"), std::ios::app) << "more"; }, Outcome::Changed,
         "<p>old page</p>more"},
        {"edited in place, same size", [](FilesTest& t) { std::fstream(t.Path("p.html"), std::ios::in | std::ios::out) << "<P>"; },
         Outcome::Changed, "<P>old page</p>"},
        {"replaced by another file", [](FilesTest& t) { t.Put("q.html", "other"), fs::rename(t.Path("q.html"), t.Path("p.html")); },
         Outcome::Changed, "other"},
        {"removed", [](FilesTest& t) { fs::remove(t.Path("p.html")); }, Outcome::Changed, ""},
        {"swapped for a link", [](FilesTest& t) {
             fs::rename(t.Path("p.html"), t.Path("q.html"));
             fs::create_symlink("q.html", t.Path("p.html"));
         }, Outcome::Changed, "<p>old page</p>"},
    };
    for (const Case& c : cases) {
        fs::remove(Path("p.html")), fs::remove(Path("q.html"));
        Put("p.html", "<p>old page</p>");
        EXPECT_EQ(ReadChangeReplace("p.html", "new", [&] { c.change(*this); }), c.outcome) << c.what;
        EXPECT_EQ(fs::exists(Path("p.html")) ? Get("p.html") : "", c.after) << c.what;
        EXPECT_EQ(Temporaries(), std::vector<std::string>()) << c.what;
    }
}

// A change within the clock's last tick leaves the stamp as it was: the bytes compared tell it.
TEST_F(FilesTest, UnchangedComparesTheBytes) {
    Put("p.html", "<p>page</p>");
    std::string error;
    files::Folder folder;
    files::File file;
    Open("p.html", folder, file);
    EXPECT_EQ(file.Unchanged(folder, "p.html", "<p>page</p>", error), Outcome::Done);
    EXPECT_EQ(file.Unchanged(folder, "p.html", "<p>PAGE</p>", error), Outcome::Changed);
    EXPECT_EQ(file.Unchanged(folder, "p.html", "<p>page</p>!", error), Outcome::Changed);
    EXPECT_EQ(file.Unchanged(folder, "p.html", "<p>page</p", error), Outcome::Changed);
}

TEST_F(FilesTest, StopBeforeTheRenameKeepsTheFile) {
    Put("p.html", "old");
    EXPECT_EQ(ReadChangeReplace("p.html", "new", [] {}, true), Outcome::Stopped);
    EXPECT_EQ(Get("p.html"), "old");
    EXPECT_EQ(Temporaries(), std::vector<std::string>());
}

// A file that grows or shrinks while it is read, or is not the one the walk found, is not read as it was.
TEST_F(FilesTest, OpenAndReadCheckTheFile) {
    Put("p.html", "0123456789");
    std::string error;
    files::Folder folder;
    files::Look look, other;
    ASSERT_EQ(folder.OpenPath(top_, error), Outcome::Done);
    ASSERT_TRUE(files::LookAt(Path("p.html"), false, look, error));
    ASSERT_TRUE(files::LookAt(top_, false, other, error));
    files::File file;
    EXPECT_EQ(file.Open(folder, "p.html", false, other.id, error), Outcome::Changed);
    EXPECT_EQ(file.Open(folder, "gone.html", false, look.id, error), Outcome::Changed);

    std::atomic<bool> stop{false};
    for (const std::string& now : {std::string("0123456789 and more"), std::string("01234")}) {
        Put("p.html", "0123456789");
        ASSERT_TRUE(files::LookAt(Path("p.html"), false, look, error));
        ASSERT_EQ(file.Open(folder, "p.html", false, look.id, error), Outcome::Done);
        char start[4];
        ASSERT_EQ(file.ReadStart(start, sizeof start, error), Outcome::Done);
        EXPECT_EQ(std::string(start, 4), "0123");
        std::ofstream(Path("p.html"), std::ios::binary | std::ios::in) << now;  // in place, same inode
        if (now.size() < 10) ASSERT_EQ(truncate(Path("p.html").c_str(), static_cast<off_t>(now.size())), 0);
        std::string read(file.Stamped().size, '\0');
        EXPECT_EQ(file.Read(&read[0], error, stop), Outcome::Changed) << now;
    }
}

// A FIFO is never opened for reading, which would wait for a writer: by name, in place of a file, or named on the command line.
TEST_F(FilesTest, FifoIsNotRead) {
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    std::string error, bytes;
    files::Folder folder;
    files::Look look;
    ASSERT_EQ(folder.OpenPath(top_, error), Outcome::Done);
    ASSERT_TRUE(files::LookAt(Path("pipe"), false, look, error));
    EXPECT_EQ(look.kind, files::Kind::Other);
    files::File file;
    EXPECT_EQ(file.Open(folder, "pipe", false, look.id, error), Outcome::Failed);
    EXPECT_EQ(error, "not a regular file but a FIFO; not read");
    EXPECT_FALSE(files::ReadNamedFile({Path("pipe"), "pipe", ""}, bytes, error));
    EXPECT_EQ(error, "not a regular file of up to 16 MiB");
    Put("list", "me@example.org\n");
    EXPECT_TRUE(files::ReadNamedFile({Path("list"), "list", ""}, bytes, error)) << error;
    EXPECT_EQ(bytes, "me@example.org\n");
}

// A folder swapped for a link after the walk is not followed: the work finds it moved.
TEST_F(FilesTest, FolderSwappedForALink) {
    Put("sub/deep/p.html", "p");
    Put("elsewhere/deep/p.html", "not in the site");
    std::atomic<bool> stop{false};
    walk::Walker walker(walk::Mode::Protect, stop);
    walker.Named({top_, "site", ""});
    const walk::Task* page = nullptr;
    for (const walk::Task& t : walker.Tasks()) page = t.shown == "site/sub/deep/p.html" ? &t : page;
    ASSERT_NE(page, nullptr);
    for (const char* swap : {"sub", "sub/deep"}) {
        walk::FolderCache cache(walker.Folders());
        fs::rename(Path(swap), Path("old"));
        fs::create_symlink(Path(std::string("elsewhere") + (std::string(swap) == "sub" ? "" : "/deep")), Path(swap));
        Outcome outcome = Outcome::Done;
        std::string error;
        EXPECT_EQ(cache.Open(page->folder, outcome, error), nullptr) << swap;
        EXPECT_EQ(outcome, Outcome::Changed) << swap;
        fs::remove(Path(swap));
        fs::rename(Path("old"), Path(swap));
        EXPECT_NE(cache.Open(page->folder, outcome, error), nullptr) << swap;
    }
}

// Permissions, and extended attributes of the user's (an ACL where the file system has them), stay across a replace.
TEST_F(FilesTest, ReplaceKeepsPermissionsAndAttributes) {
    Put("p.html", "old");
    ASSERT_EQ(chmod(Path("p.html").c_str(), 0640), 0);
    if (setxattr(Path("p.html").c_str(), "user.note", "kept", 4, 0) != 0) {
        GTEST_SKIP() << "the file system of /tmp refuses user extended attributes: " << strerror(errno);
    }
    ASSERT_EQ(setxattr(Path("p.html").c_str(), "user.empty", "", 0, 0), 0);
    EXPECT_EQ(ReadChangeReplace("p.html", "new", [] {}), Outcome::Done);
    EXPECT_EQ(Get("p.html"), "new");
    struct stat st;
    ASSERT_EQ(stat(Path("p.html").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    char value[16];
    EXPECT_EQ(getxattr(Path("p.html").c_str(), "user.note", value, sizeof value), 4);
    EXPECT_EQ(std::string(value, 4), "kept");
    EXPECT_EQ(getxattr(Path("p.html").c_str(), "user.empty", value, sizeof value), 0);
}

// Paths named on the command line: followed when a link, but only listed then; what is neither file nor folder is told.
TEST_F(FilesTest, NamedPaths) {
    Put("a.html", "a");
    ASSERT_EQ(symlink("a.html", Path("link.html").c_str()), 0);
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    std::atomic<bool> stop{false};
    walk::Walker walker(walk::Mode::Protect, stop);
    for (const char* name : {"link.html", "pipe", "missing.html", "a.html", "a.html"}) walker.Named({Path(name), name, ""});
    const std::deque<walk::Task>& tasks = walker.Tasks();
    ASSERT_EQ(tasks.size(), 4u);  // a.html named twice is done once
    EXPECT_TRUE(tasks[0].throughLink);
    EXPECT_FALSE(tasks[0].done);
    EXPECT_EQ(tasks[1].report.err, "quorvane-code: pipe: neither a regular file nor a folder but a FIFO; not read\n");
    EXPECT_EQ(tasks[2].report.err, "quorvane-code: missing.html: cannot look at it: No such file or directory\n");
    EXPECT_FALSE(tasks[3].throughLink);
    EXPECT_EQ(tasks[3].id, tasks[0].id);  // the link's target, taken again by its own name to be replaced
}

TEST_F(FilesTest, ReadStopsWhenAsked) {
    Put("p.html", "page");
    std::string error;
    files::Folder folder;
    files::File file;
    Open("p.html", folder, file);
    std::atomic<bool> stop{true};
    char bytes[4];
    EXPECT_EQ(file.Read(bytes, error, stop), Outcome::Stopped);
}

// The tool's own file: created where none stands, replaced only while it holds what was read, never over another.
TEST_F(FilesTest, WriteFileOnlyOverWhatWasRead) {
    const mode_t mask = umask(027);
    std::string error, bytes;
    files::Folder folder;
    ASSERT_EQ(folder.OpenPath(top_, error), Outcome::Done);
    EXPECT_EQ(files::ReadFileIn(folder, "own.js", 100, bytes, error), Outcome::Changed);
    EXPECT_EQ(files::WriteOwnFile(folder, "own.js", nullptr, "first", error), Outcome::Done) << error;
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(Path("own.js").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);  // as any new file under the umask, not the held file's 0600
    ASSERT_EQ(files::ReadFileIn(folder, "own.js", 100, bytes, error), Outcome::Done) << error;
    EXPECT_EQ(bytes, "first");
    EXPECT_EQ(files::ReadFileIn(folder, "own.js", 4, bytes, error), Outcome::Failed);

    EXPECT_EQ(files::WriteOwnFile(folder, "own.js", nullptr, "over", error), Outcome::Changed);  // one came meanwhile
    const std::string read = "first", other = "other";
    EXPECT_EQ(files::WriteOwnFile(folder, "own.js", &other, "second", error), Outcome::Changed);
    EXPECT_EQ(Get("own.js"), "first");
    ASSERT_EQ(chmod(Path("own.js").c_str(), 0604), 0);
    EXPECT_EQ(files::WriteOwnFile(folder, "own.js", &read, "second", error), Outcome::Done) << error;
    EXPECT_EQ(Get("own.js"), "second");
    ASSERT_EQ(stat(Path("own.js").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    const ino_t inode = st.st_ino;
    const std::string now = "second";
    EXPECT_EQ(files::WriteOwnFile(folder, "own.js", &now, "second", error), Outcome::Done);  // the same bytes: not written
    ASSERT_EQ(stat(Path("own.js").c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, inode);

    // Neither a link nor a folder is read or written through.
    Put("target.js", "second");
    ASSERT_EQ(symlink("target.js", Path("link.js").c_str()), 0);
    fs::create_directory(Path("folder.js"));
    for (const char* name : {"link.js", "folder.js"}) {
        EXPECT_EQ(files::ReadFileIn(folder, name, 100, bytes, error), Outcome::Failed) << name;
        EXPECT_NE(files::WriteOwnFile(folder, name, &now, "third", error), Outcome::Done) << name;
        EXPECT_EQ(files::WriteOwnFile(folder, name, nullptr, "third", error), Outcome::Changed) << name;
    }
    EXPECT_EQ(Get("target.js"), "second");
    EXPECT_EQ(Temporaries(), std::vector<std::string>());
}

TEST(Random, DrawsDiffer) {
    std::string error, a(32, '\0'), b(32, '\0');
    ASSERT_TRUE(files::RandomBytes(&a[0], a.size(), error)) << error;
    ASSERT_TRUE(files::RandomBytes(&b[0], b.size(), error)) << error;
    EXPECT_NE(a, std::string(32, '\0'));
    EXPECT_NE(a, b);
}

// Names that could break a line of the listing or forge one, quoted as git quotes them; any other as it is.
TEST(Names, QuotedWhereTheyCouldBreakALine) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain.html", "plain.html"},
        {"tab\there", "\"tab\\there\""},
        {"quote\"d", "\"quote\\\"d\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"del\x7f", "\"del\\177\""},
        {"esc\x1b[31m", "\"esc\\033[31m\""},
        {"c1\xc2\x85", "\"c1\\302\\205\""},                  // U+0085, a C1 control
        {"rtl\xe2\x80\xae", "\"rtl\\342\\200\\256\""},   // U+202E, right-to-left override
        {"surrogate\xed\xa0\x80", "\"surrogate\\355\\240\\200\""},
        {"overlong\xc0\xaf", "\"overlong\\300\\257\""},
        {"\xe6\x97\xa5\xe6\x9c\xac.html", "\xe6\x97\xa5\xe6\x9c\xac.html"},
    };
    for (const auto& [name, shown] : cases) EXPECT_EQ(names::Shown(name), shown) << name;
}

// The budget is taken in turns: a file that needs more than is free waits, and a stop ends the wait without it.
TEST(Flow, StopEndsTheWaitForMemory) {
    Flow flow(100);
    ASSERT_TRUE(flow.Take(60));
    bool got = true;
    std::thread waiting([&] { got = flow.Take(1000); });  // the whole budget, more than is free
    ASSERT_TRUE(flow.StartReplacing());
    std::thread stopping([&] { flow.Stop(15); });  // waits for the file being replaced
    walk::Task task;
    task.done = false;
    flow.Finished(task, true, true);
    stopping.join();
    waiting.join();
    EXPECT_FALSE(got);
    EXPECT_TRUE(task.done);
    EXPECT_FALSE(flow.StartReplacing());
    EXPECT_EQ(flow.StoppedBy(), 15);
    flow.Stop(2);
    EXPECT_EQ(flow.StoppedBy(), 15);  // the first signal counts
}

TEST(Flow, MemoryGivenBackIsTakenAgain) {
    Flow flow(100);
    ASSERT_TRUE(flow.Take(100));
    std::thread giving([&] { flow.Give(40); });
    EXPECT_TRUE(flow.Take(40));  // waits for the 40 given back, whichever thread runs first
    giving.join();
    flow.Give(100);
    EXPECT_TRUE(flow.Take(1000));  // more than the budget takes the whole of it
}

}  // namespace
