// A library preloaded into pelmira-cli (LD_PRELOAD) that makes file-system faults happen at a
// chosen place, so that the tests can stop a run at every point where it changes a file.
//
// Every call that changes a file counts as one step: creating a file, writing to one (write,
// pwrite, writev, fwrite, fflush), truncating, syncing, renaming and removing. Standard input,
// output and error are not files of the run and do not count. Environment:
//
//   PELMIRA_FAULT_COUNT_FILE=PATH    at exit, the number of steps taken and of bytes written to
//                                    files are written to PATH
//   PELMIRA_FAULT_KILL_AT=N          the process kills itself (SIGKILL) instead of taking step N
//   PELMIRA_FAULT_ENOSPC_AFTER=B     once B bytes have been written, writes fail with ENOSPC (a
//                                    write that crosses the limit writes up to it)
//   PELMIRA_FAULT_DELAY_US=U         sleeps U microseconds before every step (widens the windows
//                                    in which two runs can meet)

#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long long steps;
static long long bytesWritten;
static long long killAt = -1;
static long long spaceLeft = -1; // bytes that may still be written; -1 without a limit
static long delayUs;
static const char* countFile;

static long long envNumber(const char* name, long long otherwise) {
    const char* v = getenv(name);
    return v != NULL && *v != '\0' ? atoll(v) : otherwise;
}

