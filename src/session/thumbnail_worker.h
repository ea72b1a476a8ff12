// The thumbnail worker: one background thread that gives every found file its PNG
// thumbnail and picture facts, in list order, from the list's thumbnail cursor, through
// the common or HEIF decoder (src/imaging) or the RAW decoder (src/raw) as the extension
// says.
#pragma once
#include <cstdint>
#include <string>

#include "base/found_file.h"

// Machines with less physical memory than this get no worker (and no thumbnails).
constexpr uint64_t kThumbnailWorkerMinMemory = 1048576000ull;

// The thread procedure; never returns.
unsigned __stdcall thumbnail_worker(void* unused);

// One pass: handles the record at the cursor if there is one. True when a record was
// taken (written back, or dropped because the list was reset meanwhile).
bool thumbnail_worker_pass();

// Which decoder reads a file, chosen by its lower-cased extension.
enum class ThumbnailDecoder { none, common, raw, heif };
ThumbnailDecoder thumbnail_decoder_for(const char* path);

// Writes record.thumb_path from record.file_path (read with its header restored in memory
// when record.complemented is set) and fills the record's picture facts. 0 when written,
// already there, or when only the save failed; -1 when no decoder fits or decoding failed.
int make_thumbnail(FoundFile& record);

// "thumb_" + file stem + ".png" in the cached file's folder.
std::string thumbnail_name(const std::string& path);

// Starts the worker for the life of the process when `physical_memory` is at least
// kThumbnailWorkerMinMemory. True when it was started.
bool start_thumbnail_worker(uint64_t physical_memory);
