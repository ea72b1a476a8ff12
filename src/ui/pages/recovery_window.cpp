// The recovery page's controls, its tree of kinds and extensions, and its commands.
#include "ui/pages/recovery_window.h"

#include <commctrl.h>

#include "../res/resource.h"
#include "base/ansi_text.h"
#include "i18n/language.h"
#include "session/found_file_list.h"
#include "session/user_message.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"
#include "ui/skin/text_box.h"

namespace {
// The tree roots in kind order, with their texts; items carry a pointer to the name.
const std::string kRootNames[3] = {"photo", "video", "audio"};
const char* const kRootTexts[3] = {"recovery_photo", "recovery_video", "recovery_audio"};
const int kKindPictures[3] = {IDB_KIND_PHOTO, IDB_KIND_VIDEO, IDB_KIND_AUDIO};

bool german() { return language_code() == L"de"; }

int text_width(HWND window, HFONT font, const std::wstring& text) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return extent.cx;
}

// Labels the button in the largest of the button fonts that lets the text fit inside.
void fit_label(bitmap_button_c& button, const std::wstring& text) {
  button.SetWindowText(text.c_str());
  RECT box = {};
  button.GetClientRect(&box);
  for (HFONT font : {application_font(L"Verdana", 9, true), application_font(L"Verdana", 8, true),
                     application_font(L"Verdana", 8, false)}) {
    button.text_font = font;
    if (text_width(button, font, text) <= box.right - 8) break;
  }
}
}  // namespace

// The scan goes with the page (its owner stops it); the pictures and brushes here.
recovery_window_c::~recovery_window_c() {
  if (tree_images) ImageList_Destroy(tree_images);
  for (HBRUSH brush : {progress_brush, light_brush, line_brush, panel_brush})
    if (brush) DeleteObject(brush);
}

LRESULT recovery_window_c::on_create(UINT, WPARAM, LPARAM, BOOL&) {
  focused_item = -1;
  view_count = selected_count = 0;
  RECT grid = {171, 81, 599, 423};
  preview.Create(m_hWnd, grid, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VSCROLL);
  create_buttons();
  load_skin_bitmap(background, IDB_PAGE_BACKGROUND);
  load_skin_bitmap(magnifier, IDB_MAGNIFIER);
  load_skin_bitmap(file_icon, IDB_DOCUMENT_ICON);
  load_skin_bitmap(hand_icon, IDB_HAND_ICON);
  load_skin_bitmap(progress_tile, IDB_PROGRESS_TILE);
  if (!progress_tile.IsNull()) progress_brush = CreatePatternBrush(static_cast<HBITMAP>(progress_tile));
  light_brush = CreateSolidBrush(RGB(226, 240, 253));
  line_brush = CreateSolidBrush(RGB(140, 178, 215));
  panel_brush = CreateSolidBrush(kPageColour);
  create_tree();
  return 0;
}

void recovery_window_c::create_buttons() {
  struct ButtonMaking { bitmap_button_c* button; int id; int picture; };
  const ButtonMaking buttons_made[] = {
      {&home_button, kHomeId, IDB_PAGE_BUTTON},       {&back_button, kBackId, IDB_PAGE_BUTTON},
      {&close_button, kCloseId, IDB_PAGE_BUTTON},     {&recover_button, kRecoverId, IDB_RECOVER_BUTTON},
      {&start_button, kStartId, IDB_SCAN_BUTTON},     {&stop_button, kStopId, IDB_SCAN_BUTTON},
      {&filter_button, kFilterId, IDB_FILTER_BUTTON}};
  RECT origin = {0, 0, 1, 1};  // sized to the pictures, placed by place_controls
  for (const ButtonMaking& made : buttons_made) {
    made.button->set_images(made.picture, made.picture + 1, made.picture + 2);
    made.button->Create(m_hWnd, origin, nullptr, WS_CHILD | WS_VISIBLE, 0, static_cast<UINT>(made.id));
    made.button->text_color = RGB(255, 255, 255);
  }
  filter_button.ShowWindow(SW_HIDE);
  stop_button.ShowWindow(SW_HIDE);
  all_box.Create(L"BUTTON", m_hWnd, origin, nullptr, WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | BS_MULTILINE, 0,
                 static_cast<UINT>(kAllId));
  all_box.SetFont(application_font(L"Verdana", 10, false));
  label_buttons();
}

