// Command-line front end: quorvane-helpfile SOURCE OUTPUT [PAGE] turns the topic source into the help file and the HTML page.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "HelpFile.h"
#include "HelpPage.h"
#include "HelpSource.h"

namespace {

bool ReadWholeFile(const char* path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The output appears only when it is complete: a failed write removes the
// partial file, so a build never picks up half a help file.
bool WriteWholeFile(const char* path, const std::vector<uint8_t>& bytes) {
    std::FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    bool good = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    good = (std::fclose(out) == 0) && good;
    if (!good) std::remove(path);
    return good;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: quorvane-helpfile SOURCE OUTPUT [PAGE]\n"
                   "  writes the WinHelp file OUTPUT and, if named, the HTML page PAGE\n", stderr);
        return 2;
    }
    const char* sourcePath = argv[1];
    const char* outputPath = argv[2];
    const char* pagePath = argc == 4 ? argv[3] : nullptr;

    std::string text;
    if (!ReadWholeFile(sourcePath, text)) {
        std::fprintf(stderr, "%s: cannot read: %s\n", sourcePath, std::strerror(errno));
        return 1;
    }

    HelpSource source;
    std::vector<SourceProblem> problems;
    if (!ParseHelpSource(text, source, problems)) {
        for (const SourceProblem& problem : problems) {
            if (problem.line > 0) {
                std::fprintf(stderr, "%s:%d: error: %s\n", sourcePath, problem.line, problem.message.c_str());
            } else {
                std::fprintf(stderr, "%s: error: %s\n", sourcePath, problem.message.c_str());
            }
        }
        std::fprintf(stderr, "%s: %zu error(s); %s%s%s not written\n", sourcePath, problems.size(), outputPath,
                     pagePath ? " and " : "", pagePath ? pagePath : "");
        return 1;
    }

    if (!WriteWholeFile(outputPath, BuildHelpFile(source))) {
        std::fprintf(stderr, "%s: cannot write: %s\n", outputPath, std::strerror(errno));
        return 1;
    }
    if (pagePath) {
        std::string page = BuildHelpPage(source);
        if (!WriteWholeFile(pagePath, std::vector<uint8_t>(page.begin(), page.end()))) {
            std::fprintf(stderr, "%s: cannot write: %s\n", pagePath, std::strerror(errno));
            return 1;
        }
    }
    return 0;
}
