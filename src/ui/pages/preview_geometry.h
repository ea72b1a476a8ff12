// Tile arithmetic of the preview grid: three columns of 137 x 111 pixel tiles below and
// right of a 10-pixel margin. Positions are counted in the view, rows from the top.
#pragma once
#include <cstddef>

#include "ui/pages/preview_window.h"

namespace preview_geometry {

constexpr int kColumns = preview_window_c::kColumns;
constexpr int kTileWidth = preview_window_c::kTileWidth;
constexpr int kTileHeight = preview_window_c::kTileHeight;
constexpr int kMargin = preview_window_c::kMargin;

inline int content_height_for(size_t tiles) {
  return kTileHeight * static_cast<int>((tiles + kColumns - 1) / kColumns) + kMargin;
}
inline int tile_x(size_t position) { return kMargin + kTileWidth * static_cast<int>(position % kColumns); }
inline int tile_y(size_t position, int scroll) {
  return kMargin + kTileHeight * static_cast<int>(position / kColumns) - scroll;
}

inline int floor_div(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The view positions [first, end) whose tile origin y lies within [low, high] (client
// coordinates) at this scroll position, found by arithmetic.
struct Span {
  size_t first;
  size_t end;
};
inline Span tiles_with_origin_in(int low, int high, int scroll, size_t count) {
  int first_row = -floor_div(-(low + scroll - kMargin), kTileHeight);  // rounded up
  int last_row = floor_div(high + scroll - kMargin, kTileHeight);
  if (first_row < 0) first_row = 0;
  if (last_row < first_row) return {0, 0};
  size_t first = static_cast<size_t>(first_row) * kColumns;
  size_t end = (static_cast<size_t>(last_row) + 1) * kColumns;
  if (end > count) end = count;
  if (first > end) first = end;
  return {first, end};
}

}  // namespace preview_geometry
