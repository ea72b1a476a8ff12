#include "formats/tiff_tags.h"

#include <cctype>
#include <cstring>
#include <iterator>

namespace kes::tiff {
namespace {

constexpr Dir kNone = Dir::maker;  // `into` of rules that lead to no directory

#define FILE_TAGS                                                                       \
  {259, Role::compression, 0, kNone}, {262, Role::photometric, 0, kNone},               \
  {273, Role::data, 279, kNone}, {324, Role::data, 325, kNone}, {513, Role::jpeg, 514, kNone}, \
  {34665, Role::ifd, 0, Dir::exif}, {34853, Role::ifd, 0, Dir::exif}, {40965, Role::ifd, 0, Dir::exif}, \
  {37500, Role::maker_note, 0, kNone}, {50706, Role::dng_version, 0, kNone},            \
  {50740, Role::private_ifd, 0, Dir::maker}

const TagRule kMain[] = {
    FILE_TAGS, {271, Role::make, 0, kNone}, {272, Role::model, 0, kNone}, {330, Role::ifd, 0, Dir::main}};
const TagRule kRw2[] = {FILE_TAGS,
                        {271, Role::make, 0, kNone},
                        {272, Role::model, 0, kNone},
                        {330, Role::ifd, 0, Dir::main},
                        {2, Role::sensor_width, 0, kNone},
                        {3, Role::sensor_height, 0, kNone},
                        {280, Role::raw_offset, 0, kNone},
                        {288, Role::ifd, 0, Dir::maker}};  // the camera IFD (FreeOffsets elsewhere)
const TagRule kExif[] = {FILE_TAGS, {330, Role::ifd, 0, Dir::maker}};
// Every maker-note directory: the same file tags, and Sony's encrypted private block.
const TagRule kMaker[] = {FILE_TAGS, {330, Role::ifd, 0, Dir::maker}, {0x7200, Role::data, 0x7201, kNone}};
const TagRule kNikon[] = {{0x11, Role::ifd, 0, Dir::maker}};
const TagRule kOlympus[] = {{0x2010, Role::ifd, 0, Dir::maker}, {0x2020, Role::ifd, 0, Dir::olympus_settings},
                            {0x2030, Role::ifd, 0, Dir::maker}, {0x2031, Role::ifd, 0, Dir::maker},
                            {0x2040, Role::ifd, 0, Dir::maker}, {0x2050, Role::ifd, 0, Dir::maker},
                            {0x88, Role::jpeg, 0x89, kNone}, {0x1036, Role::jpeg, 0x1037, kNone}};
const TagRule kOlympusSettings[] = {{0x101, Role::jpeg, 0x102, kNone}};
const TagRule kMinolta[] = {{0x88, Role::jpeg, 0x89, kNone}};
const TagRule kPentax[] = {{4, Role::jpeg, 3, kNone}};
const TagRule kSamsung[] = {{2, Role::jpeg, 3, kNone}};
#undef FILE_TAGS

template <size_t N>
constexpr DirRules rules(const TagRule (&r)[N], bool strict, bool strict_previews) {
  return DirRules{r, N, strict, strict_previews};
}

const DirRules kDirs[] = {
    rules(kMain, true, true),       rules(kRw2, true, true),      rules(kExif, false, true),
    rules(kMaker, false, false),    rules(kNikon, false, false),  rules(kOlympus, false, false),
    rules(kOlympusSettings, false, false), rules(kMinolta, false, false), rules(kPentax, false, false),
    rules(kSamsung, false, false),
};
static_assert(std::size(kDirs) == size_t(Dir::count), "one rule set per kind of directory");

const TagRule* find_in(const DirRules& d, uint16_t tag) {
  for (size_t i = 0; i < d.count; ++i)
    if (d.rules[i].tag == tag) return &d.rules[i];
  return nullptr;
}

bool is_maker_dir(Dir d) { return d >= Dir::maker; }

// Maker notes by their header. Offsets count from the note's start where it has a header
// of its own, from the file's TIFF header where it has none.
const MakerNote kNotes[] = {
    {"Nikon\0", 6, 10, 10, kIfdPointer, 14, Dir::nikon},  // a TIFF header of its own at 10
    {"OLYMPUS\0", 8, 0, 8, 12, 0, Dir::olympus},
    {"OM SYSTEM\0", 10, 0, 12, 16, 0, Dir::olympus},
    {"OLYMP\0", 6, kFileBase, kFileOrder, 8, 0, Dir::olympus},
    {"EPSON\0", 6, kFileBase, kFileOrder, 8, 0, Dir::olympus},
    {"MINOL\0", 6, kFileBase, kFileOrder, 8, 0, Dir::olympus},  // Minolta's and others' in Olympus's layout
    {"CAMER\0", 6, kFileBase, kFileOrder, 8, 0, Dir::olympus},
    {"Panasonic\0", 10, kFileBase, kFileOrder, 12, 0, Dir::maker},
    {"SONY DSC \0", 10, kFileBase, kFileOrder, 12, 0, Dir::maker},
    {"SONY CAM \0", 10, kFileBase, kFileOrder, 12, 0, Dir::maker},
    {"AOC\0", 4, kFileBase, 4, 6, 0, Dir::pentax},
    {"PENTAX \0", 8, 0, 8, 10, 0, Dir::pentax},
    {"QVC\0", 4, kFileBase, kFileOrder, 6, 0, Dir::pentax},
    {"DCI\0", 4, kFileBase, kFileOrder, 6, 0, Dir::pentax},  // Casio's layout in Concord's cameras
    {"SIGMA\0\0\0", 8, kFileBase, kFileOrder, 10, 0, Dir::maker},
    {"FOVEON\0\0", 8, kFileBase, kFileOrder, 10, 0, Dir::maker},
    {"LEICA\0\0\0", 8, kFileBase, kFileOrder, 8, 0, Dir::maker},
    {"RICOH\0", 6, 0, 6, 8, 0, Dir::maker},
    {"FUJIFILM", 8, 0, kLittle, kIfdPointer, 8, Dir::maker},
};

// Notes that start with their IFD, told by the camera's make.
const MakerNote kBareMinolta = {"", 0, kFileBase, kFileOrder, 0, 0, Dir::minolta};
const MakerNote kBareSamsung = {"", 0, kFileBase, kFileOrder, 0, 0, Dir::samsung};
const MakerNote kBare = {"", 0, kFileBase, kFileOrder, 0, 0, Dir::maker};

bool starts(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// Makes are written in capitals by some models and not by others ("Konica Minolta
// Camera, Inc." beside "KONICA MINOLTA").
bool starts_nocase(const char* s, const char* prefix) {
  for (; *prefix; ++s, ++prefix)
    if (std::toupper(static_cast<unsigned char>(*s)) != std::toupper(static_cast<unsigned char>(*prefix))) return false;
  return true;
}

}  // namespace

const DirRules& rules_of(Dir dir) { return kDirs[size_t(dir) % size_t(Dir::count)]; }

const TagRule* find_rule(Dir dir, uint16_t tag) {
  const TagRule* r = find_in(rules_of(dir), tag);
  if (!r && is_maker_dir(dir) && dir != Dir::maker) r = find_in(rules_of(Dir::maker), tag);
  return r;
}

const MakerNote& maker_note_layout(const uint8_t* head, const char* make) {
  for (const MakerNote& n : kNotes)
    if (std::memcmp(head, n.magic, n.magic_len) == 0) return n;
  if (starts_nocase(make, "Minolta") || starts_nocase(make, "Konica Minolta") || starts(make, "SONY"))
    return kBareMinolta;
  if (starts(make, "SAMSUNG")) return kBareSamsung;
  return kBare;
}

}  // namespace kes::tiff
