#include "WindowProgram.h"

#include <cstdio>

namespace kvp {

int runWindow(int, char **)
{
    std::fprintf(stderr, "kvp-reader: the window is not built yet; use --console\n");
    return 2;
}

} // namespace kvp
