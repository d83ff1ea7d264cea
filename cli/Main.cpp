// quorvane-code: prints the mail code for an address and a link text, or protects and checks whole sites.
#include <stdio.h>
#include <string.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <string>

#include "CommandLine.h"
#include "MailCode.h"
#include "Output.h"
#include "SiteCommand.h"
#include "Usage.h"

namespace {

#ifdef _WIN32
// The arguments arrive in the ANSI code page, which may be a double-byte one.
// IsDBCSLeadByte is WINAPI (stdcall on 32-bit Windows), hence the wrapper.
bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }
const LeadByteTest kLeadByteTest = IsAnsiLeadByte;
#else
// UTF-8 or single-byte text: no byte is a trail byte of a double-byte character.
const LeadByteTest kLeadByteTest = nullptr;
#endif

int PrintCode(const char* address, const char* linkText) {
    if (address[0] == '\0' || linkText[0] == '\0') {
        fprintf(stderr, "quorvane-code: the %s is empty; Crypt makes no code then\n",
                address[0] == '\0' ? "address" : "link text");
        return 3;
    }
    ByteString code = ComposeMailCode(ByteView::FromCString(address), ByteView::FromCString(linkText), kLeadByteTest);
    if (code.Failed()) {
        fputs("quorvane-code: out of memory\n", stderr);
        return 1;
    }
    // Written as raw bytes: the CR LF line ends and any byte above 127 go out
    // unchanged. On Windows the arguments arrive in the ANSI code page, the
    // program's own text encoding, and stdout starts in text mode, which
    // would write every LF as CR LF and so each line end as CR CR LF.
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (fwrite(code.data(), 1, code.size(), stdout) != code.size() || fflush(stdout) != 0) {
        perror("quorvane-code");
        return 1;
    }
    return 0;
}

// Help and version go to standard output; a failed write there is an error like any other.
int PrintAbout(const char* text) {
    output::Write(false, text);
    output::Flush();
    return ferror(stdout) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ReadCommandLine(argc, argv, line, error)) {
        output::Write(true, "quorvane-code: " + error + "\n" + kUsage);
        output::Flush();
        return 2;
    }
    switch (line.job) {
        case Job::Help: return PrintAbout(kHelp);
        case Job::Version: return PrintAbout(kVersionLine);
        case Job::Code: return PrintCode(argv[line.firstOperand], argv[line.firstOperand + 1]);
        case Job::Protect:
        case Job::Check: return RunSiteCommand(line, argc, argv);
    }
    return 2;
}
