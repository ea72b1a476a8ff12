// The generated cards' manifest of originals (tools/make-card.sh) and the sha256 that
// names them.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace card_manifest {

inline std::string sha256_hex(const std::vector<unsigned char>& bytes) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  std::string hex;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return hex;
  if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
    BYTE digest[32];
    DWORD size = sizeof digest;
    if (CryptHashData(hash, bytes.data(), static_cast<DWORD>(bytes.size()), 0) &&
        CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0)) {
      static const char digits[] = "0123456789abcdef";
      for (DWORD i = 0; i < size; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
      }
    }
    CryptDestroyHash(hash);
  }
  CryptReleaseContext(provider, 0);
  return hex;
}

// sha256 -> format of every deleted original listed in the manifest at `path`
// (columns: name, format, bytes, sha256, deleted, ...).
inline std::map<std::string, std::string> deleted_originals(const char* path) {
  std::map<std::string, std::string> originals;
  FILE* f = std::fopen(path, "r");
  if (!f) return originals;
  char line[1024];
  std::fgets(line, sizeof line, f);  // column names
  while (std::fgets(line, sizeof line, f)) {
    std::vector<std::string> fields;
    std::string field;
    for (const char* p = line; *p && *p != '\n' && *p != '\r'; ++p) {
      if (*p == '\t') {
        fields.push_back(field);
        field.clear();
      } else {
        field += *p;
      }
    }
    fields.push_back(field);
    if (fields.size() >= 5 && fields[4] == "1") originals[fields[3]] = fields[1];
  }
  std::fclose(f);
  return originals;
}

}  // namespace card_manifest
