// What the engine and the program agree on, included by both builds: the pipe the engine
// reports over, the record it sends, the event that stops it, how it names the file it is
// still writing, the unit its progress counts in, the search options the program sends per
// kind of file, and the tables that sort a file's extension into a kind (the engine names
// its files so that the program sorts every one of them).
#pragma once
#include <cstddef>
#include <cstdint>

namespace kestrune {

// Created by the program before it starts the engine; the engine connects as the client.
constexpr char kPipeName[] = "\\\\.\\pipe\\Kestrune";
constexpr wchar_t kPipeNameW[] = L"\\\\.\\pipe\\Kestrune";

// A manual-reset event the program creates, unset, before it starts the engine, and sets
// to stop it. The engine then finishes or deletes the file it is writing, reports what it
// finished, sends the end message and exits with kExitStopped.
constexpr char kStopEventName[] = "Local\\KestruneStop";
constexpr wchar_t kStopEventNameW[] = L"Local\\KestruneStop";

// A file the engine is still writing has a name beginning with this mark; it gets its own
// name, and is reported, once it is complete. Anything so marked is no found file.
constexpr char kUnfinishedMark = '.';

// How a run ended: the engine's exit code. The program reads it after the end message.
constexpr int kExitOk = 0;           // the whole medium was scanned
constexpr int kExitFailed = 1;       // the scan could not start (medium, scan folder) or lost its channel
constexpr int kExitUsage = 2;        // malformed command line: nothing was touched
constexpr int kExitStopped = 3;      // stopped on request before the end of the medium
constexpr int kExitWriteFailed = 4;  // a found file could not be written (a full disk): the scan stopped there
constexpr int kExitUnreadable = 5;   // scanned to the end, but parts of the medium could not be read (or it
                                     // was removed) and were skipped

// Progress is counted in sectors of this many bytes.
constexpr uint32_t kSectorBytes = 512;

// One pipe message: progress, and the path of a file just written (empty for progress
// only). A zero-length message ends the scan.
#pragma pack(push, 4)
struct EngineReport {
  uint32_t sectors_total[2];  // low half, high half; 0 while the total is unknown
  uint32_t sectors_done[2];   // low half, high half
  char file_path[264];        // NUL-terminated ANSI path
};
#pragma pack(pop)
static_assert(sizeof(EngineReport) == 280, "EngineReport is a 280-byte message");
static_assert(offsetof(EngineReport, sectors_total) == 0, "sectors_total at 0");
static_assert(offsetof(EngineReport, sectors_done) == 8, "sectors_done at 8");
static_assert(offsetof(EngineReport, file_path) == 16, "file_path at 16");

// A report's 64-bit counts as their two halves, low half first, and back.
inline void split_count(uint64_t count, uint32_t (&halves)[2]) {
  halves[0] = static_cast<uint32_t>(count);
  halves[1] = static_cast<uint32_t>(count >> 32);
}
inline uint64_t joined_count(const uint32_t (&halves)[2]) { return (uint64_t(halves[1]) << 32) | halves[0]; }

// The search options, per kind, in the order the program sends them; "asf", "riff" and
// "mov" stand for both video and audio ("mov" finds the sound-only ISO media that phones
// record memos in and music is sold in, written as m4a).
constexpr const char* kVideoSearch[15] = {"max", "mov",  "riff", "asf", "flv", "dpx", "dv",  "fcp",
                                          "ifo", "m2ts", "mkv",  "mpg", "rm",  "swf", "TiVo"};
constexpr const char* kPhotoSearch[15] = {"tif", "dsc", "raf", "x3f", "orf", "rw2", "crw", "mrw",
                                          "png", "gif", "bmp", "jpg", "ico", "psd", "heif"};
constexpr const char* kAudioSearch[26] = {"aif", "all", "als", "ape", "asf",  "au",  "caf", "riff", "flac",
                                          "gp5", "ds2", "dss", "flp", "it",   "mid", "mp3", "mus",  "ogg",
                                          "ra",  "rns", "ses", "sib", "wv",   "xm",  "wtv", "mov"};

// Extensions per kind as the program sorts files, compared without regard to ASCII case
// and looked up video first, then photo, then audio; each holds its kind's search options
// as one run. The engine writes sound-only ISO media as m4a, under the "mov" option.
constexpr const char* kVideoKinds[31] = {"3ds", "3g2", "3gp", "aep", "ani", "wmv", "avi",  "fla",
                                         "m2t", "m3u", "mp4", "pvp", "ram", "swc", "tod",  "webm",
                                         "max", "mov", "riff", "asf", "flv", "dpx", "dv",  "fcp",
                                         "ifo", "m2ts", "mkv", "mpg", "rm",  "swf", "TiVo"};
// The photo table goes on past its first 24 entries with the pictures current cameras and
// phones write in ISO base media files: Canon's CR3, HEIF (HEIC) and AVIF.
constexpr const char* kPhotoKinds[28] = {"nef", "cr2", "dcr", "pef", "arw", "sr2", "tiff", "jng",
                                         "tif", "dsc", "raf", "x3f", "orf", "rw2", "crw",  "mrw",
                                         "png", "gif", "bmp", "jpg", "ico", "psd", "heif", "mng",
                                         "dng", "cr3", "heic", "avif"};
constexpr const char* kAudioKinds[34] = {"aif", "all", "als", "ape", "wma", "cda", "cpr", "cue", "ogm",
                                         "wav", "xrns", "wpl", "asf", "au", "caf", "riff", "flac",
                                         "gp5", "ds2", "dss", "flp", "it", "mid", "mp3", "mus",
                                         "ogg", "ra", "rns", "ses", "sib", "wv", "xm", "wtv", "m4a"};

}  // namespace kestrune
