#include "FileTrouble.h"

#include <cerrno>

// Windows' C library has no disk quotas (nor their errno).
#ifndef EDQUOT
#define EDQUOT ENOSPC
#endif

namespace kvp {

FileTrouble fileTrouble(int error, FileTrouble otherwise)
{
    switch (error) {
    case 0:
        return otherwise;
    case ENOSPC:
#if EDQUOT != ENOSPC
    case EDQUOT:
#endif
    case EFBIG:
        return FileTrouble::space;
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case ENAMETOOLONG:
    case ETXTBSY:
        return FileTrouble::access;
    case ENXIO:  // opened without a reader
    case EAGAIN: // a reader that stopped taking lines
    case EPIPE:  // or went away
        return FileTrouble::noReader;
    default:
        return FileTrouble::notAFile;
    }
}

} // namespace kvp
