/* A stand-in for file-system conditions the tests cannot make otherwise,
 * preloaded (LD_PRELOAD) into the upgrade tool and its registration child:
 *   SORVANTA_FAULT_READONLY=DIR   every change under DIR fails with EROFS, as
 *                                 on a read-only mount (an unlink or rmdir of
 *                                 a name that is not there too)
 *   SORVANTA_FAULT_NO_HARDLINK=1  link() is refused (EPERM)
 *   SORVANTA_FAULT_NO_CHOWN=1     fchown() is refused (EPERM)
 *   SORVANTA_FAULT_LOG=FILE       each change made and each fsync is logged
 *                                 as "PID OP PATH" (OP rename, link, mkdir,
 *                                 unlink, rmdir, fsync, fsyncdir; a rename
 *                                 is logged as "renamefrom FROM" then
 *                                 "rename TO")
 * Everything else goes to the C library as it is. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

static int Under(const char* path)
{
    const char* dir = getenv("SORVANTA_FAULT_READONLY");
    if (!dir || !*dir || !path) return 0;
    size_t n = strlen(dir);
    return strncmp(path, dir, n) == 0 && (path[n] == '/' || path[n] == 0);
}

static void Log(const char* op, const char* path)
{
    const char* log = getenv("SORVANTA_FAULT_LOG");
    if (!log || !*log) return;
    char line[PATH_MAX + 64];
    int n = snprintf(line, sizeof line, "%d %s %s\n", (int)getpid(), op, path);
    int fd = NEXT(open)(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (n > 0) (void)!write(fd, line, (size_t)n);
    close(fd);
}

static int Refused(int err)
{
    errno = err;
    return -1;
}

static int Writes(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0; }

int open(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
    va_end(ap);
    if (Writes(flags) && Under(path)) return Refused(EROFS);
    return NEXT(open)(path, flags, mode);
}
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

int openat(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
    va_end(ap);
    if (Writes(flags) && Under(path)) return Refused(EROFS);
    return NEXT(openat)(dirfd, path, flags, mode);
}
int openat64(int dirfd, const char* path, int flags, ...) __attribute__((alias("openat")));

int unlink(const char* path)
{
    if (Under(path)) return Refused(EROFS);
    int rc = NEXT(unlink)(path);
    if (rc == 0) Log("unlink", path);
    return rc;
}

int rmdir(const char* path)
{
    if (Under(path)) return Refused(EROFS);
    int rc = NEXT(rmdir)(path);
    if (rc == 0) Log("rmdir", path);
    return rc;
}

int mkdir(const char* path, mode_t mode)
{
    if (Under(path)) return Refused(EROFS);
    int rc = NEXT(mkdir)(path, mode);
    if (rc == 0) Log("mkdir", path);
    return rc;
}

int rename(const char* from, const char* to)
{
    if (Under(from) || Under(to)) return Refused(EROFS);
    int rc = NEXT(rename)(from, to);
    if (rc == 0) {
        Log("renamefrom", from);
        Log("rename", to);
    }
    return rc;
}

int link(const char* from, const char* to)
{
    if (Under(to)) return Refused(EROFS);
    const char* refuse = getenv("SORVANTA_FAULT_NO_HARDLINK");
    if (refuse && *refuse == '1') return Refused(EPERM);
    int rc = NEXT(link)(from, to);
    if (rc == 0) Log("link", to);
    return rc;
}

int fchown(int fd, uid_t uid, gid_t gid)
{
    const char* refuse = getenv("SORVANTA_FAULT_NO_CHOWN");
    if (refuse && *refuse == '1') return Refused(EPERM);
    return NEXT(fchown)(fd, uid, gid);
}

int fsync(int fd)
{
    int rc = NEXT(fsync)(fd);
    if (rc == 0) {
        char link[64], path[PATH_MAX];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = readlink(link, path, sizeof path - 1);
        struct stat st;
        if (n > 0 && fstat(fd, &st) == 0) {
            path[n] = 0;
            Log(S_ISDIR(st.st_mode) ? "fsyncdir" : "fsync", path);
        }
    }
    return rc;
}
