// File names as the site commands print them: as they are, or quoted when a name could break a line of the listing or forge one.
#ifndef QUORVANE_FILES_NAMES_H
#define QUORVANE_FILES_NAMES_H

#include <string>
#include <string_view>

namespace names {

// `name` (UTF-8 bytes, or bytes that are not UTF-8) as it goes into a line
// of output. A name that holds a control character (a newline among them;
// above ASCII the C1 controls, the line and paragraph separators and the
// bidirectional controls), DEL, a double quote, bytes that are not UTF-8
// or, where they are not the system's path syntax (POSIX), a backslash or a
// colon, is printed as git prints such names: in double quotes, with \a \b
// \t \n \v \f \r \" \\ and three octal digits for each byte of any other
// such character. Any other name as it is.
std::string Shown(std::string_view name);

}  // namespace names

#endif
