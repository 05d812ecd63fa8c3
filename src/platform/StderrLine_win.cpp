#include "StderrLine.h"

#include <windows.h>

namespace kvp {

void writeStderrLine(const QString &text)
{
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE)
        return; // the window's program has no console
    const QString line = QStringLiteral("kvp-reader: ") + text + QLatin1Char('\n');
    // A console takes UTF-16 whatever its code page; a pipe or a file gets UTF-8, as
    // on Linux.
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(err, &mode)) {
        WriteConsoleW(err, reinterpret_cast<const wchar_t *>(line.utf16()), DWORD(line.size()), &written, nullptr);
        return;
    }
    const QByteArray bytes = line.toUtf8();
    WriteFile(err, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
}

} // namespace kvp