// A caption that doesn't fit from its fixed origin is centred instead.
void recovery_window_c::label_buttons() {
  const struct { bitmap_button_c* button; const char* key; } labels[] = {
      {&home_button, "btn_home"}, {&back_button, "btn_back"},     {&close_button, "btn_close"},
      {&stop_button, "btn_stop"}, {&filter_button, "btn_filter"}, {&recover_button, "btn_recovery"}};
  for (const auto& label : labels) fit_label(*label.button, lookup_text(label.key));
  const bool de = german();
  const std::wstring caption = lookup_text("btn_recovery");
  HFONT font = application_font(L"Verdana", de ? 8 : 9, true);
  RECT box = {};
  recover_button.GetClientRect(&box);
  const int x = de ? 8 : 38;
  if (x + text_width(m_hWnd, font, caption) <= box.right - 4) {
    recover_button.text_font = font;
    recover_button.text_x = x;
    recover_button.text_y = 14;
  }
  all_box.SetWindowText(lookup_text("btn_all").c_str());
  if (right_to_left()) all_box.ModifyStyle(0, BS_RIGHT | BS_RIGHTBUTTON);
  show_state();
}

void recovery_window_c::show_state() {
  const int state = run_state();
  const char* key = state == kRunning ? "btn_pause" : state == kPaused ? "btn_resume" : "btn_start";
  fit_label(start_button, lookup_text(key));
  start_button.Invalidate();
  start_button.UpdateWindow();
}

void recovery_window_c::create_tree() {
  DWORD ex_style = right_to_left() ? WS_EX_LAYOUTRTL : 0;
  RECT area = {11, 81, 11 + 148, 81 + 342};
  tree.Create(m_hWnd, area, nullptr,
              WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_DISABLEDRAGDROP |
                  TVS_SHOWSELALWAYS,
              ex_style, static_cast<UINT>(kTreeId));
  tree.SetFont(application_font(L"Verdana", 10, false));
  CImage first;
  load_skin_bitmap(first, kKindPictures[0]);
  tree_images = ImageList_Create(first.IsNull() ? 16 : first.GetWidth(), first.IsNull() ? 16 : first.GetHeight(),
                                 ILC_COLOR32, 3, 0);
  for (int id : kKindPictures) {
    HBITMAP picture = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ImageList_Add(tree_images, picture, nullptr);
    if (picture) DeleteObject(picture);
  }
  tree.SetImageList(tree_images);
  insert_roots();
}

void recovery_window_c::insert_roots() {
  for (int kind = 0; kind < 3; ++kind)
    roots[kind] = tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM,
                                  lookup_text(kRootTexts[kind]).c_str(), kind, kind, 0, 0,
                                  reinterpret_cast<LPARAM>(&kRootNames[kind]), TVI_ROOT, TVI_LAST);
  tree.SelectItem(roots[0]);
}

// An extension seen for the first time gets its item under its kind's root (kind 3 at
// the top level, with no picture); the item points at the map's own copy of the text.
void recovery_window_c::add_extension(const std::string& ext, int kind) {
  auto found = extensions.find(ext);
  if (found != extensions.end()) return;
  auto stored = extensions.emplace(ext, nullptr).first;
  HTREEITEM parent = kind >= 0 && kind < 3 ? roots[kind] : TVI_ROOT;
  stored->second = tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM,
                                   ansi_to_wide(ext.c_str()).c_str(), kind, kind, 0, 0,
                                   reinterpret_cast<LPARAM>(&stored->first), parent, TVI_LAST);
  if (parent != TVI_ROOT) tree.Expand(parent);
}

