// A preload library for running the Windows build's serial tests under Wine on pseudo-terminals:
//   LD_PRELOAD=libpty-modem-lines.so wine64 ...
// While an overlapped WaitCommEvent is pending, Wine polls the modem lines with TIOCMGET, which a
// pseudo-terminal refuses; Wine then cancels the wait (ERROR_OPERATION_ABORTED), so no arrival
// ever reaches a reader. A terminal that refuses that one ioctl is answered here as a port with
// every line up; every other call goes through unchanged. A test tool: never shipped.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <unistd.h>

int ioctl(int fd, unsigned long request, ...)
{
    static int (*real)(int, unsigned long, ...);
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (real == NULL)
        real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    const int result = real(fd, request, argument);
    if (result < 0 && request == TIOCMGET && (errno == ENOTTY || errno == EINVAL) &&
        argument != NULL && isatty(fd)) {
        *(int*)argument = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
        return 0;
    }
    return result;
}
