#include "ui/pages/preview_window.h"

#include <shellapi.h>

#include "../res/resource.h"
#include "base/messages.h"
#include "base/settings.h"
#include "framework/module.h"
#include "i18n/language.h"
#include "session/file_kinds.h"
#include "session/found_file_list.h"
#include "session/recover.h"
#include "session/user_message.h"
#include "ui/pages/preview_geometry.h"
#include "ui/skin/drawing.h"

using namespace preview_geometry;

namespace {
constexpr int kPictureIds[6] = {IDB_THUMB_PHOTO, IDB_THUMB_RAW, IDB_THUMB_VIDEO,
                                IDB_THUMB_AUDIO, IDB_CHECK_ON,  IDB_CHECK_OFF};

const char* kind_category(int kind) {
  switch (kind) {
    case kPhoto: return "photo";
    case kAudio: return "audio";
    default: return "video";  // files of no known kind are listed with the videos
  }
}

int kind_of_category(const std::string& name) {
  if (name == "photo") return kPhoto;
  if (name == "audio") return kAudio;
  if (name == "video") return kVideo;
  return classify_extension(name.c_str());
}

std::wstring text_or(const char* key, const wchar_t* fallback) {
  std::wstring text = lookup_text(key);
  return text.empty() ? fallback : text;
}
}  // namespace

preview_window_c::preview_window_c() {
  for (int i = 0; i < 6; ++i) load_skin_bitmap(pictures[i], kPictureIds[i]);
  reset_view();
}

preview_window_c::~preview_window_c() {
  delete recovering;  // a thread still running frees its own part when it ends
  recovering = nullptr;
}

void preview_window_c::reset_view() {
  forget_thumbnail_positions();
  focused_item = -1;
  kind_mode = kPhoto;
  current_category = "photo";
  categories.clear();
  view = &categories[current_category];
  content_height = content_height_for(0);
  if (m_hWnd) {
    ShowScrollBar(m_hWnd, SB_VERT, FALSE);
    scroll_position = 0;
  }
}

void preview_window_c::add_file(const std::string& name, int kind, unsigned index) {
  categories[name].push_back(index);
  const char* kind_name = kind_category(kind);
  // A file whose extension is its kind's own name ("x.video") is listed there once.
  if (name != kind_name) categories[kind_name].push_back(index);
  if (adding > 0) {
    layout_pending = true;
    return;
  }
  refresh_after_adding();
}

void preview_window_c::end_adding() {
  if (adding > 0) --adding;
  if (adding == 0 && layout_pending) {
    layout_pending = false;
    refresh_after_adding();
  }
}

void preview_window_c::refresh_after_adding() {
  content_height = content_height_for(view_size());
  show_scroll_if_needed();
  layout_tiles();
}

void preview_window_c::select_category(const std::string& name) {
  if (name == current_category) return;
  kind_mode = kind_of_category(name);
  forget_thumbnail_positions();
  focused_item = -1;
  current_category = name;
  view = &categories[name];
  reset_scroll();
  layout_tiles();
  report_counts();
}

void preview_window_c::select_all(int value) {
  {
    ListLock hold;
    auto& records = g_found_files.records;
    for (unsigned index : *view)
      if (index < records.size()) records[index].selected = static_cast<uint32_t>(value);
  }
  report_counts();
}

int preview_window_c::list_index_of(int position) const {
  if (position < 0 || static_cast<size_t>(position) >= view_size()) return -1;
  unsigned index = (*view)[static_cast<size_t>(position)];
  ListLock hold;
  return index < g_found_files.records.size() ? static_cast<int>(index) : -1;
}

void preview_window_c::start_recovering() {
  if (!recovering || is_recovering()) return;
  int current = list_index_of(focused_item);
  {
    ListLock hold;
    g_found_files.current_item = current;
  }
  show_wait();
  if (recovering->start() != 0) hide_wait();
}

bool preview_window_c::is_recovering() const { return recovering && recovering->has_thread(); }

void preview_window_c::report_counts() {
  unsigned selected = 0;
  {
    ListLock hold;
    const auto& records = g_found_files.records;
    for (unsigned index : *view)
      if (index < records.size() && records[index].selected) ++selected;
  }
  if (m_hWnd) ::SendMessageW(GetParent(), kViewCountsMessage, view_size(), selected);
}

LRESULT preview_window_c::on_create(UINT, WPARAM, LPARAM, BOOL&) {
  RECT client;
  GetClientRect(&client);
  page_height = client.bottom;
  reset_view();
  SetTimer(kThumbnailTimer, 1000);
  if (!recovering) recovering = new WorkerThread(recover_selected_thread, m_hWnd);
  return 0;
}

LRESULT preview_window_c::on_destroy(UINT, WPARAM, LPARAM, BOOL&) {
  KillTimer(kThumbnailTimer);
  hide_wait();
  delete recovering;
  recovering = nullptr;
  reset_view();
  return 0;
}

LRESULT preview_window_c::on_size(UINT, WPARAM, LPARAM lparam, BOOL&) {
  page_height = HIWORD(lparam);
  return 0;
}

LRESULT preview_window_c::on_recovering_done(UINT, WPARAM, LPARAM, BOOL&) {
  if (!is_recovering()) return 0;  // a stray message: no run to collect
  recovering->wait(INFINITE);
  const int recovered = recovering->result();
  recovering->close_handle();
  hide_wait();
  if (recovered != 0) {
    std::wstring text = fill_text(text_or("recovery_finished", L"%d files were recovered."),
                                  {std::to_wstring(recovered)});
    show_user_message(m_hWnd, 4, text.c_str());
    HWND main = ::GetParent(GetParent());
    if (main) ::SendMessageW(main, kFilesRecoveredMessage, 0, 0);
  } else {
    std::wstring text = text_or("no_selection", L"No files are selected.");
    show_user_message(m_hWnd, 1, text.c_str());
  }
  return 0;
}

LRESULT preview_window_c::on_context_menu(UINT, WPARAM, LPARAM lparam, BOOL&) {
  HMENU menu = LoadMenuW(g_module.GetResourceInstance(), MAKEINTRESOURCEW(IDR_PREVIEW_MENU));
  if (!menu) return 0;
  POINT at = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
  if (!MonitorFromPoint(at, MONITOR_DEFAULTTONULL)) {
    MONITORINFO info = {sizeof info};
    GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &info);
    if (at.x < info.rcWork.left) at.x = info.rcWork.left;
    if (at.x > info.rcWork.right) at.x = info.rcWork.right;
  }
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
  DestroyMenu(menu);
  return 0;
}

LRESULT preview_window_c::on_select_all(WORD, WORD, HWND, BOOL&) {
  select_all(1);
  return 0;
}

LRESULT preview_window_c::on_unselect_all(WORD, WORD, HWND, BOOL&) {
  select_all(0);
  return 0;
}

LRESULT preview_window_c::on_open_folder(WORD, WORD, HWND, BOOL&) {
  ShellExecuteW(nullptr, nullptr, recovery_path, nullptr, nullptr, SW_SHOWNORMAL);
  return 0;
}
