/* LD_PRELOAD shim for Wine on pseudo-terminals.
 *
 * Wine's serial code asks the modem lines (TIOCMGET) before every WaitCommEvent; a
 * pseudo-terminal refuses those ioctls, so without this shim every wait ends at once with
 * no event. The shim answers TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC on ptys from a small
 * per-process state, with CTS, DSR and carrier on.
 *
 * Tests can change the lines a pty reports: when KEYPILOT_MODEM_DIR is set, the file
 * $KEYPILOT_MODEM_DIR/<pts number> (for /dev/pts/N) holds the TIOCM_* bits as a decimal
 * number; it is read at every TIOCMGET and overrides the in-process state. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int modem_bits = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_DTR | TIOCM_RTS;

/* Unix98 pty slaves live on majors 136..143; the master multiplexer is 5:2. */
static int pty_number(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return -1;
    unsigned maj = major(st.st_rdev);
    if (maj >= 136 && maj <= 143)
        return (int)((maj - 136) * 256 + minor(st.st_rdev));
    if (maj == 5 && minor(st.st_rdev) == 2)
        return 1000000;
    return -1;
}

static int override_bits(int pts, int* bits) {
    const char* dir = getenv("KEYPILOT_MODEM_DIR");
    if (!dir || pts < 0 || pts >= 1000000)
        return 0;
    char path[4096];
    snprintf(path, sizeof path, "%s/%d", dir, pts);
    FILE* f = fopen(path, "r");
    if (!f)
        return 0;
    int value = 0;
    int ok = fscanf(f, "%d", &value) == 1;
    fclose(f);
    if (ok)
        *bits = value;
    return ok;
}

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real_ioctl;
    if (!real_ioctl)
        real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);

    if (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC)
        return real_ioctl(fd, request, arg);

    int saved = errno;
    int rc = real_ioctl(fd, request, arg);
    if (rc == 0)
        return rc;
    int pts = pty_number(fd);
    if (pts < 0 || arg == NULL)
        return rc;
    errno = saved;
    int* bits = (int*)arg;
    switch (request) {
        case TIOCMGET:
            *bits = modem_bits;
            override_bits(pts, bits);
            break;
        case TIOCMSET:
            modem_bits = *bits;
            break;
        case TIOCMBIS:
            modem_bits |= *bits;
            break;
        case TIOCMBIC:
            modem_bits &= ~*bits;
            break;
    }
    return 0;
}
