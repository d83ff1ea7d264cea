// Command-line front end: quorvane-helpfile SOURCE OUTPUT turns the topic source into the help file.
#include <cstdio>

#include "Convert.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: quorvane-helpfile SOURCE OUTPUT\n", stderr);
        return 2;
    }
    return ConvertHelpSource(argv[1], argv[2], stderr);
}
