// Command-line front end of the generator: prints the mail code for an address and a link text, or protects whole sites.
#include <stdio.h>
#include <string.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include "MailCode.h"
#include "SiteCommand.h"

#ifdef _WIN32
// The arguments arrive in the ANSI code page, which may be a double-byte one.
// IsDBCSLeadByte is WINAPI (stdcall on 32-bit Windows), hence the wrapper.
static bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }
static const LeadByteTest kLeadByteTest = IsAnsiLeadByte;
#else
// UTF-8 or single-byte text: no byte is a trail byte of a double-byte character.
static const LeadByteTest kLeadByteTest = nullptr;
#endif

int main(int argc, char** argv) {
    if (argc >= 2 && IsSiteCommand(argv[1])) return RunSiteCommand(argc, argv);
    if (argc != 3) {
        fputs("usage: quorvane-code ADDRESS LINKTEXT\n"
              "       quorvane-code --protect [--dry-run] PATH...\n"
              "       quorvane-code --check PATH...\n"
              "       quorvane-code --help\n"
              "exit status 3: ADDRESS or LINKTEXT is empty, and nothing is printed, as Crypt makes no code then\n",
              stderr);
        return 2;
    }
    if (argv[1][0] == '\0' || argv[2][0] == '\0') {
        fprintf(stderr, "quorvane-code: the %s is empty; Crypt makes no code then\n",
                argv[1][0] == '\0' ? "address" : "link text");
        return 3;
    }
    ByteString code = ComposeMailCode(ByteView::FromCString(argv[1]), ByteView::FromCString(argv[2]), kLeadByteTest);
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
