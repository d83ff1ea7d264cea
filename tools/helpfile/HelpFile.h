// Writes a parsed topic source as an uncompressed WinHelp 3.1 file, all in memory.
#ifndef QUORVANE_HELPFILE_H
#define QUORVANE_HELPFILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "HelpSource.h"

// WinHelp 3.1's hash of a context string, the key of the |CONTEXT tree.
// Letters count the same in either case; the caller passes only letters,
// digits, '_' and '.', the characters that version of the format allows.
int32_t HashContextName(const std::string& name);

// True for the characters a context string may hold.
bool IsContextNameCharacter(char c);

// The complete file. The source must have passed ParseHelpSource.
std::vector<uint8_t> BuildHelpFile(const HelpSource& source);

#endif
