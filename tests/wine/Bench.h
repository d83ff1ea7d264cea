// A small case framework for the Wine test driver: named cases in groups, checks, skips and a summary.
//
//   BENCH_CASE(about, closes_on_enter) {
//       CHECK(window != nullptr);           // on failure: recorded, the case ends
//       EXPECT_EQ(362, rect.left);          // on failure: recorded, the case goes on
//       if (!canReadPixels) SKIP("why");    // the case ends as skipped, the reason is printed
//   }
//
// A driver program calls bench::Main from its main(); its arguments name the
// group to run (and optionally single cases). The run ends with the line
// "N passed, N failed, N skipped" and a non-zero exit code when a case failed.
#ifndef QUORVANE_BENCH_H
#define QUORVANE_BENCH_H

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

namespace bench {

typedef void (*CaseFunction)();
typedef int (*ChildFunction)(const std::vector<std::string>& args);

// Registration, done by the macros below at static initialisation.
struct CaseRegistrar {
    CaseRegistrar(const char* group, const char* name, CaseFunction function);
};
struct ChildRegistrar {
    ChildRegistrar(const char* role, ChildFunction function);
};

// Runs the driver: `driver GROUP [CASE...] [--source DIR]`, `driver --list`,
// or `driver --child ROLE [ARGS...]` for a helper process started by a case.
int Main(int argc, char** argv);

// The source tree given with --source, as a Windows path ("" without it), and
// a file in it ("resources/icon.txt" becomes "Z:\...\resources\icon.txt").
std::string SourcePath(const std::string& relative);

// Labels the failures recorded while it lives, for table rows:
//     for (const Row& row : rows) { bench::Where where(row.label); ... }
class Where {
public:
    explicit Where(const std::string& label);
    ~Where();
    Where(const Where&) = delete;
    Where& operator=(const Where&) = delete;
};

// Recording, used through the macros.
void RecordFailure(const char* file, int line, const std::string& message);
[[noreturn]] void StopCase();
[[noreturn]] void SkipCase(const std::string& reason);

// Readable values for failure messages; more overloads may be added next to a type.
inline std::string Show(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '"') out += "\\\"";
        else if (c < 32 || c >= 127) {
            char hex[8];
            wsprintfA(hex, "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}
inline std::string Show(const char* s) { return s ? Show(std::string(s)) : "(null)"; }
inline std::string Show(bool b) { return b ? "true" : "false"; }
inline std::string Show(HWND h) {
    char text[32];
    wsprintfA(text, "hwnd %p", static_cast<void*>(h));
    return text;
}
inline std::string Show(const RECT& r) {
    std::ostringstream s;
    s << "{" << r.left << "," << r.top << " " << (r.right - r.left) << "x" << (r.bottom - r.top) << "}";
    return s.str();
}
inline std::string Show(const POINT& p) {
    std::ostringstream s;
    s << "(" << p.x << "," << p.y << ")";
    return s.str();
}
template <typename T>
std::string Show(const T& value) {
    std::ostringstream s;
    s << value;
    return s.str();
}

template <typename E, typename A>
std::string Mismatch(const char* expression, const E& expected, const A& actual) {
    return std::string(expression) + ": expected " + Show(expected) + ", got " + Show(actual);
}

}  // namespace bench

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const RECT& a, const RECT& b) { return !(a == b); }
inline bool operator==(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(const POINT& a, const POINT& b) { return !(a == b); }

#define BENCH_JOIN2(a, b) a##b
#define BENCH_JOIN(a, b) BENCH_JOIN2(a, b)

// Defines the case `group.name`; the body follows as a function body.
#define BENCH_CASE(group, name)                                                              \
    static void BenchCase_##group##_##name();                                                \
    static bench::CaseRegistrar BenchRegistrar_##group##_##name(#group, #name,               \
                                                                BenchCase_##group##_##name); \
    static void BenchCase_##group##_##name()

// Defines a helper process role: `driver --child role args...` runs the body
// (with `args`) and exits with its result.
#define BENCH_CHILD(role)                                                                            \
    static int BenchChild_##role(const std::vector<std::string>& args);                               \
    static bench::ChildRegistrar BenchChildRegistrar_##role(#role, BenchChild_##role);                \
    static int BenchChild_##role(const std::vector<std::string>& args)

#define EXPECT(condition) \
    ((condition) ? (void)0 : bench::RecordFailure(__FILE__, __LINE__, "EXPECT(" #condition ") is false"))
#define CHECK(condition)                                                                      \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            bench::RecordFailure(__FILE__, __LINE__, "CHECK(" #condition ") is false");      \
            bench::StopCase();                                                                \
        }                                                                                     \
    } while (0)
#define EXPECT_MSG(condition, message) \
    ((condition) ? (void)0 : bench::RecordFailure(__FILE__, __LINE__, (message)))
#define CHECK_MSG(condition, message)                              \
    do {                                                           \
        if (!(condition)) {                                        \
            bench::RecordFailure(__FILE__, __LINE__, (message));   \
            bench::StopCase();                                     \
        }                                                          \
    } while (0)
#define EXPECT_EQ(expected, actual)                                                                    \
    do {                                                                                               \
        const auto& bench_e = (expected);                                                              \
        const auto& bench_a = (actual);                                                                \
        if (!(bench_e == bench_a))                                                                     \
            bench::RecordFailure(__FILE__, __LINE__, bench::Mismatch(#actual, bench_e, bench_a));      \
    } while (0)
#define CHECK_EQ(expected, actual)                                                                     \
    do {                                                                                               \
        const auto& bench_e = (expected);                                                              \
        const auto& bench_a = (actual);                                                                \
        if (!(bench_e == bench_a)) {                                                                   \
            bench::RecordFailure(__FILE__, __LINE__, bench::Mismatch(#actual, bench_e, bench_a));      \
            bench::StopCase();                                                                         \
        }                                                                                              \
    } while (0)
#define SKIP(reason) bench::SkipCase(reason)

#endif
