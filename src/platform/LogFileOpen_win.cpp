#include "LogFileOpen.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace kvp {

int openLogFile(const QString &path)
{
    // The wide call: a folder or file name in Chinese is no ANSI code page's.
    // Binary, so that a row ends in "\n" as on Linux and the spreadsheet reads both.
    return ::_wopen(reinterpret_cast<const wchar_t *>(path.utf16()),
                    _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

} // namespace kvp
