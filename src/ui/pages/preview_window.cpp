// Stand-in until the preview grid lands.
#include "ui/pages/preview_window.h"
preview_window_c::preview_window_c() {}
preview_window_c::~preview_window_c() {}
void preview_window_c::reset_view() {}
void preview_window_c::add_file(const std::string&, int, unsigned) {}
void preview_window_c::end_adding() { --adding; }
void preview_window_c::select_category(const std::string&) {}
void preview_window_c::select_all(int) {}
void preview_window_c::start_recovering() {}
bool preview_window_c::is_recovering() const { return false; }
LRESULT preview_window_c::on_create(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_destroy(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_size(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL& handled) { handled = FALSE; return 0; }
LRESULT preview_window_c::on_vscroll(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_mouse_wheel(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_left_button_down(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_context_menu(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_thumbnail_timer(UINT, WPARAM, LPARAM, BOOL& handled) { handled = FALSE; return 0; }
LRESULT preview_window_c::on_recovering_done(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT preview_window_c::on_select_all(WORD, WORD, HWND, BOOL&) { return 0; }
LRESULT preview_window_c::on_unselect_all(WORD, WORD, HWND, BOOL&) { return 0; }
LRESULT preview_window_c::on_open_folder(WORD, WORD, HWND, BOOL&) { return 0; }
void preview_window_c::layout_tiles() {}
void preview_window_c::reset_scroll() {}
void preview_window_c::report_counts() {}
