#include "session/cache_header.h"

#include <cstdio>

void complement_bytes(unsigned char* data, unsigned long long size) {
  unsigned long long n = size < kComplementedBytes ? size : kComplementedBytes;
  for (unsigned long long i = 0; i < n; ++i) data[i] = static_cast<unsigned char>(~data[i]);
}

int complement_header(const char* path) {
  if (!path || !*path) return -1;
  FILE* f = std::fopen(path, "r+b");
  if (!f) return -1;
  unsigned char head[kComplementedBytes];
  size_t n = std::fread(head, 1, sizeof head, f);
  int rc = 0;
  if (n > 0) {
    complement_bytes(head, n);
    if (std::fseek(f, 0, SEEK_SET) != 0 || std::fwrite(head, 1, n, f) != n) rc = -1;
  }
  if (std::fclose(f) != 0) rc = -1;
  return rc;
}
