#include "StandardStreams.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <initializer_list>
#include <io.h>

namespace kvp {
namespace {

bool s_stdoutClosed = false;

} // namespace

void guardStandardStreams()
{
    // A stream the program was started without has no handle, and the C library's
    // descriptor for it is none (-2): it gets NUL, so that writes to it go nowhere
    // instead of failing somewhere else.
    struct Stream {
        DWORD id;
        FILE *file;
        const char *mode;
    };
    for (const Stream &s : {Stream{STD_INPUT_HANDLE, stdin, "r"}, Stream{STD_OUTPUT_HANDLE, stdout, "w"},
                            Stream{STD_ERROR_HANDLE, stderr, "w"}}) {
        const HANDLE handle = GetStdHandle(s.id);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE && _fileno(s.file) >= 0)
            continue;
        if (s.file == stdout)
            s_stdoutClosed = true;
        (void)!std::freopen("NUL", s.mode, s.file);
    }
    // Values and messages leave as they were made: "\n", not "\r\n".
    _setmode(_fileno(stdout), _O_BINARY);
}

bool stdoutWasClosed()
{
    return s_stdoutClosed;
}

int standardOutputDescriptor()
{
    return _fileno(stdout);
}

} // namespace kvp
