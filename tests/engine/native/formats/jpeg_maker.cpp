// Writes JPEG samples that the command-line tools cannot make (restart markers), with
// the system's libjpeg. Usage: jpeg_maker restart|progressive-restart|arithmetic|cmyk <out.jpg>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  bool progressive = std::strcmp(argv[1], "progressive-restart") == 0;
  bool arithmetic = std::strcmp(argv[1], "arithmetic") == 0;
  bool cmyk = std::strcmp(argv[1], "cmyk") == 0;
  const int w = progressive ? 300 : 352, h = progressive ? 200 : 248;
  const int comps = cmyk ? 4 : 3;
  std::vector<unsigned char> rgb(size_t(w) * h * comps);
  unsigned seed = 12345;
  for (size_t i = 0; i < rgb.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    rgb[i] = static_cast<unsigned char>((i / comps % w) + (seed >> 27));
  }
  FILE* f = std::fopen(argv[2], "wb");
  if (!f) return 1;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = w;
  c.image_height = h;
  c.input_components = comps;
  c.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 85, TRUE);
  c.arith_code = arithmetic ? TRUE : FALSE;
  if (progressive) {
    jpeg_simple_progression(&c);
    c.restart_in_rows = 1;
  } else if (!cmyk) {
    c.restart_interval = 5;
  }
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = &rgb[size_t(c.next_scanline) * w * comps];
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
  return 0;
}
