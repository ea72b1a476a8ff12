// Stand-in for the preview grid so that the recovery page links; the real grid replaces
// this file. It keeps the categories and paints a plain white area.
#include "ui/pages/preview_window.h"

preview_window_c::preview_window_c() { reset_view(); }
preview_window_c::~preview_window_c() { delete recovering; }

void preview_window_c::reset_view() {
  focused_item = -1;
  kind_mode = 0;
  current_category = "photo";
  categories.clear();
  view = &categories[current_category];
  scroll_position = 0;
}

void preview_window_c::add_file(const std::string& name, int kind, unsigned index) {
  categories[name].push_back(index);
  categories[kind == 0 ? "photo" : kind == 2 ? "audio" : "video"].push_back(index);
  view = &categories[current_category];
  if (!adding && m_hWnd) Invalidate();
}

void preview_window_c::end_adding() {
  if (adding > 0) --adding;
  if (!adding && m_hWnd) Invalidate();
}

void preview_window_c::select_category(const std::string& name) {
  if (name == current_category) return;
  current_category = name;
  view = &categories[name];
  focused_item = -1;
}

void preview_window_c::select_all(int) {}
void preview_window_c::start_recovering() {}
bool preview_window_c::is_recovering() const { return false; }

LRESULT preview_window_c::on_create(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_destroy(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_size(UINT, WPARAM, LPARAM lparam, BOOL&) {
  page_height = HIWORD(lparam);
  return 0;
}
LRESULT preview_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(&ps);
  RECT client;
  GetClientRect(&client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EndPaint(&ps);
  return 0;
}
LRESULT preview_window_c::on_vscroll(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_mouse_wheel(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_left_button_down(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_context_menu(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_thumbnail_timer(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}
LRESULT preview_window_c::on_recovering_done(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_select_all(WORD, WORD, HWND, BOOL&) { return 0; }
LRESULT preview_window_c::on_unselect_all(WORD, WORD, HWND, BOOL&) { return 0; }
LRESULT preview_window_c::on_open_folder(WORD, WORD, HWND, BOOL&) { return 0; }
void preview_window_c::layout_tiles() {}
void preview_window_c::reset_scroll() {}
void preview_window_c::report_counts() {}
