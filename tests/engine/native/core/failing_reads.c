// Preloaded into the engine by the tests: reads of the file KES_FAIL_PATH fail from byte
// KES_FAIL_FROM up to KES_FAIL_TO (or its end) with the error KES_FAIL_ERRNO: EIO for a
// bad area, ENODEV for a card pulled out of its reader.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

typedef ssize_t (*pread_fn)(int, void*, size_t, off_t);

static int failing(int fd, off_t off, size_t* n) {
  static struct stat target;
  static int known = -1;
  if (known < 0) {
    const char* path = getenv("KES_FAIL_PATH");
    known = path && stat(path, &target) == 0;
  }
  struct stat st;
  if (!known || fstat(fd, &st) != 0 || st.st_dev != target.st_dev || st.st_ino != target.st_ino) return 0;
  const char* from_text = getenv("KES_FAIL_FROM");
  const char* to_text = getenv("KES_FAIL_TO");
  const off_t from = from_text ? (off_t)strtoll(from_text, NULL, 10) : 0;
  const off_t to = to_text ? (off_t)strtoll(to_text, NULL, 10) : (off_t)1 << 62;
  if (off >= to || off + (off_t)*n <= from) return 0;
  if (off < from) {  // the part before the bad area reads, as a real device gives it
    *n = (size_t)(from - off);
    return 0;
  }
  const char* error = getenv("KES_FAIL_ERRNO");
  errno = error ? atoi(error) : EIO;
  return 1;
}

static ssize_t forward(const char* name, int fd, void* buf, size_t n, off_t off) {
  pread_fn real = (pread_fn)dlsym(RTLD_NEXT, name);
  if (failing(fd, off, &n)) return -1;
  return real(fd, buf, n, off);
}

ssize_t pread(int fd, void* buf, size_t n, off_t off) { return forward("pread", fd, buf, n, off); }
ssize_t pread64(int fd, void* buf, size_t n, off_t off) { return forward("pread64", fd, buf, n, off); }
