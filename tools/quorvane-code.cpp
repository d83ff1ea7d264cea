// Command-line front end of the generator: prints the mail code for an address and a link text.
#include <stdio.h>
#include <string.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "MailCode.h"
#include "SiteCommand.h"

int main(int argc, char** argv) {
    if (argc >= 2 && IsSiteCommand(argv[1])) return RunSiteCommand(argc, argv);
    if (argc != 3) {
        fputs("usage: quorvane-code ADDRESS LINKTEXT\n", stderr);
        return 2;
    }
    ByteString code = ComposeMailCode(ByteView::FromCString(argv[1]), ByteView::FromCString(argv[2]));
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
