// The thumbnail worker: one background thread that gives every found file its PNG
// thumbnail and picture facts, in list order, from the list's thumbnail cursor.
#pragma once
#include <cstdint>
#include <string>

// Machines with less physical memory than this get no worker (and no thumbnails).
constexpr uint64_t kThumbnailWorkerMinMemory = 1048576000ull;

// The thread procedure; never returns.
unsigned __stdcall thumbnail_worker(void* unused);

// One pass: handles the record at the cursor if there is one. True when a record was
// taken (written back, or dropped because the list was reset meanwhile).
bool thumbnail_worker_pass();

// "thumb_" + file stem + ".png" in the cached file's folder.
std::string thumbnail_name(const std::string& path);

// Starts the worker for the life of the process when `physical_memory` is at least
// kThumbnailWorkerMinMemory. True when it was started.
bool start_thumbnail_worker(uint64_t physical_memory);
