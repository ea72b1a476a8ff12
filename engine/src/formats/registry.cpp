// The format table: one entry per search option, in the order the engine probes them.
#include <cstring>

#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint64_t MiB = uint64_t(1) << 20;

const Format kFormats[] = {
    {"tif", Kind::photo, 16, probe_tif, measure_tif, 4096 * MiB, nullptr, tif_directory},
    {"dsc", Kind::photo, 16, probe_dsc, measure_dsc, 1024 * MiB},
    {"raf", Kind::photo, 112, probe_raf, measure_raf, 1024 * MiB},
    {"x3f", Kind::photo, 40, probe_x3f, measure_x3f, 512 * MiB},
    {"orf", Kind::photo, 16, probe_orf, measure_orf, 1024 * MiB},
    {"rw2", Kind::photo, 16, probe_rw2, measure_rw2, 1024 * MiB},
    {"crw", Kind::photo, 26, probe_crw, measure_crw, 256 * MiB},
    {"mrw", Kind::photo, 16, probe_mrw, measure_mrw, 512 * MiB},
    {"png", Kind::photo, 16, probe_png, measure_png, 1024 * MiB, trusted_prefix<resume_png>},
    {"gif", Kind::photo, 16, probe_gif, measure_gif, 256 * MiB, gif_splicer},
    {"bmp", Kind::photo, 54, probe_bmp, measure_bmp, 4096 * MiB},
    {"jpg", Kind::photo, 8, probe_jpg, measure_jpg, 512 * MiB, jpg_splicer},
    {"ico", Kind::photo, 512, probe_ico, measure_ico, 64 * MiB},
    {"psd", Kind::photo, 32, probe_psd, measure_psd, 4096 * MiB},
    // HEIF, HEIC, AVIF and Canon's CR3: one option for the stills of ISO base media files.
    {"heif", Kind::photo, 256, probe_heif, measure_heif, 4096 * MiB, heif_splicer, nullptr, heif_unchecked_at},
    // AVI and WAVE: one option for both kinds; a large AVI goes on past its first 4 GiB.
    {"riff", Kind::video, 20, probe_riff, measure_riff, 16384 * MiB, trusted_prefix<resume_riff>},
    {"mov", Kind::video, 512, probe_mov, measure_mov, 65536 * MiB, nullptr, nullptr, nullptr, &kMovieIndex},
    {"mkv", Kind::video, 128, probe_mkv, measure_mkv, 65536 * MiB},
    // One entry for wmv and wma: "asf" is in both the video and the audio table.
    {"asf", Kind::video, 30, probe_asf, measure_asf, 16384 * MiB},
    {"flv", Kind::video, 24, probe_flv, measure_flv, 8192 * MiB},
    {"rm", Kind::video, 26, probe_rm, measure_rm, 4096 * MiB},
    {"ra", Kind::audio, 72, probe_ra, measure_ra, 1024 * MiB},
    {"wtv", Kind::audio, 64, probe_wtv, measure_wtv, 65536 * MiB},
    {"max", Kind::video, 64, probe_max, measure_max, 4096 * MiB},
    {"fcp", Kind::video, 51, probe_fcp, measure_fcp, 64 * MiB},
    {"dpx", Kind::video, 32, probe_dpx, measure_dpx, 1024 * MiB},
    {"mpg", Kind::video, 148, probe_mpg, measure_mpg, 16384 * MiB, mpg_splicer},
    {"m2ts", Kind::video, 392, probe_m2ts, measure_m2ts, 65536 * MiB, m2ts_splicer},
    {"TiVo", Kind::video, 24, probe_tivo, measure_tivo, 65536 * MiB},
    {"dv", Kind::video, 483, probe_dv, measure_dv, 65536 * MiB},
    {"ifo", Kind::video, 0xD0, probe_ifo, measure_ifo, 8 * MiB},
    {"mp3", Kind::audio, 512, probe_mp3, measure_mp3, 1024 * MiB},
    {"ogg", Kind::audio, 27, probe_ogg, measure_ogg, 4096 * MiB},
    {"flac", Kind::audio, 42, probe_flac, measure_flac, 4096 * MiB, flac_splicer},
    {"wv", Kind::audio, 32, probe_wv, measure_wv, 4096 * MiB},
    {"ape", Kind::audio, 52, probe_ape, measure_ape, 4096 * MiB},
    {"swf", Kind::video, 32, probe_swf, measure_swf, 4096 * MiB},
    {"aif", Kind::audio, 20, probe_aif, measure_aif, 4096 * MiB, trusted_prefix<resume_aif>},
    {"au", Kind::audio, 24, probe_au, measure_au, 4160 * MiB, trusted_prefix<resume_au>},
    {"caf", Kind::audio, 52, probe_caf, measure_caf, 16384 * MiB},
    {"mid", Kind::audio, 18, probe_mid, measure_mid, 64 * MiB},
    {"mus", Kind::audio, 366, probe_mus, measure_mus, 1 * MiB},
    {"flp", Kind::audio, 22, probe_flp, measure_flp, 1024 * MiB},
    {"ses", Kind::audio, 20, probe_ses, measure_ses, 256 * MiB},
    {"it", Kind::audio, 192, probe_it, measure_it, 1024 * MiB},
    {"xm", Kind::audio, 80, probe_xm, measure_xm, 1024 * MiB},
    {"als", Kind::audio, 10, probe_als, measure_als, 1024 * MiB},
    {"gp5", Kind::audio, 31, probe_gp5, measure_gp5, 16 * MiB},
    {"ds2", Kind::audio, 68, probe_ds2, measure_ds2, 1024 * MiB},
    {"dss", Kind::audio, 68, probe_dss, measure_dss, 1024 * MiB},
    {"sib", Kind::audio, 9, probe_sib, measure_sib, 64 * MiB},
    {"rns", Kind::audio, 32, probe_rns, measure_rns, 256 * MiB},
};

}  // namespace

const Format* format_table(size_t* count) {
  *count = sizeof kFormats / sizeof kFormats[0];
  return kFormats;
}

const Format* find_format(const char* option) {
  if (!option) return nullptr;
  for (const Format& f : kFormats)
    if (std::strcmp(f.name, option) == 0) return &f;
  return nullptr;
}

}  // namespace kes
