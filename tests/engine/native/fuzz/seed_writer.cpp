// Writes the fuzz targets' seed corpora: the generated samples sorted by format, and
// the synthetic camera RAW files. Usage: kes_fuzz_seeds <out-dir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "formats/container_maker.h"
#include "formats/stream_synthetic.h"
#include "formats/synthetic.h"

namespace fs = std::filesystem;
using kes::test::Bytes;

namespace {

void write(const fs::path& dir, const std::string& name, const Bytes& b) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  fs::path out = argv[1];
  const std::pair<const char*, const char*> by_prefix[] = {
      {"jpg_", "jpg"}, {"png_", "png"}, {"jng_", "png"}, {"mng_", "png"}, {"gif_", "gif"},
      {"bmp_", "bmp"}, {"ico_", "ico"}, {"psd_", "psd"}, {"heif_", "heif"}, {"tif_", "tif"}, {"riff_", "riff"},
      {"mov_", "mov"}, {"mkv_", "mkv"}, {"asf_", "asf"}, {"flv_", "flv"}, {"rm_", "rm"},
      {"wtv_", "wtv"}, {"dpx_", "dpx"},
      {"mpg_", "mpg"}, {"m2ts_", "m2ts"}, {"dv_", "dv"}, {"ifo_", "ifo"}, {"mp3_", "mp3"},
      {"ogg_", "ogg"}, {"flac_", "flac"}, {"wv_", "wv"},
      {"swf_", "swf"}, {"aif_", "aif"}, {"au_", "au"},   {"caf_", "caf"}, {"mid_", "mid"},
      {"mus_", "mus"}, {"flp_", "flp"}, {"ses_", "ses"}, {"it_", "it"},   {"xm_", "xm"},
      {"als_", "als"}, {"gz_", "als"},  {"gp5_", "gp5"}, {"ds2_", "ds2"}, {"dss_", "dss"},
      {"sib_", "sib"}, {"rns_", "rns"}};
  for (const auto& entry : fs::directory_iterator(KES_MEDIA_DIR)) {
    std::string name = entry.path().filename().string();
    for (auto [prefix, format] : by_prefix)
      if (name.rfind(prefix, 0) == 0 && fs::file_size(entry.path()) <= 256 * 1024)
        fs::copy_file(entry.path(), out / format / name,
                      (fs::create_directories(out / format), fs::copy_options::overwrite_existing));
  }
  using namespace kes::test;
  write(out / "tif", "nef", make_nef());
  write(out / "tif", "dng", make_dng());
  write(out / "tif", "cr2", make_cr2());
  write(out / "tif", "arw", make_sony("ILCE-7"));
  write(out / "dsc", "dcr", make_plain_raw(true, "Kodak", 65000));
  write(out / "orf", "orf", make_orf());
  write(out / "rw2", "rw2", make_rw2(false));
  write(out / "raf", "raf", make_raf());
  write(out / "x3f", "x3f", make_x3f());
  write(out / "mrw", "mrw", make_mrw());
  write(out / "crw", "crw", make_crw());
  for (int version : {3, 4, 5}) write(out / "ra", "ra" + std::to_string(version), make_ra(version));
  write(out / "max", "max", make_max());
  write(out / "fcp", "fcp_le", make_fcp(true));
  write(out / "fcp", "fcp_be", make_fcp(false));
  write(out / "ape", "ape", make_ape());
  const Bytes dv = sample("dv_pal.dv");  // larger than a fuzz input: its first blocks
  write(out / "dv", "dv_head", Bytes(dv.begin(), dv.begin() + std::min<size_t>(dv.size(), 16384)));
  write(out / "TiVo", "tivo", make_tivo(sample("mpg_mpeg1.mpg")));
  return 0;
}
