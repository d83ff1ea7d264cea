// Writes UTF-8 lines: as bytes to a pipe or file, and on Windows as wide characters to a console.
#include "Output.h"

#include <stdio.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>
#endif

namespace output {

#ifdef _WIN32
void Write(bool toError, std::string_view text) {
    // Line ends go out as LF, as on POSIX: no text-mode translation.
    static bool binary = (_setmode(_fileno(stdout), _O_BINARY), _setmode(_fileno(stderr), _O_BINARY), true);
    (void)binary;
    FILE* stream = toError ? stderr : stdout;
    HANDLE handle = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode;
    if (!GetConsoleMode(handle, &mode)) {
        fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    fflush(stream);
    std::wstring wide;
    if (!text.empty()) {
        const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        wide.assign(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    }
    DWORD written;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}
#else
void Write(bool toError, std::string_view text) { fwrite(text.data(), 1, text.size(), toError ? stderr : stdout); }
#endif

bool Flush() {
    const bool written = fflush(stdout) == 0 && !ferror(stdout);
    fflush(stderr);
    return written;
}

}  // namespace output
