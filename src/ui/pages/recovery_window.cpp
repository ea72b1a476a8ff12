// Stand-in until the recovery page lands.
#include "ui/pages/recovery_window.h"
recovery_window_c::recovery_window_c() {}
recovery_window_c::~recovery_window_c() {}
void recovery_window_c::stop_scan() {}
LRESULT recovery_window_c::on_create(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT recovery_window_c::on_size(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT recovery_window_c::on_set_focus(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT recovery_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL& handled) { handled = FALSE; return 0; }
LRESULT recovery_window_c::on_notify(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT recovery_window_c::on_timer(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT recovery_window_c::on_ctl_color_static(UINT, WPARAM, LPARAM, BOOL& handled) { handled = FALSE; return 0; }
LRESULT recovery_window_c::on_start_scan(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT recovery_window_c::on_focused_item(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT recovery_window_c::on_view_counts(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT recovery_window_c::on_list_only(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT recovery_window_c::on_command(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
