// The parsers behind the format table, one probe and one measure per format.
#pragma once
#include "format.h"

namespace kes {

bool probe_jpg(const uint8_t* head);
Carve measure_jpg(ByteSource& src, uint64_t start, uint64_t max_length);
std::unique_ptr<Splicer> jpg_splicer(ByteSource& file, uint64_t max_length, const Carve& measured);
bool probe_png(const uint8_t* head);
Carve measure_png(ByteSource& src, uint64_t start, uint64_t max_length);
Carve resume_png(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted);
bool probe_gif(const uint8_t* head);
Carve measure_gif(ByteSource& src, uint64_t start, uint64_t max_length);
Carve resume_gif(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted);
std::unique_ptr<Splicer> gif_splicer(ByteSource& file, uint64_t max_length, const Carve& measured);
bool probe_bmp(const uint8_t* head);
Carve measure_bmp(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_ico(const uint8_t* head);
Carve measure_ico(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_psd(const uint8_t* head);
Carve measure_psd(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_tif(const uint8_t* head);
Carve measure_tif(ByteSource& src, uint64_t start, uint64_t max_length);
uint64_t tif_directory(const uint8_t* head);
bool probe_dsc(const uint8_t* head);
Carve measure_dsc(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_orf(const uint8_t* head);
Carve measure_orf(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_rw2(const uint8_t* head);
Carve measure_rw2(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_raf(const uint8_t* head);
Carve measure_raf(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_x3f(const uint8_t* head);
Carve measure_x3f(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_mrw(const uint8_t* head);
Carve measure_mrw(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_crw(const uint8_t* head);
Carve measure_crw(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_heif(const uint8_t* head);
Carve measure_heif(ByteSource& src, uint64_t start, uint64_t max_length);
std::unique_ptr<Splicer> heif_splicer(ByteSource& file, uint64_t max_length, const Carve& measured);
bool heif_unchecked_at(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t at);
// The extension a still's brand names ("heic", "avif", "cr3"; "heif" for HEIF's general
// brands), or null for any other brand: the brands of pictures, never of movies.
const char* still_brand_ext(const uint8_t* brand);
bool probe_riff(const uint8_t* head);
Carve measure_riff(ByteSource& src, uint64_t start, uint64_t max_length);
Carve resume_riff(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted);
bool probe_mov(const uint8_t* head);
Carve measure_mov(ByteSource& src, uint64_t start, uint64_t max_length);
extern const TrailingIndex kMovieIndex;
bool probe_mkv(const uint8_t* head);
Carve measure_mkv(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_asf(const uint8_t* head);
Carve measure_asf(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_flv(const uint8_t* head);
Carve measure_flv(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_rm(const uint8_t* head);
Carve measure_rm(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_ra(const uint8_t* head);
Carve measure_ra(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_wtv(const uint8_t* head);
Carve measure_wtv(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_max(const uint8_t* head);
Carve measure_max(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_fcp(const uint8_t* head);
Carve measure_fcp(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_dpx(const uint8_t* head);
Carve measure_dpx(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_mpg(const uint8_t* head);
Carve measure_mpg(ByteSource& src, uint64_t start, uint64_t max_length);
std::unique_ptr<Splicer> mpg_splicer(ByteSource& file, uint64_t max_length, const Carve& measured);
bool probe_m2ts(const uint8_t* head);
Carve measure_m2ts(ByteSource& src, uint64_t start, uint64_t max_length);
std::unique_ptr<Splicer> m2ts_splicer(ByteSource& file, uint64_t max_length, const Carve& measured);
bool probe_tivo(const uint8_t* head);
Carve measure_tivo(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_dv(const uint8_t* head);
Carve measure_dv(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_ifo(const uint8_t* head);
Carve measure_ifo(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_mp3(const uint8_t* head);
Carve measure_mp3(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_ogg(const uint8_t* head);
Carve measure_ogg(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_flac(const uint8_t* head);
Carve measure_flac(ByteSource& src, uint64_t start, uint64_t max_length);
std::unique_ptr<Splicer> flac_splicer(ByteSource& file, uint64_t max_length, const Carve& measured);
bool probe_wv(const uint8_t* head);
Carve measure_wv(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_ape(const uint8_t* head);
Carve measure_ape(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_aif(const uint8_t* head);
Carve measure_aif(ByteSource& src, uint64_t start, uint64_t max_length);
// With a trusted prefix (a candidate continuation spliced on), the samples are not judged
// as sound.
Carve resume_aif(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted);
bool probe_au(const uint8_t* head);
Carve measure_au(ByteSource& src, uint64_t start, uint64_t max_length);
Carve resume_au(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted);
bool probe_caf(const uint8_t* head);
Carve measure_caf(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_mid(const uint8_t* head);
Carve measure_mid(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_mus(const uint8_t* head);
Carve measure_mus(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_flp(const uint8_t* head);
Carve measure_flp(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_ses(const uint8_t* head);
Carve measure_ses(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_it(const uint8_t* head);
Carve measure_it(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_xm(const uint8_t* head);
Carve measure_xm(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_gp5(const uint8_t* head);
Carve measure_gp5(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_dss(const uint8_t* head);
Carve measure_dss(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_ds2(const uint8_t* head);
Carve measure_ds2(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_sib(const uint8_t* head);
Carve measure_sib(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_rns(const uint8_t* head);
Carve measure_rns(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_als(const uint8_t* head);
Carve measure_als(ByteSource& src, uint64_t start, uint64_t max_length);
bool probe_swf(const uint8_t* head);
Carve measure_swf(ByteSource& src, uint64_t start, uint64_t max_length);

// The measures of PNG, GIF and RIFF again, trusting that the first `trusted` bytes hold
// a valid structure (an earlier measure of the same file passed them): the checks of
// payloads that end there are skipped.
template <Carve (*Resume)(ByteSource&, uint64_t, uint64_t, uint64_t)>
class TrustedPrefix : public Splicer {
 public:
  explicit TrustedPrefix(uint64_t trusted) : trusted_(trusted) {}
  Carve measure(ByteSource& file, uint64_t splice, uint64_t limit) override {
    return Resume(file, 0, limit, splice < trusted_ ? splice : trusted_);
  }

 private:
  uint64_t trusted_;
};
template <Carve (*Resume)(ByteSource&, uint64_t, uint64_t, uint64_t)>
std::unique_ptr<Splicer> trusted_prefix(ByteSource&, uint64_t, const Carve& measured) {
  return std::unique_ptr<Splicer>(new TrustedPrefix<Resume>(measured.length));
}

// Small helpers shared by the parsers.
inline Carve make_carve(Verdict v, uint64_t length, const char* ext = "", uint64_t broken_at = 0) {
  Carve c;
  c.verdict = length == 0 ? Verdict::corrupt : v;
  c.length = length;
  c.broken_at = broken_at;
  for (int i = 0; i < 7 && ext[i]; ++i) c.ext[i] = ext[i];
  return c;
}
inline Carve corrupt() { return Carve{}; }
// Too short a start to keep as a file, but a sound one whose structure held `held`
// bytes: where a fragment search for its later pieces begins.
inline Carve short_start(uint64_t held, uint64_t broken_at = 0) {
  Carve c;
  c.length = held;
  c.broken_at = broken_at;
  return c;
}

}  // namespace kes
