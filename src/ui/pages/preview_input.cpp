// Layout, scrolling and clicks of the preview grid.
#include <windowsx.h>

#include "session/found_file_list.h"
#include "ui/pages/preview_geometry.h"
#include "ui/pages/preview_window.h"

using namespace preview_geometry;

namespace {
constexpr int kLineStep = 10;
constexpr int kPictureBandEnd = 81;
constexpr int kCheckBandStart = 86;
constexpr int kCheckBandEnd = 101;
constexpr int kGridRight = kMargin + kColumns * kTileWidth;  // 421: right of the third column
}  // namespace

void preview_window_c::layout_tiles() {
  if (content_height > page_height) {
    const int last = content_height - page_height + 1;
    if (scroll_position > last) scroll_position = last;
  } else {
    scroll_position = 0;
  }
  if (scroll_position < 0) scroll_position = 0;
  {
    // Positions only: a long view costs one pass of two stores per tile.
    ListLock hold;
    auto& records = g_found_files.records;
    const size_t count = view_size();
    for (size_t i = 0; i < count; ++i) {
      unsigned index = (*view)[i];
      if (index >= records.size()) continue;
      records[index].grid_x = tile_x(i);
      records[index].grid_y = tile_y(i, scroll_position);
    }
  }
  if (!m_hWnd) return;
  SCROLLINFO info = {sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS};
  info.nMin = 0;
  info.nMax = content_height;
  info.nPage = static_cast<UINT>(page_height > 0 ? page_height : 0);
  info.nPos = scroll_position;
  SetScrollInfo(m_hWnd, SB_VERT, &info, TRUE);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void preview_window_c::show_scroll_if_needed() {
  if (!m_hWnd || content_height <= page_height) return;
  ShowScrollBar(m_hWnd, SB_VERT, TRUE);
  SCROLLINFO info = {sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS};
  info.nMax = content_height;
  info.nPage = static_cast<UINT>(page_height);
  info.nPos = scroll_position;
  SetScrollInfo(m_hWnd, SB_VERT, &info, TRUE);
}

void preview_window_c::reset_scroll() {
  if (m_hWnd) ShowScrollBar(m_hWnd, SB_VERT, FALSE);
  scroll_position = 0;
  content_height = content_height_for(view_size());
  show_scroll_if_needed();
}

void preview_window_c::scroll_to(int position) {
  if (position == scroll_position) return;
  scroll_position = position;
  layout_tiles();
}

LRESULT preview_window_c::on_vscroll(UINT, WPARAM wparam, LPARAM, BOOL&) {
  switch (LOWORD(wparam)) {
    case SB_LINEUP: scroll_to(scroll_position - kLineStep); break;
    case SB_LINEDOWN: scroll_to(scroll_position + kLineStep); break;
    case SB_PAGEUP: scroll_to(scroll_position - page_height); break;
    case SB_PAGEDOWN: scroll_to(scroll_position + page_height); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
      // The message carries only 16 bits of the position; the bar holds all 32.
      SCROLLINFO info = {sizeof info, SIF_TRACKPOS};
      if (GetScrollInfo(m_hWnd, SB_VERT, &info)) scroll_to(info.nTrackPos);
      break;
    }
    default: break;
  }
  return 0;
}

LRESULT preview_window_c::on_mouse_wheel(UINT, WPARAM wparam, LPARAM, BOOL&) {
  if (content_height > page_height) scroll_to(scroll_position - GET_WHEEL_DELTA_WPARAM(wparam) / 8);
  return 0;
}

LRESULT preview_window_c::on_left_button_down(UINT, WPARAM, LPARAM lparam, BOOL&) {
  const int x = GET_X_LPARAM(lparam);
  const int v = GET_Y_LPARAM(lparam) + scroll_position - kMargin;
  if (x >= kGridRight) return 0;
  const int column = (x - kMargin) / kTileWidth;  // the left margin belongs to column 0
  const int position = column + kColumns * (v / kTileHeight);
  const int band = v % kTileHeight;  // negative in the top margin
  if (band < 0) return 0;
  const int index = list_index_of(position);
  if (index < 0) return 0;
  if (band <= kPictureBandEnd) {
    focused_item = position;
    ::SendMessageW(GetParent(), kFocusedFileMessage, static_cast<WPARAM>(index), 0);
  } else if (band >= kCheckBandStart && band <= kCheckBandEnd) {
    {
      ListLock hold;
      if (static_cast<size_t>(index) < g_found_files.records.size()) {
        uint32_t& selected = g_found_files.records[index].selected;
        selected = selected ? 0 : 1;
      }
    }
    report_counts();
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  return 0;
}
