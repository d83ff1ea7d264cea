// The case framework of the Wine test driver: registration, running a group, recording and the summary.
#include "Bench.h"

#include <cstdio>
#include <cstring>

namespace bench {

namespace {

struct Case {
    std::string group;
    std::string name;
    CaseFunction function;
};

struct Child {
    std::string role;
    ChildFunction function;
};

// Function-local statics: registrars in other files run before main() in any order.
std::vector<Case>& Cases() {
    static std::vector<Case> cases;
    return cases;
}
std::vector<Child>& Children() {
    static std::vector<Child> children;
    return children;
}

struct Stopped {};
struct Skipped {
    std::string reason;
};

std::vector<std::string> whereStack;
int failuresInCase = 0;
std::string sourceDir;

std::string BaseName(const char* file) {
    const char* base = file;
    for (const char* p = file; *p; ++p) {
        if (*p == '/' || *p == '\\') base = p + 1;
    }
    return base;
}

int Usage() {
    std::printf("usage: driver GROUP [CASE...] [--source DIR]\n"
                "       driver --list\n"
                "       driver --child ROLE [ARGS...]\n");
    return 2;
}

}  // namespace

CaseRegistrar::CaseRegistrar(const char* group, const char* name, CaseFunction function) {
    Cases().push_back({group, name, function});
}

ChildRegistrar::ChildRegistrar(const char* role, ChildFunction function) {
    Children().push_back({role, function});
}

Where::Where(const std::string& label) { whereStack.push_back(label); }
Where::~Where() { whereStack.pop_back(); }

void RecordFailure(const char* file, int line, const std::string& message) {
    ++failuresInCase;
    std::string where;
    for (const std::string& label : whereStack) where += "[" + label + "] ";
    std::printf("    FAILED %s:%d: %s%s\n", BaseName(file).c_str(), line, where.c_str(), message.c_str());
}

void StopCase() { throw Stopped(); }

void SkipCase(const std::string& reason) { throw Skipped{reason}; }

std::string SourcePath(const std::string& relative) {
    if (sourceDir.empty()) return "";
    // A Unix path is reached through Wine's drive Z:, which maps the root.
    std::string path = sourceDir[0] == '/' ? "Z:" + sourceDir : sourceDir;
    if (!relative.empty()) path += "/" + relative;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

int Main(int argc, char** argv) {
    // Output goes to a pipe read by ctest; unbuffered keeps it in order with
    // whatever the program under test writes.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) return Usage();

    if (std::strcmp(argv[1], "--child") == 0) {
        if (argc < 3) return Usage();
        for (const Child& child : Children()) {
            if (child.role == argv[2]) return child.function(std::vector<std::string>(argv + 3, argv + argc));
        }
        std::printf("no child role %s\n", argv[2]);
        return 2;
    }
    if (std::strcmp(argv[1], "--list") == 0) {
        for (const Case& c : Cases()) std::printf("%s.%s\n", c.group.c_str(), c.name.c_str());
        return 0;
    }

    std::string group = argv[1];
    std::vector<std::string> only;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--source") == 0 && i + 1 < argc) {
            sourceDir = argv[++i];
        } else {
            only.push_back(argv[i]);
        }
    }

    int passed = 0, failed = 0, skipped = 0;
    std::vector<std::string> failedNames;
    for (const Case& c : Cases()) {
        if (c.group != group) continue;
        if (!only.empty()) {
            bool wanted = false;
            for (const std::string& name : only) wanted = wanted || name == c.name;
            if (!wanted) continue;
        }
        std::string fullName = c.group + "." + c.name;
        std::printf("[ RUN  ] %s\n", fullName.c_str());
        failuresInCase = 0;
        whereStack.clear();
        std::string skipReason;
        bool wasSkipped = false;
        DWORD start = GetTickCount();
        try {
            c.function();
        } catch (const Stopped&) {
        } catch (const Skipped& skip) {
            wasSkipped = true;
            skipReason = skip.reason;
        }
        DWORD elapsed = GetTickCount() - start;
        if (failuresInCase > 0) {
            ++failed;
            failedNames.push_back(fullName);
            std::printf("[ FAIL ] %s (%lu ms)\n", fullName.c_str(), elapsed);
        } else if (wasSkipped) {
            ++skipped;
            std::printf("[ SKIP ] %s: %s\n", fullName.c_str(), skipReason.c_str());
        } else {
            ++passed;
            std::printf("[  OK  ] %s (%lu ms)\n", fullName.c_str(), elapsed);
        }
    }
    if (passed + failed + skipped == 0) {
        std::printf("no cases in group %s\n", group.c_str());
        return 2;
    }
    for (const std::string& name : failedNames) std::printf("failed: %s\n", name.c_str());
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    return failed == 0 ? 0 : 1;
}

}  // namespace bench
