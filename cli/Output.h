// quorvane-code's lines to standard output and error, as UTF-8 whatever the system.
#ifndef QUORVANE_CLI_OUTPUT_H
#define QUORVANE_CLI_OUTPUT_H

#include <string_view>

namespace output {

// UTF-8 text to standard output or error. On Windows a console gets it as
// wide characters, so that any name shows whatever the console code page;
// a pipe or a file gets the UTF-8 bytes.
void Write(bool toError, std::string_view text);
// False when standard output could not take what was written.
bool Flush();

}  // namespace output

#endif
