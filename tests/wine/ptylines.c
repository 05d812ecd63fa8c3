/* Loaded into Wine (LD_PRELOAD) by scripts/windows.sh: a pseudo-terminal answers the
 * modem-line ioctls as a serial port whose lines are all up.
 *
 * Wine asks a COM port for its modem lines (TIOCMGET) while a WaitCommEvent is under
 * way; a pseudo-terminal has none and says so, and Wine then ends the wait with
 * "operation aborted" whenever no byte came for a few milliseconds. A real port does
 * not do that, so the harness makes the pseudo-terminal look like one. Every other
 * ioctl, and every ioctl on anything but a pseudo-terminal, goes through untouched. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

static int is_pseudo_terminal(int fd)
{
    struct stat st;
    /* Unix 98 pseudo-terminal slaves: majors 136 to 143. */
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...)
{
    static int (*real_ioctl)(int, unsigned long, ...);
    if (!real_ioctl)
        real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    switch (request) {
    case TIOCMGET:
        if (is_pseudo_terminal(fd)) {
            *(int *)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
            return 0;
        }
        break;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        if (is_pseudo_terminal(fd))
            return 0;
        break;
    default:
        break;
    }
    return real_ioctl(fd, request, arg);
}
