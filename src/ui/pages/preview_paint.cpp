// Painting of the preview grid: only the rows that meet the client area are drawn.
#include <cstring>
#include <string>

#include "base/ansi_text.h"
#include "session/file_kinds.h"
#include "session/found_file_list.h"
#include "ui/pages/preview_geometry.h"
#include "ui/pages/preview_window.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"

using namespace preview_geometry;

namespace {
constexpr int kBoxOffset = 86;   // check box and label, below the picture
constexpr int kLabelOffset = 20;  // label right of the check box
constexpr int kBoxWidth = 14;
constexpr int kLabelGap = 2;  // kept clear before the next tile and the window's edge
constexpr int kPictureWidth = 117;
constexpr int kPictureHeight = 81;
enum Picture { kPhotoPicture, kRawPicture, kVideoPicture, kAudioPicture, kTicked, kEmpty };

bool is_common_picture(const char* ext) {
  for (const char* known : {"png", "gif", "bmp", "jpg", "ico", "psd", "heic", "heif", "avif"})
    if (std::strcmp(ext, known) == 0) return true;
  return false;
}

std::wstring label_text(size_t position, const char* ext) {
  wchar_t number[16];
  wsprintfW(number, L"FILE%05u.", static_cast<unsigned>(position));
  return number + ansi_to_wide(ext);
}

// Selects `face` at 8 points and returns the text's width in it.
int select_font(HDC dc, const wchar_t* face, const std::wstring& text) {
  SelectObject(dc, application_font(face, 8, false));
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}
}  // namespace

const CImage& preview_window_c::placeholder_for(const FoundFile& record) const {
  switch (kind_mode) {
    case kAudio: return pictures[kAudioPicture];
    case kPhoto:
      return pictures[is_common_picture(extension_of(record.file_path).c_str()) ? kPhotoPicture : kRawPicture];
    default: return pictures[kVideoPicture];
  }
}

void preview_window_c::paint_tile(HDC dc, int position, const FoundFile& record, const RECT& client) {
  const int x = tile_x(position);
  const int y = tile_y(position, scroll_position);
  const CImage* thumbnail = record.image;
  draw_image(dc, thumbnail && !thumbnail->IsNull() ? *thumbnail : placeholder_for(record), x, y);
  draw_image(dc, pictures[record.selected ? kTicked : kEmpty], x, y + kBoxOffset);
  if (position == focused_item) {
    RECT frame = {x - 1, y - 1, x + kPictureWidth + 1, y + kPictureHeight + 1};
    FrameRect(dc, &frame, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  // The label runs from right of the check box to the next tile or the window's edge.
  // One too wide for that starts earlier, down to just right of the box, and only one
  // that still doesn't fit takes the narrower Arial.
  const std::wstring text = label_text(position, extension_of(record.file_path).c_str());
  const bool last_column = position % kColumns == kColumns - 1;
  const int end = (last_column ? client.right : x + kTileWidth) - kLabelGap;
  const int earliest = x + kBoxWidth + 1;
  int left = x + kLabelOffset;
  int width = select_font(dc, L"Verdana", text);
  if (left + width > end && end - width < earliest) width = select_font(dc, L"Arial", text);
  if (left + width > end) left = end - width > earliest ? end - width : earliest;
  TextOutW(dc, left, y + kBoxOffset, text.c_str(), static_cast<int>(text.size()));
}

void preview_window_c::paint_tiles(HDC dc, const RECT& client) {
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HGDIOBJ old_font = SelectObject(dc, application_font(L"Verdana", 8, false));
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  SetBkMode(dc, OPAQUE);
  {
    ListLock hold;
    const auto& records = g_found_files.records;
    const Span span = tiles_with_origin_in(-kTileHeight, client.bottom, scroll_position, view_size());
    for (size_t i = span.first; i < span.end; ++i) {
      unsigned index = (*view)[i];
      if (index < records.size()) paint_tile(dc, static_cast<int>(i), records[index], client);
    }
  }
  SelectObject(dc, old_font);
}

LRESULT preview_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL&) {
  paint_buffered(m_hWnd, [this](memory_surface& surface, const RECT& client) {
    paint_tiles(surface, client);
    paint_wait(client, surface);
  });
  return 0;
}

LRESULT preview_window_c::on_print_client(UINT, WPARAM wparam, LPARAM, BOOL&) {
  HDC dc = reinterpret_cast<HDC>(wparam);
  RECT client;
  GetClientRect(&client);
  paint_tiles(dc, client);
  paint_wait(client, dc);
  return 0;
}
