// The thumbnail grid in the middle of the recovery page: the found files of one
// category as tiles of three columns (thumbnail or placeholder, check box, label),
// focus by click, ticks, a context menu, and the recovering thread with its wait
// indicator and outcome box.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/found_file.h"
#include "base/messages.h"
#include "framework/window.h"
#include "imaging/image.h"
#include "session/worker_thread.h"
#include "ui/skin/wait_window.h"

class preview_window_c : public CWindowImpl<preview_window_c>, public wait_window_c<preview_window_c> {
 public:
  DECLARE_WND_CLASS(L"PreviewWindow")

  static constexpr int kColumns = 3;
  static constexpr int kTileWidth = 137;
  static constexpr int kTileHeight = 111;
  static constexpr int kMargin = 10;
  static constexpr UINT_PTR kThumbnailTimer = 1;

  std::map<std::string, std::vector<unsigned>> categories;
  std::string current_category = "photo";
  std::vector<unsigned>* view = nullptr;  // the entry of current_category
  int kind_mode = 0;
  int focused_item = -1;  // position in the view
  int content_height = 10;
  int scroll_position = 0;
  int page_height = 0;
  CImage pictures[6];  // photo, RAW, video, audio placeholders, ticked box, empty box
  WorkerThread* recovering = nullptr;
  int adding = 0;  // >0 inside begin_adding/end_adding: add_file defers the layout
  bool layout_pending = false;  // a deferred add_file waits for end_adding
  // List indices whose thumbnail this page loaded, so that far ones can be released
  // without walking the whole view; valid for one generation of the list.
  std::vector<unsigned> loaded;
  uint32_t loaded_generation = 0;

  preview_window_c();
  ~preview_window_c() override;

  // Operations of the recovery page.
  void reset_view();
  // Called with the list lock held. Between begin_adding and end_adding the layout and
  // repaint are left to end_adding, so a tick of many records costs one of each.
  void add_file(const std::string& name, int kind, unsigned index);
  void begin_adding() { ++adding; }
  void end_adding();
  void select_category(const std::string& name);
  void select_all(int value);
  void start_recovering();
  bool is_recovering() const;
  // Number of tiles in the current view.
  size_t view_size() const { return view ? view->size() : 0; }

  BEGIN_MSG_MAP(preview_window_c)
    MESSAGE_HANDLER(WM_CREATE, on_create)
    MESSAGE_HANDLER(WM_DESTROY, on_destroy)
    MESSAGE_HANDLER(WM_SIZE, on_size)
    MESSAGE_HANDLER(WM_PAINT, on_paint)
    MESSAGE_HANDLER(WM_PRINTCLIENT, on_print_client)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
    MESSAGE_HANDLER(WM_VSCROLL, on_vscroll)
    MESSAGE_HANDLER(WM_MOUSEWHEEL, on_mouse_wheel)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, on_left_button_down)
    MESSAGE_HANDLER(WM_CONTEXTMENU, on_context_menu)
    MESSAGE_HANDLER(WM_TIMER, on_thumbnail_timer)
    MESSAGE_HANDLER(kRecoveryFinishedMessage, on_recovering_done)
    COMMAND_ID_HANDLER(40025, on_select_all)
    COMMAND_ID_HANDLER(40026, on_unselect_all)
    COMMAND_ID_HANDLER(40027, on_open_folder)
    CHAIN_MSG_MAP(wait_window_c<preview_window_c>)
  END_MSG_MAP()

 private:
  LRESULT on_create(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_destroy(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_size(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_paint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_print_client(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_erase_background(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT on_vscroll(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_mouse_wheel(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_left_button_down(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_context_menu(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_thumbnail_timer(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_recovering_done(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_select_all(WORD, WORD, HWND, BOOL&);
  LRESULT on_unselect_all(WORD, WORD, HWND, BOOL&);
  LRESULT on_open_folder(WORD, WORD, HWND, BOOL&);

  void layout_tiles();
  void reset_scroll();
  void show_scroll_if_needed();
  void scroll_to(int position);
  void refresh_after_adding();
  void report_counts();
  int list_index_of(int position) const;  // -1 when the position or its record is gone

  // Painting (preview_paint.cpp).
  void paint_tiles(HDC dc, const RECT& client);
  void paint_tile(HDC dc, int position, const FoundFile& record, const RECT& client);
  const CImage& placeholder_for(const FoundFile& record) const;

  // Thumbnails near the view (preview_thumbnails.cpp), called with the list lock held.
  void release_far_thumbnails();
  void load_near_thumbnails();
  void forget_thumbnail_positions();
};
