#include "ui/skin/treeview.h"

// The focus passes straight on to the parent; the control never sees it.
LRESULT treeview_c::on_set_focus(UINT, WPARAM, LPARAM, BOOL&) {
  ::SetFocus(GetParent());
  return 0;
}