void recovery_window_c::place_controls() {
  RECT client;
  GetClientRect(&client);
  const bool de = german();
  home_button.SetWindowPos(nullptr, 452, 445, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  back_button.SetWindowPos(nullptr, 564, 445, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  close_button.SetWindowPos(nullptr, 675, 445, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  recover_button.SetWindowPos(nullptr, 630, 290, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  start_button.SetWindowPos(nullptr, de ? 400 : 350, 25, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  stop_button.SetWindowPos(nullptr, de ? 500 : 450, 25, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  filter_button.SetWindowPos(nullptr, 660, 25, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  // The check box grows with a longer text, up to the panel's edge, and wraps beyond it.
  HFONT font = application_font(L"Verdana", 10, false);
  const int left = client.right - 180;
  const int room = client.right - 15 - left;
  int width = 100;
  const int wanted = text_width(m_hWnd, font, lookup_text("btn_all")) + 24;
  if (wanted > width) width = wanted < room ? wanted : room;
  all_box.SetWindowPos(nullptr, left, 254, width, wanted > room ? 34 : 20, SWP_NOZORDER);
}

LRESULT recovery_window_c::on_size(UINT, WPARAM, LPARAM, BOOL&) {
  place_controls();
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  return 0;
}

LRESULT recovery_window_c::on_set_focus(UINT, WPARAM, LPARAM, BOOL&) {
  if (preview.IsWindow()) preview.SetFocus();
  return 0;
}

LRESULT recovery_window_c::on_notify(UINT, WPARAM, LPARAM lparam, BOOL& handled) {
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
  if (header->idFrom != kTreeId || header->code != TVN_SELCHANGEDW) {
    handled = FALSE;
    return 0;
  }
  const auto* change = reinterpret_cast<const NMTREEVIEWW*>(lparam);
  if (const auto* name = reinterpret_cast<const std::string*>(change->itemNew.lParam))
    preview.select_category(*name);
  return 0;
}

// The check box sits on the info panel: painted in the panel's colour, as the options
// page paints its boxes, not as a white box running past its text.
LRESULT recovery_window_c::on_ctl_color_static(UINT, WPARAM wparam, LPARAM, BOOL&) {
  SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
  return reinterpret_cast<LRESULT>(panel_brush);
}

LRESULT recovery_window_c::on_focused_item(UINT, WPARAM wparam, LPARAM, BOOL&) {
  focused_item = static_cast<int>(wparam);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  return 0;
}

LRESULT recovery_window_c::on_view_counts(UINT, WPARAM wparam, LPARAM lparam, BOOL&) {
  view_count = static_cast<int>(wparam);
  selected_count = static_cast<int>(lparam);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  return 0;
}

// Tree items go before the map their parameters point into, so that no selection
// notice of the deletion reads freed text.
void recovery_window_c::reset_page() {
  KillTimer(kTickTimer);
  scan.reset();
  shown = scan.poll();
  tree.DeleteAllItems();
  extensions.clear();
  preview.reset_view();
  focused_item = -1;
  bar_fraction = highest_fraction = 0;
  scan_complete = false;
  view_count = selected_count = 0;
  tree_cursor = 0;
  reset_found_files();
  insert_roots();
  show_state();
  Invalidate();
}

bool recovery_window_c::confirm_leaving() {
  return run_state() == kIdle || show_user_message(m_hWnd, 3, lookup_text("cancel_confirm").c_str()) == 1;
}

LRESULT recovery_window_c::on_command(UINT, WPARAM wparam, LPARAM, BOOL& handled) {
  const int id = LOWORD(wparam);
  switch (id) {
    case kHomeId:
    case kBackId:
      if (!confirm_leaving()) break;
      reset_page();
      ::SendMessageW(GetParent(), id == kHomeId ? kShowHomeMessage : kShowOptionsMessage, 0, 0);
      break;
    case kCloseId:
      if (confirm_leaving()) ::SendMessageW(GetParent(), WM_CLOSE, 0, 0);
      break;
    case kRecoverId:
      preview.start_recovering();
      break;
    case kAllId:
      preview.select_all(::SendMessageW(all_box, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
      break;
    case kStartId:
      toggle_pause();
      break;
    case kStopId:
      stop_scan();
      break;
    default:
      handled = FALSE;
  }
  return 0;
}
