#include "StderrLine.h"

#include <cstdio>

namespace kvp {

void writeStderrLine(const QString &text)
{
    std::fprintf(stderr, "kvp-reader: %s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace kvp
