/* A network share, simulated: loaded with LD_PRELOAD, it adds a fixed delay
 * to the file calls of a process that reach files below one folder.
 *
 *   LATENCY_MS=2 LATENCY_PREFIX=/tmp/corpus LD_PRELOAD=bench/latency_preload.so CMD...
 *
 * Each open, stat and close of such a file costs one round trip, as on NFS
 * or SMB; reads cost one round trip for each 128 KiB block of the file read
 * for the first time through that descriptor (a client's read-ahead fetches
 * whole blocks; later reads of a block come from its cache). Calls through
 * stdio (fopen, fread, fseek) count the same way. Files outside the prefix
 * (programs, libraries, Python modules) are not delayed.
 *
 * Built by bench/compare.sh: cc -O2 -shared -fPIC -o latency_preload.so
 * latency_preload.c -ldl
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#define MAX_FDS 65536
#define BLOCK_SHIFT 17  /* 128 KiB */
#define MAX_BLOCKS 4096 /* blocks tracked per descriptor: files up to 512 MiB */

static long delay_ns;
static char prefix[4096];
static size_t prefix_len;
/* For each descriptor of a delayed file: the blocks read so far. */
static unsigned char* seen[MAX_FDS];
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

__attribute__((constructor)) static void init(void) {
    const char* ms = getenv("LATENCY_MS");
    const char* p = getenv("LATENCY_PREFIX");
    if (ms) delay_ns = (long)(atof(ms) * 1e6);
    if (p && strlen(p) < sizeof prefix) {
        strcpy(prefix, p);
        prefix_len = strlen(prefix);
    }
}

