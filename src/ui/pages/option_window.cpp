// Stand-in until the options page lands.
#include "ui/pages/option_window.h"
ScanSession g_scan_request = {};
option_window_c::option_window_c() {}
option_window_c::~option_window_c() {}
LRESULT option_window_c::on_create(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT option_window_c::on_size(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
LRESULT option_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL& handled) { handled = FALSE; return 0; }
LRESULT option_window_c::on_ctl_color_static(UINT, WPARAM, LPARAM, BOOL& handled) { handled = FALSE; return 0; }
LRESULT option_window_c::on_command(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
