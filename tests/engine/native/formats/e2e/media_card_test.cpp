// Every format through the real engine: a card image holding one sample of each kind
// among noise, scanned with the option string the application sends for photos, videos
// and audio; each file must come back byte for byte under the extension its content
// calls for.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "engine_process.h"
#include "kestrune_command_line.h"
#include "formats/container_maker.h"
#include "formats/samples.h"
#include "formats/stream_synthetic.h"
#include "formats/synthetic.h"

namespace kes::test {
namespace {

struct Placed {
  Bytes file;
  std::string ext;
  bool zero_gap = false;  // free space zeroed after it: where formats without an end of their own stop
};

// A project file as its carve comes back: up to the end of its last sector.
Bytes sector_padded(Bytes b) {
  b.resize((b.size() + 511) / 512 * 512);
  return b;
}

std::string extension_of(const std::string& path) {
  size_t dot = path.rfind('.');
  return dot == std::string::npos ? "" : path.substr(dot + 1);
}

TEST(MediaCard, EveryFormatComesBackWithItsExtension) {
  std::vector<Placed> files = {
      {sample("jpg_exif_thumb.jpg"), "jpg"}, {sample("jpg_progressive.jpg"), "jpg"},
      {sample("jpg_big.jpg"), "jpg"},         {sample("jpg_trailer_pentax.jpg"), "jpg"},
      {sample("png_rgba.png"), "png"},
      {sample("jng_sample.jng"), "jng"},      {sample("gif_anim.gif"), "gif"},
      {sample("bmp_24.bmp"), "bmp"},          {sample("ico_multi.ico"), "ico"},
      {sample("psd_layers.psd"), "psd"},      {sample("tif_tiles_lzw.tif"), "tiff"},
      {make_nef(), "nef"},                    {make_dng(), "dng"},
      {make_cr2(), "cr2"},                    {make_sony("ILCE-7"), "arw"},
      {make_plain_raw(false, "PENTAX Corporation", 65535), "pef"},
      {make_plain_raw(true, "Kodak", 65000), "dcr"},
      {make_orf(), "orf"},                    {make_rw2(false), "rw2"},
      {make_raf(), "raf"},                    {make_x3f(), "x3f"},
      {make_mrw(), "mrw"},                    {make_crw(), "crw"},
      {sample("heif_large.heic"), "heic"},    {sample("heif_exif.heic"), "heic"},
      {sample("heif_large.avif"), "avif"},    {sample("heif_canon.cr3"), "cr3"},
      {sample("riff_avi.avi"), "avi"},        {sample("riff_wav_odd.wav"), "wav"},
      {sample("mov_mp4.mp4"), "mp4"},         {sample("mov_3gp.3gp"), "3gp"},
      {sample("mkv_video.mkv"), "mkv"},       {sample("mkv_webm.webm"), "webm"},
      {sample("asf_video.wmv"), "wmv"},       {sample("asf_audio.wma"), "wma"},
      {sample("flv_video.flv"), "flv"},       {sample("rm_video.rm"), "rm"},
      {make_ra(4), "ra"},                     {sample("wtv_sample.wtv"), "wtv"},
      {make_max(), "max"},                    {sample("dpx_rgb10.dpx"), "dpx"},
      {sector_padded(make_fcp(true)), "fcp", true},
      {sample("mpg_vob.mpg"), "mpg"},         {sample("mpg_video.mpg"), "mpg"},
      {sample("m2ts_packets.m2t"), "m2t"},    {sample("m2ts_timecoded.m2ts"), "m2ts"},
      {make_tivo(sample("mpg_mpeg1.mpg")), "TiVo"},
      {sample("dv_pal.dv"), "dv"},            {sample("ifo_vts.ifo"), "ifo"},
      {sample("mp3_cbr_tags.mp3"), "mp3"},    {sample("mp3_bare.mp3"), "mp3"},
      {sample("ogg_vorbis.ogg"), "ogg"},      {sample("ogg_theora.ogm"), "ogm"},
      {sample("flac_stereo.flac"), "flac"},   {sample("wv_surround.wv"), "wv"},
      {make_ape(), "ape"},
      {sample("swf_cws.swf"), "swf"},         {sample("aif_pcm.aif"), "aif"},
      {sample("au_sox.au"), "au"},            {sample("caf_alac.caf"), "caf"},
      {sample("mid_abc.mid"), "mid"},         {sample("mus_score.mus"), "mus"},
      {sample("flp_project.flp"), "flp"},     {sample("ses_session.ses"), "ses"},
      {sample("it_module.it"), "it"},         {sample("xm_module.xm"), "xm"},
      {sample("als_fields.als"), "als"},      {sample("gp5_song.gp5"), "gp5", true},
      {sample("dss_memo.dss"), "dss", true},  {sample("ds2_memo.ds2"), "ds2", true},
      {sample("sib_score.sib"), "sib", true},
      // As devices write them, 31 s long.
      {sample("world_phone.mp4"), "mp4"},          {sample("world_phone_keys.mp4"), "mp4"},
      {sample("world_phone.mov"), "mov"},          {sample("world_title.mp4"), "mp4"},
      {sample("world_hvc1.mp4"), "mp4"},           {sample("world_hev1.mp4"), "mp4"},
      {sample("world_hvc1.mov"), "mov"},           {sample("world_fragmented.mp4"), "mp4"},
      {sample("world_mjpeg_pcm.mov"), "mov"},      {sample("world_pcm24.mov"), "mov"},
      {sample("world_phone.3gp"), "3gp"},          {sample("world_aac.m4a"), "m4a"},
      {sample("world_alac.m4a"), "m4a"},           {sample("world_cover.m4a"), "m4a"},
      {sample("world_h264_aac.mkv"), "mkv"},       {sample("world_h264_vorbis.mkv"), "mkv"},
      {sample("world_vp9_opus.webm"), "webm"},     {sample("world_no_crc.mkv"), "mkv"},
      {sample("world_streamed.mkv"), "mkv"},       {sample("world_mkvmerge.mkv"), "mkv"},
      {sample("world_mkvmerge_no_cues.mkv"), "mkv"}, {sample("world_avchd.m2ts"), "m2ts"},
      {sample("world_cover.mp3"), "mp3"},          {sample("world_picture.flac"), "flac"},
      {sample("world_bext.wav"), "wav"},
      {sample("cam_Canon1DmkIII.jpg"), "jpg"},     {sample("cam_NikonD2Hs.jpg"), "jpg"},
      {sample("cam_Sony.jpg"), "jpg"},             {sample("cam_Panasonic.jpg"), "jpg"},
      {sample("cam_KonicaMinolta_preview.jpg"), "jpg"}, {sample("cam_Samsung_II_preview.jpg"), "jpg"},
      {sample("cam_OlympusE1_preview.jpg"), "jpg"},
  };
  Bytes card = noise(64 * 512, 77);
  for (const Placed& p : files) {
    card.insert(card.end(), p.file.begin(), p.file.end());
    const size_t gap_size = 3 * 512 + (512 - card.size() % 512) % 512;
    Bytes gap = p.zero_gap ? Bytes(gap_size) : noise(gap_size, static_cast<uint32_t>(card.size()));
    card.insert(card.end(), gap.begin(), gap.end());
  }
  kes_test::TempDir dir;
  kes_test::write_file(dir / "card.img", card);
  // The option string the program sends with every kind wanted.
  const std::string options = kestrune::build_search_options(true, true, true);
  kes_test::EngineRun run = kes_test::run_engine(KESSRV_EXE, {"/d", dir / "tmp", "/cmd", dir / "card.img", options});
  ASSERT_EQ(run.exit_code, 0) << run.err;

  std::map<Bytes, std::string> found;  // content -> extension written
  for (const kes_test::Message& m : run.messages) {
    if (m.end || !m.report.file_path[0]) continue;
    const std::string ext = extension_of(m.report.file_path);
    found[kes_test::read_file(m.report.file_path)] = ext;
    // The program sorts files by these tables and asks the user about any other.
    auto sorted = [&](const auto& table) {
      return std::any_of(std::begin(table), std::end(table), [&](const char* e) { return ext == e; });
    };
    EXPECT_TRUE(sorted(kestrune::kVideoKinds) || sorted(kestrune::kPhotoKinds) || sorted(kestrune::kAudioKinds)) << ext;
  }
  for (const Placed& p : files) {
    auto it = found.find(p.file);
    if (it == found.end()) {
      ADD_FAILURE() << "lost the " << p.ext << " file of " << p.file.size() << " bytes";
      continue;
    }
    EXPECT_EQ(it->second, p.ext);
  }
  EXPECT_EQ(found.size(), files.size()) << "extra carves from the noise or from inside files";

  // With sound alone wanted, every file the program sorts under Audio is found too: the
  // sound-only ISO media (m4a) among them.
  kes_test::EngineRun audio = kes_test::run_engine(
      KESSRV_EXE, {"/d", dir / "audio", "/cmd", dir / "card.img", kestrune::build_search_options(false, false, true)});
  ASSERT_EQ(audio.exit_code, 0) << audio.err;
  std::set<Bytes> heard;
  for (const kes_test::Message& m : audio.messages)
    if (!m.end && m.report.file_path[0]) heard.insert(kes_test::read_file(m.report.file_path));
  for (const Placed& p : files)
    if (std::any_of(std::begin(kestrune::kAudioKinds), std::end(kestrune::kAudioKinds),
                    [&](const char* e) { return p.ext == e; }))
      EXPECT_TRUE(heard.count(p.file)) << "a scan for sound lost the " << p.ext << " file of " << p.file.size() << " bytes";
}

// What the engine wrote, by path below the scan folder.
std::map<std::string, Bytes> carved(const kes_test::EngineRun& run, const std::string& folder) {
  std::map<std::string, Bytes> out;
  for (const kes_test::Message& m : run.messages)
    if (!m.end && m.report.file_path[0])
      out[std::string(m.report.file_path).substr(folder.size())] = kes_test::read_file(m.report.file_path);
  return out;
}

// A verdict depends on the medium's bytes alone: one measure thread or two, the same
// files. The card holds damage that only decoding sees (flipped bits, another JPEG's
// entropy-coded data spliced in), many times over so that the reader runs ahead.
TEST(MediaCard, SameFilesWhateverTheMeasureThreads) {
  Bytes big = sample("jpg_big.jpg"), other = sample("jpg_444.jpg");
  Bytes flipped = big;
  for (size_t i = 2000; i < flipped.size() - 4000; i += 9973)
    if (flipped[i] != 0xFF && flipped[i] != 0x7F && flipped[i] != 0xFE) flipped[i] ^= 0x10;
  Bytes spliced = big;
  std::copy(other.begin() + other.size() / 3, other.begin() + other.size() / 3 + 8192,
            spliced.begin() + spliced.size() / 2);
  const std::vector<Bytes> files = {big, flipped, spliced, sample("jpg_progressive.jpg"), sample("jpg_exif_thumb.jpg"),
                                    sample("png_rgb.png"), make_nef()};
  Bytes card;
  for (int round = 0; card.size() < (40u << 20); ++round) {
    for (const Bytes& f : files) {
      Bytes gap = noise(512 * (1 + round % 7) + (512 - card.size() % 512) % 512, static_cast<uint32_t>(card.size()));
      card.insert(card.end(), gap.begin(), gap.end());
      card.insert(card.end(), f.begin(), f.end());
    }
  }
  kes_test::TempDir dir;
  kes_test::write_file(dir / "card.img", card);
  std::map<std::string, Bytes> first;
  for (const char* threads : {"1", "2"}) {
    SCOPED_TRACE(std::string(threads) + " measure threads");
    kes_test::RunOptions opts;
    opts.env = {{"KESTRUNE_THREADS", threads}};
    const std::string folder = dir / (std::string("t") + threads);
    kes_test::EngineRun run = kes_test::run_engine(
        KESSRV_EXE, {"/d", folder, "/cmd", dir / "card.img", "fileopt,everything,disable,jpg,enable,png,enable,tif,enable,search"},
        opts);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::map<std::string, Bytes> got = carved(run, folder);
    size_t cut = 0;  // the damaged copies, cut where their damage begins
    for (const auto& [path, bytes] : got)
      cut += bytes.size() < big.size() && std::equal(bytes.begin(), bytes.begin() + 600, big.begin());
    EXPECT_GT(cut, 10u);
    if (first.empty()) first = got;
    else EXPECT_TRUE(got == first);
  }
}

}  // namespace
}  // namespace kes::test
