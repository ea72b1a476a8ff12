#include "imaging/image_files.h"

#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>

#include <cstring>

#include "imaging/image.h"
#include "imaging/picture_header.h"

namespace {

uint64_t shared_file_size(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file, &size)) size.QuadPart = 0;
  CloseHandle(file);
  return static_cast<uint64_t>(size.QuadPart);
}

}  // namespace

int read_file_to_memory(const char* path, std::vector<uint8_t>& bytes, bool restore_header) {
  uint64_t size = shared_file_size(path);
  if (size == 0 || size > kMaxFileInMemory) return -1;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  size_t start = bytes.size();
  bytes.resize(start + static_cast<size_t>(size));
  // Read to the end, whatever the size was a moment ago.
  size_t filled = start;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(bytes.size() + 65536);
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(bytes.size() - filled);
    if (!ReadFile(file, bytes.data() + filled, want, &got, nullptr)) {
      CloseHandle(file);
      bytes.resize(start);
      return -1;
    }
    if (got == 0) break;
    filled += got;
  }
  CloseHandle(file);
  bytes.resize(filled);
  if (restore_header) {
    size_t header_end = filled - start < 16 ? filled : start + 16;
    for (size_t i = start; i < header_end; ++i) bytes[i] = static_cast<uint8_t>(~bytes[i]);
  }
  return 0;
}

int load_image_from_memory(const std::vector<uint8_t>& bytes, CImage& image) {
  if (bytes.empty() || bytes.size() > kMaxFileInMemory || !decodable_picture(bytes)) return -1;
  // A memory stream rather than one on an HGLOBAL: Wine's HGLOBAL stream reads past its
  // block once a decoder seeks beyond the end, which a JPEG marker whose length runs off
  // the end of the file makes it do.
  IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
  if (!stream) return -1;
  HRESULT result = image.Load(stream);
  stream->Release();
  return SUCCEEDED(result) ? 0 : -1;
}
