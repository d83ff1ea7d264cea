// Reads the topic source, reports its problems or writes the help file and the HTML page, each in one piece.
#include "Convert.h"

#include <cerrno>
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

// The output appears only when it is complete: the bytes go to a temporary
// file beside it, which replaces the output in one rename once it is written
// and closed. A failed write, or a writer stopped part-way, never leaves half
// a help file under the output's name for a build to pick up, and leaves an
// earlier output as it was. (rename replaces an existing file atomically on
// the POSIX systems the build runs on.)
bool WriteWholeFile(const char* path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = std::string(path) + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) return false;
    bool good = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    good = (std::fclose(out) == 0) && good;
    good = good && std::rename(temporary.c_str(), path) == 0;
    if (!good) {
        int error = errno;  // for the message, whatever the clean-up does to errno
        std::remove(temporary.c_str());
        errno = error;
    }
    return good;
}

}  // namespace

int ConvertHelpSource(const char* sourcePath, const char* outputPath, const char* pagePath, std::FILE* messages) {
    std::string text;
    if (!ReadWholeFile(sourcePath, text)) {
        std::fprintf(messages, "%s: cannot read: %s\n", sourcePath, std::strerror(errno));
        return 1;
    }

    HelpSource source;
    std::vector<SourceProblem> problems;
    if (!ParseHelpSource(text, source, problems)) {
        for (const SourceProblem& problem : problems) {
            if (problem.line > 0) {
                std::fprintf(messages, "%s:%d: error: %s\n", sourcePath, problem.line, problem.message.c_str());
            } else {
                std::fprintf(messages, "%s: error: %s\n", sourcePath, problem.message.c_str());
            }
        }
        std::fprintf(messages, "%s: %zu error(s); %s%s%s not written\n", sourcePath, problems.size(), outputPath,
                     pagePath ? " and " : "", pagePath ? pagePath : "");
        return 1;
    }

    if (!WriteWholeFile(outputPath, BuildHelpFile(source))) {
        std::fprintf(messages, "%s: cannot write: %s\n", outputPath, std::strerror(errno));
        return 1;
    }
    if (pagePath) {
        std::string page = BuildHelpPage(source);
        if (!WriteWholeFile(pagePath, std::vector<uint8_t>(page.begin(), page.end()))) {
            std::fprintf(messages, "%s: cannot write: %s\n", pagePath, std::strerror(errno));
            return 1;
        }
    }
    return 0;
}
