#include "session/scan_session.h"

#include "kestrune_command_line.h"

std::string join_path(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  char last = folder.back();
  if (last == '\\' || last == '/') return folder + name;
  return folder + '\\' + name;
}

std::string scan_folder_path(const char* cache_folder) {
  return join_path(cache_folder, kestrune::kScanFolderName);
}
