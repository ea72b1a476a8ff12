// The extensions the engine is asked to search for, per kind of file
// (the kinds themselves: session/file_kinds.h).
#pragma once
#include <string>

#include "kestrune_contract.h"

using kestrune::kAudioSearch;
using kestrune::kPhotoSearch;
using kestrune::kVideoSearch;

// Rebuilds the process-wide option string for the engine command line and
// returns it: "fileopt,everything,disable," + "<ext>,enable," per wanted
// extension (always video, photo, audio in that order) + "search".
const std::string& build_search_options(int photo, int video, int audio);

// The option string of the latest build.
const std::string& search_options();