__attribute__((constructor)) static void setUp(void) {
    killAt = envNumber("PELMIRA_FAULT_KILL_AT", -1);
    spaceLeft = envNumber("PELMIRA_FAULT_ENOSPC_AFTER", -1);
    delayUs = (long)envNumber("PELMIRA_FAULT_DELAY_US", 0);
    countFile = getenv("PELMIRA_FAULT_COUNT_FILE");
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

__attribute__((destructor)) static void tearDown(void) {
    if (countFile == NULL || *countFile == '\0')
        return;
    int (*realOpen)(const char*, int, ...) = REAL(open);
    ssize_t (*realWrite)(int, const void*, size_t) = REAL(write);
    const int fd = realOpen(countFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    char text[32];
    const int n = snprintf(text, sizeof text, "%lld %lld\n", steps, bytesWritten);
    (void)!realWrite(fd, text, (size_t)n);
    close(fd);
}

static void step(void) {
    ++steps;
    if (delayUs > 0)
        usleep((useconds_t)delayUs);
    if (steps == killAt)
        kill(getpid(), SIGKILL);
}

static int isRunFile(int fd) {
    return fd > 2;
}

static int isRunStream(FILE* f) {
    return f != NULL && f != stdout && f != stderr && f != stdin;
}

// How many of `size` bytes may be written; 0 with errno ENOSPC when the disk is "full".
static size_t allowance(size_t size) {
    if (spaceLeft < 0 || size == 0)
        return size;
    if (spaceLeft == 0) {
        errno = ENOSPC;
        return 0;
    }
    if ((long long)size > spaceLeft)
        size = (size_t)spaceLeft;
    return size;
}

static void spend(ssize_t written) {
    if (written > 0)
        bytesWritten += written;
    if (spaceLeft > 0 && written > 0)
        spaceLeft = spaceLeft > written ? spaceLeft - written : 0;
}

ssize_t write(int fd, const void* buf, size_t count) {
    static ssize_t (*real)(int, const void*, size_t);
    if (real == NULL)
        real = REAL(write);
    if (!isRunFile(fd))
        return real(fd, buf, count);
    step();
    const size_t allowed = allowance(count);
    if (allowed == 0 && count > 0)
        return -1;
    const ssize_t n = real(fd, buf, allowed);
    spend(n);
    return n;
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) {
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (real == NULL)
        real = REAL(pwrite);
    if (!isRunFile(fd))
        return real(fd, buf, count, offset);
    step();
    const size_t allowed = allowance(count);
    if (allowed == 0 && count > 0)
        return -1;
    const ssize_t n = real(fd, buf, allowed, offset);
    spend(n);
    return n;
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off_t offset) {
    return pwrite(fd, buf, count, offset);
}

ssize_t writev(int fd, const struct iovec* iov, int iovcnt) {
    static ssize_t (*real)(int, const struct iovec*, int);
    if (real == NULL)
        real = REAL(writev);
    if (!isRunFile(fd))
        return real(fd, iov, iovcnt);
    step();
    size_t total = 0;
    for (int i = 0; i < iovcnt; ++i)
        total += iov[i].iov_len;
    if (spaceLeft >= 0 && (long long)total > spaceLeft) {
        // Write what fits, one buffer at a time.
        ssize_t done = 0;
        for (int i = 0; i < iovcnt; ++i) {
            const size_t allowed = allowance(iov[i].iov_len);
            if (allowed == 0 && iov[i].iov_len > 0)
                return done > 0 ? done : -1;
            const ssize_t n = write(fd, iov[i].iov_base, allowed);
            if (n < 0)
                return done > 0 ? done : -1;
            done += n;
            if ((size_t)n < iov[i].iov_len)
                break;
        }
        return done;
    }
    const ssize_t n = real(fd, iov, iovcnt);
    spend(n);
    return n;
}

size_t fwrite(const void* ptr, size_t size, size_t nmemb, FILE* stream) {
    static size_t (*real)(const void*, size_t, size_t, FILE*);
    if (real == NULL)
        real = REAL(fwrite);
    if (!isRunStream(stream) || size == 0)
        return real(ptr, size, nmemb, stream);
    step();
    const size_t bytes = size * nmemb;
    const size_t allowed = allowance(bytes);
    if (allowed == 0 && bytes > 0) {
        errno = ENOSPC;
        return 0;
    }
    const size_t items = allowed / size;
    const size_t n = real(ptr, size, items, stream);
    spend((ssize_t)(n * size));
    if (n < nmemb && errno == 0)
        errno = ENOSPC;
    return n;
}

int fflush(FILE* stream) {
    static int (*real)(FILE*);
    if (real == NULL)
        real = REAL(fflush);
    if (isRunStream(stream))
        step();
    return real(stream);
}

int ftruncate(int fd, off_t length) {
    static int (*real)(int, off_t);
    if (real == NULL)
        real = REAL(ftruncate);
    step();
    return real(fd, length);
}

int ftruncate64(int fd, off_t length) {
    return ftruncate(fd, length);
}

int fsync(int fd) {
    static int (*real)(int);
    if (real == NULL)
        real = REAL(fsync);
    if (isRunFile(fd))
        step();
    return real(fd);
}

int rename(const char* from, const char* to) {
    static int (*real)(const char*, const char*);
    if (real == NULL)
        real = REAL(rename);
    step();
    return real(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    static int (*real)(int, const char*, int, const char*);
    if (real == NULL)
        real = REAL(renameat);
    step();
    return real(fromDir, from, toDir, to);
}

int unlink(const char* path) {
    static int (*real)(const char*);
    if (real == NULL)
        real = REAL(unlink);
    step();
    return real(path);
}

int unlinkat(int dir, const char* path, int flags) {
    static int (*real)(int, const char*, int);
    if (real == NULL)
        real = REAL(unlinkat);
    step();
    return real(dir, path, flags);
}

int remove(const char* path) {
    static int (*real)(const char*);
    if (real == NULL)
        real = REAL(remove);
    step();
    return real(path);
}

static int creates(int flags) {
    return (flags & (O_CREAT | O_TRUNC)) != 0;
}

int open(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    if (real == NULL)
        real = REAL(open);
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = (mode_t)va_arg(args, int);
        va_end(args);
    }
    if (creates(flags))
        step();
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = (mode_t)va_arg(args, int);
        va_end(args);
    }
    return open(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    static int (*real)(int, const char*, int, ...);
    if (real == NULL)
        real = REAL(openat);
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = (mode_t)va_arg(args, int);
        va_end(args);
    }
    if (creates(flags))
        step();
    return real(dir, path, flags, mode);
}

FILE* fopen(const char* path, const char* mode) {
    static FILE* (*real)(const char*, const char*);
    if (real == NULL)
        real = REAL(fopen);
    if (strpbrk(mode, "wa") != NULL)
        step();
    return real(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
    return fopen(path, mode);
}