static void round_trip(void) {
    if (delay_ns <= 0) return;
    struct timespec t = {delay_ns / 1000000000L, delay_ns % 1000000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {}
}

static int delayed_path(const char* path) {
    return delay_ns > 0 && prefix_len > 0 && path && strncmp(path, prefix, prefix_len) == 0;
}

static void track(int fd) {
    if (fd < 0 || fd >= MAX_FDS) return;
    pthread_mutex_lock(&lock);
    free(seen[fd]);
    seen[fd] = calloc(MAX_BLOCKS / 8, 1);
    pthread_mutex_unlock(&lock);
}

static void untrack(int fd) {
    if (fd < 0 || fd >= MAX_FDS) return;
    pthread_mutex_lock(&lock);
    free(seen[fd]);
    seen[fd] = NULL;
    pthread_mutex_unlock(&lock);
}

static int tracked(int fd) {
    if (fd < 0 || fd >= MAX_FDS) return 0;
    pthread_mutex_lock(&lock);
    int r = seen[fd] != NULL;
    pthread_mutex_unlock(&lock);
    return r;
}

/* One round trip per block of [offset, offset + count) not read before. */
static void read_blocks(int fd, off_t offset, size_t count) {
    if (fd < 0 || fd >= MAX_FDS || count == 0 || offset < 0) return;
    int trips = 0;
    pthread_mutex_lock(&lock);
    unsigned char* map = seen[fd];
    if (map) {
        off_t first = offset >> BLOCK_SHIFT, last = (offset + (off_t)count - 1) >> BLOCK_SHIFT;
        for (off_t b = first; b <= last; ++b) {
            if (b >= MAX_BLOCKS) {
                ++trips;
                continue;
            }
            if (!(map[b / 8] & (1u << (b % 8)))) {
                map[b / 8] |= (unsigned char)(1u << (b % 8));
                ++trips;
            }
        }
    }
    pthread_mutex_unlock(&lock);
    /* A client fetches the blocks of one request together. */
    if (trips > 0) round_trip();
}

#define REAL(name, ret, ...)                \
    static ret (*real_##name)(__VA_ARGS__); \
    if (!real_##name) real_##name = (ret(*)(__VA_ARGS__))dlsym(RTLD_NEXT, #name)

static int open_common(const char* path, int fd) {
    if (fd >= 0 && delayed_path(path)) {
        round_trip();
        track(fd);
    }
    return fd;
}

/* The mode argument of an open that creates a file. */
#define OPEN_MODE(flags, mode)             \
    mode_t mode = 0;                       \
    if ((flags) & (O_CREAT | O_TMPFILE)) { \
        va_list ap;                        \
        va_start(ap, flags);               \
        mode = va_arg(ap, mode_t);         \
        va_end(ap);                        \
    }

int open(const char* path, int flags, ...) {
    REAL(open, int, const char*, int, ...);
    OPEN_MODE(flags, mode)
    return open_common(path, real_open(path, flags, mode));
}

int open64(const char* path, int flags, ...) {
    REAL(open64, int, const char*, int, ...);
    OPEN_MODE(flags, mode)
    return open_common(path, real_open64(path, flags, mode));
}

int openat(int dir, const char* path, int flags, ...) {
    REAL(openat, int, int, const char*, int, ...);
    OPEN_MODE(flags, mode)
    return open_common(path, real_openat(dir, path, flags, mode));
}

int openat64(int dir, const char* path, int flags, ...) {
    REAL(openat64, int, int, const char*, int, ...);
    OPEN_MODE(flags, mode)
    return open_common(path, real_openat64(dir, path, flags, mode));
}

FILE* fopen(const char* path, const char* mode) {
    REAL(fopen, FILE*, const char*, const char*);
    FILE* f = real_fopen(path, mode);
    if (f) open_common(path, fileno(f));
    return f;
}

FILE* fopen64(const char* path, const char* mode) {
    REAL(fopen64, FILE*, const char*, const char*);
    FILE* f = real_fopen64(path, mode);
    if (f) open_common(path, fileno(f));
    return f;
}

int close(int fd) {
    REAL(close, int, int);
    if (tracked(fd)) {
        round_trip();
        untrack(fd);
    }
    return real_close(fd);
}

int fclose(FILE* f) {
    REAL(fclose, int, FILE*);
    int fd = f ? fileno(f) : -1;
    if (tracked(fd)) {
        round_trip();
        untrack(fd);
    }
    return real_fclose(f);
}

ssize_t read(int fd, void* buf, size_t count) {
    REAL(read, ssize_t, int, void*, size_t);
    REAL(lseek, off_t, int, off_t, int);
    if (tracked(fd)) read_blocks(fd, real_lseek(fd, 0, SEEK_CUR), count);
    return real_read(fd, buf, count);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
    REAL(pread, ssize_t, int, void*, size_t, off_t);
    if (tracked(fd)) read_blocks(fd, offset, count);
    return real_pread(fd, buf, count, offset);
}

ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
    REAL(pread64, ssize_t, int, void*, size_t, off_t);
    if (tracked(fd)) read_blocks(fd, offset, count);
    return real_pread64(fd, buf, count, offset);
}

size_t fread(void* buf, size_t size, size_t n, FILE* f) {
    REAL(fread, size_t, void*, size_t, size_t, FILE*);
    int fd = f ? fileno(f) : -1;
    if (tracked(fd)) read_blocks(fd, ftello(f), size * n);
    return real_fread(buf, size, n, f);
}

int stat(const char* path, struct stat* st) {
    REAL(stat, int, const char*, struct stat*);
    if (delayed_path(path)) round_trip();
    return real_stat(path, st);
}

int stat64(const char* path, struct stat64* st) {
    REAL(stat64, int, const char*, struct stat64*);
    if (delayed_path(path)) round_trip();
    return real_stat64(path, st);
}

int lstat(const char* path, struct stat* st) {
    REAL(lstat, int, const char*, struct stat*);
    if (delayed_path(path)) round_trip();
    return real_lstat(path, st);
}

int lstat64(const char* path, struct stat64* st) {
    REAL(lstat64, int, const char*, struct stat64*);
    if (delayed_path(path)) round_trip();
    return real_lstat64(path, st);
}

int fstat(int fd, struct stat* st) {
    REAL(fstat, int, int, struct stat*);
    if (tracked(fd)) round_trip();
    return real_fstat(fd, st);
}

int fstat64(int fd, struct stat64* st) {
    REAL(fstat64, int, int, struct stat64*);
    if (tracked(fd)) round_trip();
    return real_fstat64(fd, st);
}

int fstatat(int dir, const char* path, struct stat* st, int flags) {
    REAL(fstatat, int, int, const char*, struct stat*, int);
    if (path[0] ? delayed_path(path) : tracked(dir)) round_trip();
    return real_fstatat(dir, path, st, flags);
}

int fstatat64(int dir, const char* path, struct stat64* st, int flags) {
    REAL(fstatat64, int, int, const char*, struct stat64*, int);
    if (path[0] ? delayed_path(path) : tracked(dir)) round_trip();
    return real_fstatat64(dir, path, st, flags);
}

int statx(int dir, const char* path, int flags, unsigned mask, struct statx* st) {
    REAL(statx, int, int, const char*, int, unsigned, struct statx*);
    if (path[0] ? delayed_path(path) : tracked(dir)) round_trip();
    return real_statx(dir, path, flags, mask, st);
}

#include <dirent.h>

DIR* opendir(const char* path) {
    REAL(opendir, DIR*, const char*);
    if (delayed_path(path)) round_trip();
    return real_opendir(path);
}
