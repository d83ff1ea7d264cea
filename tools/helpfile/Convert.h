// The whole run of the help file writer, from the source file to the help file, callable without a process of its own.
#ifndef QUORVANE_CONVERT_H
#define QUORVANE_CONVERT_H

#include <cstdio>

// Reads the topic source at sourcePath and writes the help file to
// outputPath and, unless pagePath is null, the HTML page to pagePath.
// Returns 0 when they are written. Otherwise returns 1 and writes to
// `messages` one "SOURCE:LINE: error: ..." line per problem (without the line
// number for a problem of the file as a whole), or why the source could not
// be read or an output written; an output not written is left as it was.
int ConvertHelpSource(const char* sourcePath, const char* outputPath, const char* pagePath, std::FILE* messages);

#endif
