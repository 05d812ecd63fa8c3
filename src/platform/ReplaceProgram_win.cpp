#include "ReplaceProgram.h"

#include "WinErrorText.h"

#include <QDir>

#include <windows.h>

#include <cstdlib>

namespace kvp {
namespace {

// The arguments as the user typed them, without the program's own name: quoted and
// escaped by Windows' own rules, they go on exactly as they came.
const wchar_t *argumentsAfterProgram(const wchar_t *line)
{
    bool quoted = false;
    for (; *line; ++line) {
        if (*line == L'"')
            quoted = !quoted;
        else if ((*line == L' ' || *line == L'\t') && !quoted)
            break;
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    return line;
}

} // namespace

QString replaceProgram(const QString &path, char **)
{
    const std::wstring program = QDir::toNativeSeparators(path).toStdWString();
    std::wstring line = L"\"" + program + L"\" " + argumentsAfterProgram(GetCommandLineW());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
        return winErrorText(GetLastError());
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    std::exit(0);
}

} // namespace kvp
