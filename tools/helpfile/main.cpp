// Command-line front end: quorvane-helpfile SOURCE OUTPUT [PAGE] turns the topic source into the help file and the HTML page.
#include <cstdio>

#include "Convert.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: quorvane-helpfile SOURCE OUTPUT [PAGE]\n"
                   "  writes the WinHelp file OUTPUT and, if named, the HTML page PAGE\n", stderr);
        return 2;
    }
    return ConvertHelpSource(argv[1], argv[2], argc == 4 ? argv[3] : nullptr, stderr);
}
