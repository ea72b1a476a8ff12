// Every format through the real engine: a card image holding one sample of each kind
// among noise, scanned with the option string the application sends for photos, videos
// and audio; each file must come back byte for byte under the extension its content
// calls for.
#include <gtest/gtest.h>

#include <map>

#include "engine_process.h"
#include "formats/samples.h"
#include "formats/synthetic.h"

namespace kes::test {
namespace {

struct Placed {
  Bytes file;
  std::string ext;
  bool zeros_after = false;  // for formats that end at the first zeroed sector
};

std::string extension_of(const std::string& path) {
  size_t dot = path.rfind('.');
  return dot == std::string::npos ? "" : path.substr(dot + 1);
}

TEST(MediaCard, EveryFormatComesBackWithItsExtension) {
  std::vector<Placed> files = {
      {sample("jpg_exif_thumb.jpg"), "jpg"}, {sample("jpg_progressive.jpg"), "jpg"},
      {sample("jpg_big.jpg"), "jpg"},         {sample("png_rgba.png"), "png"},
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
      {sample("riff_avi.avi"), "avi"},        {sample("riff_wav_odd.wav"), "wav"},
      {sample("swf_cws.swf"), "swf"},         {sample("aif_pcm.aif"), "aif"},
      {sample("au_sox.au"), "au"},            {sample("caf_alac.caf"), "caf"},
      {sample("mid_abc.mid"), "mid"},         {sample("mus_score.mus"), "mus"},
      {sample("flp_project.flp"), "flp"},     {sample("ses_session.ses"), "ses"},
      {sample("it_module.it"), "it"},         {sample("xm_module.xm"), "xm"},
      {sample("als_fields.als"), "als"},      {sample("gp5_song.gp5"), "gp5", true},
      {sample("dss_memo.dss"), "dss", true},  {sample("ds2_memo.ds2"), "ds2", true},
      {sample("sib_score.sib"), "sib", true},
  };
  Bytes card = noise(64 * 512, 77);
  for (const Placed& p : files) {
    card.insert(card.end(), p.file.begin(), p.file.end());
    const size_t gap_size = 3 * 512 + (512 - card.size() % 512) % 512;
    Bytes gap = p.zeros_after ? Bytes(gap_size) : noise(gap_size, static_cast<uint32_t>(card.size()));
    card.insert(card.end(), gap.begin(), gap.end());
  }
  kes_test::TempDir dir;
  kes_test::write_file(dir / "card.img", card);
  const std::string options =
      "fileopt,everything,disable,max,enable,mov,enable,riff,enable,asf,enable,flv,enable,dpx,enable,"
      "dv,enable,fcp,enable,ifo,enable,m2ts,enable,mkv,enable,mpg,enable,rm,enable,swf,enable,TiVo,enable,"
      "tif,enable,dsc,enable,raf,enable,x3f,enable,orf,enable,rw2,enable,crw,enable,mrw,enable,png,enable,"
      "gif,enable,bmp,enable,jpg,enable,ico,enable,psd,enable,aif,enable,all,enable,als,enable,ape,enable,"
      "asf,enable,au,enable,caf,enable,riff,enable,flac,enable,gp5,enable,ds2,enable,dss,enable,flp,enable,"
      "it,enable,mid,enable,mp3,enable,mus,enable,ogg,enable,ra,enable,rns,enable,ses,enable,sib,enable,"
      "wv,enable,xm,enable,wtv,enable,search";
  kes_test::EngineRun run = kes_test::run_engine(KESSRV_EXE, {"/d", dir / "tmp", "/cmd", dir / "card.img", options});
  ASSERT_EQ(run.exit_code, 0) << run.err;

  std::map<Bytes, std::string> found;  // content -> extension written
  for (const kes_test::Message& m : run.messages)
    if (!m.end && m.report.file_path[0])
      found[kes_test::read_file(m.report.file_path)] = extension_of(m.report.file_path);
  for (const Placed& p : files) {
    auto it = found.find(p.file);
    if (it == found.end()) {
      ADD_FAILURE() << "lost the " << p.ext << " file of " << p.file.size() << " bytes";
      continue;
    }
    EXPECT_EQ(it->second, p.ext);
  }
  EXPECT_EQ(found.size(), files.size()) << "extra carves from the noise or from inside files";
}

}  // namespace
}  // namespace kes::test
