// Thumbnails of the preview grid: loaded once a second for the tiles from one page above
// to two pages below the visible area, and released again once they are more than two
// pages above or three below it, so that a long scan holds only a few screens of
// pictures (and GDI bitmaps) at a time.
#include <climits>

#include "base/ansi_text.h"
#include "session/found_file_list.h"
#include "ui/pages/preview_geometry.h"
#include "ui/pages/preview_window.h"

using namespace preview_geometry;

namespace {
constexpr int kFarAway = INT_MIN / 2;  // a grid_y no view reaches
}

void preview_window_c::forget_thumbnail_positions() {
  ListLock hold;
  if (loaded_generation != g_found_files.generation) return;
  // Records that the next layout doesn't place again are then far from the view.
  auto& records = g_found_files.records;
  for (unsigned index : loaded)
    if (index < records.size()) records[index].grid_y = kFarAway;
}

void preview_window_c::release_far_thumbnails() {
  auto& records = g_found_files.records;
  const int h = page_height;
  size_t kept = 0;
  for (unsigned index : loaded) {
    if (index >= records.size() || !records[index].image) continue;
    FoundFile& record = records[index];
    if (record.grid_y < -2 * h || record.grid_y > 3 * h) {
      delete record.image;
      record.image = nullptr;
      continue;
    }
    loaded[kept++] = index;
  }
  loaded.resize(kept);
}

void preview_window_c::load_near_thumbnails() {
  auto& records = g_found_files.records;
  const int h = page_height;
  const Span span = tiles_with_origin_in(-h, 2 * h, scroll_position, view_size());
  for (size_t i = span.first; i < span.end; ++i) {
    unsigned index = (*view)[i];
    if (index >= records.size()) continue;
    FoundFile& record = records[index];
    if (record.image || !record.thumb_path[0]) continue;
    CImage* image = new CImage;
    if (SUCCEEDED(image->Load(ansi_to_wide(record.thumb_path).c_str()))) {
      record.image = image;
      loaded.push_back(index);
    } else {
      delete image;  // not written yet, or not a picture: tried again next time
    }
  }
}

LRESULT preview_window_c::on_thumbnail_timer(UINT, WPARAM wparam, LPARAM, BOOL& handled) {
  if (wparam != kThumbnailTimer) {
    handled = FALSE;  // the wait indicator's timer
    return 0;
  }
  {
    ListLock hold;
    if (loaded_generation != g_found_files.generation) {
      loaded.clear();  // the list was cleared with every picture in it
      loaded_generation = g_found_files.generation;
    }
    release_far_thumbnails();
    load_near_thumbnails();
  }
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  report_counts();
  return 0;
}
