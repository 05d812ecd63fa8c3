#pragma once

namespace kvp {

// What the user can do about a file that could not be written, told apart by the
// errno of the call that failed, so that the advice fits: a full disk is not a
// question of permission, and a file of /proc is neither.
enum class FileTrouble {
    space,    // ENOSPC, EDQUOT, EFBIG: free some space
    access,   // EACCES, EROFS, ENOENT...: another folder
    noReader, // ENXIO, EAGAIN, EPIPE: a FIFO that nothing reads
    notAFile, // EINVAL and the rest: the path takes no values
};

// `otherwise` when no errno is known (0).
FileTrouble fileTrouble(int error, FileTrouble otherwise);

} // namespace kvp
