// Command-line front end of the generator: prints the mail code for an address and a link text.
#include <stdio.h>
#include <string.h>

#include "MailCode.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: quorvane-code ADDRESS LINKTEXT\n", stderr);
        return 2;
    }
    ByteString code = ComposeMailCode(ByteView::FromCString(argv[1]), ByteView::FromCString(argv[2]));
    if (code.Failed()) {
        fputs("quorvane-code: out of memory\n", stderr);
        return 1;
    }
    // Written as raw bytes: the CR LF line ends and any byte above 127 go out unchanged.
    if (fwrite(code.data(), 1, code.size(), stdout) != code.size() || fflush(stdout) != 0) {
        perror("quorvane-code");
        return 1;
    }
    return 0;
}
