#include "session/scan_session.h"

#include "base/paths.h"
#include "kestrune_command_line.h"

std::string scan_folder_path(const char* cache_folder) {
  return join_path(cache_folder, kestrune::kScanFolderName);
}
