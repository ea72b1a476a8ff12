// The preview grid as the recovery page hosts it: a child of a plain page window under a
// plain main window, over a found-file list of real cached files and PNG thumbnails.
#include "ui/pages/preview_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "base/settings.h"
#include "common/test_files.h"
#include "i18n/language.h"
#include "session/file_kinds.h"
#include "session/found_file_list.h"
#include "session/user_message.h"
#include "ui/skin/drawing.h"

namespace {

struct Sent {
  HWND to;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};
std::vector<Sent> g_sent;

LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message >= WM_USER + 7 && message <= WM_USER + 12) g_sent.push_back({window, message, wparam, lparam});
  return DefWindowProcW(window, message, wparam, lparam);
}

struct Shown {
  int mode;
  std::wstring text;
};
std::vector<Shown> g_shown;
int record_message(HWND, int mode, const wchar_t* text) {
  g_shown.push_back({mode, text});
  return 1;
}

// 117 x 82, red above and blue below: a thumbnail drawn upside down shows at once.
void write_thumbnail(const std::string& path) {
  CImage picture;
  picture.Create(117, 82, 24);
  HDC dc = picture.GetDC();
  RECT top = {0, 0, 117, 41}, bottom = {0, 41, 117, 82};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
  FillRect(dc, &top, red);
  FillRect(dc, &bottom, blue);
  DeleteObject(red);
  DeleteObject(blue);
  picture.ReleaseDC();
  ASSERT_EQ(S_OK, picture.Save(std::wstring(path.begin(), path.end()).c_str()));
}

class PreviewGrid : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW host = {};
    host.lpfnWndProc = recording_proc;
    host.hInstance = GetModuleHandleW(nullptr);
    host.lpszClassName = L"PreviewTestHost";
    RegisterClassW(&host);
    start_gdiplus();
    // One pair of host windows for all: Wine takes seconds to destroy a top-level window.
    main_ = CreateWindowExW(0, L"PreviewTestHost", L"preview test", WS_POPUP | WS_VISIBLE, 0, 0, 800,
                            500, nullptr, nullptr, nullptr, nullptr);
    page_ = CreateWindowExW(0, L"PreviewTestHost", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            800, 500, main_, nullptr, nullptr, nullptr);
  }
  static void TearDownTestSuite() { DestroyWindow(main_); }

  void SetUp() override {
    previous_box_ = set_user_message_function(record_message);
    text_table["recovery_finished"] = L"%d files were recovered.";
    text_table["no_selection"] = L"Nothing is selected.";
    reset_found_files();
    RECT area = {171, 81, 599, 423};
    ASSERT_TRUE(grid_.Create(page_, area, nullptr,
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VSCROLL));
    thumbnail_ = folder_ / "thumb_one.png";
    write_thumbnail(thumbnail_);
    g_sent.clear();
    g_shown.clear();
  }
  void TearDown() override {
    grid_.DestroyWindow();
    reset_found_files();
    set_user_message_function(previous_box_);
  }

  // A real cached file in the list.
  void add(const std::string& name) {
    std::string path = folder_ / name;
    put_file(path, "cached " + name);
    append_cached_file(path.c_str());
  }

  // The recovery page's tick: every record not yet shown, in one batch.
  void intake() {
    ListLock hold;
    grid_.begin_adding();
    for (; shown_ < g_found_files.records.size(); ++shown_) {
      const char* dot = strrchr(g_found_files.records[shown_].file_path, '.');
      std::string ext = dot ? dot + 1 : "";
      grid_.add_file(ext, classify_extension(ext.c_str()), static_cast<unsigned>(shown_));
    }
    grid_.end_adding();
  }

  void restart() {
    grid_.reset_view();
    reset_found_files();
    shown_ = 0;
  }

  void click(int x, int y) { grid_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
  void thumbnail_tick() { grid_.SendMessage(WM_TIMER, preview_window_c::kThumbnailTimer); }
  bool scroll_bar_shown() const { return (grid_.GetStyle() & WS_VSCROLL) != 0; }

  const Sent* last(UINT message) const {
    for (auto it = g_sent.rbegin(); it != g_sent.rend(); ++it)
      if (it->message == message) return &*it;
    return nullptr;
  }

  // The grid as it paints itself, in a 24-bit picture of its client area.
  void render(CImage& canvas) {
    RECT client;
    grid_.GetClientRect(&client);
    canvas.Create(client.right, client.bottom, 24);
    grid_.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.GetDC()), PRF_CLIENT);
    canvas.ReleaseDC();
  }
  // True when the picture shows at (x, y) of the canvas (every third pixel compared).
  static bool shows(const CImage& canvas, int x, int y, const CImage& picture) {
    for (int dy = 0; dy < picture.GetHeight(); dy += 3)
      for (int dx = 0; dx < picture.GetWidth(); dx += 3)
        if (canvas.GetPixel(x + dx, y + dy) != picture.GetPixel(dx, dy)) return false;
    return true;
  }
  bool has_image(unsigned index) {
    ListLock hold;
    return g_found_files.records[index].image != nullptr;
  }
  size_t images_held() {
    ListLock hold;
    size_t held = 0;
    for (const FoundFile& record : g_found_files.records) held += record.image != nullptr;
    return held;
  }

  void pump_until(const std::function<bool()>& done) {
    for (DWORD start = GetTickCount(); !done() && GetTickCount() - start < 20000;) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      Sleep(5);
    }
  }

  ScratchFolder folder_{"preview"};
  std::string thumbnail_;
  static inline HWND main_ = nullptr, page_ = nullptr;
  preview_window_c grid_;
  size_t shown_ = 0;
  UserMessageFunction previous_box_ = nullptr;
};

}  // namespace

TEST_F(PreviewGrid, ContentHeightAndScrollBarFollowTheViewSize) {
  struct Row {
    int files;
    int content_height;
    bool scroll_bar;
  };
  for (Row row : {Row{0, 10, false}, Row{6, 232, false}, Row{7, 343, true}, Row{3, 121, false}}) {
    restart();
    for (int i = 0; i < row.files; ++i) add("f" + std::to_string(i) + ".jpg");
    intake();
    EXPECT_EQ(row.content_height, grid_.content_height) << row.files << " files";
    EXPECT_EQ(row.scroll_bar, scroll_bar_shown()) << row.files << " files";
    grid_.select_category("jpg");
    EXPECT_EQ(static_cast<size_t>(row.files), grid_.view_size());
    ASSERT_NE(nullptr, last(WM_USER + 8));
    EXPECT_EQ(static_cast<WPARAM>(row.files), last(WM_USER + 8)->wparam);
    EXPECT_EQ(0, last(WM_USER + 8)->lparam);
  }
}

TEST_F(PreviewGrid, ABatchLaysOutOnceAtItsEndASingleAdditionAtOnce) {
  for (int i = 0; i < 7; ++i) add("f" + std::to_string(i) + ".jpg");
  {
    ListLock hold;
    grid_.begin_adding();
    for (unsigned i = 0; i < 7; ++i) grid_.add_file("jpg", kPhoto, i);
    EXPECT_EQ(10, grid_.content_height) << "nothing laid out inside the batch";
    EXPECT_FALSE(scroll_bar_shown());
    grid_.end_adding();
  }
  EXPECT_EQ(343, grid_.content_height);
  EXPECT_TRUE(scroll_bar_shown());
  {
    ListLock hold;
    EXPECT_EQ(10 + 137 * 2, g_found_files.records[5].grid_x);
    EXPECT_EQ(10 + 111 * 2, g_found_files.records[6].grid_y);
  }
  add("g.jpg");
  {
    ListLock hold;
    grid_.add_file("jpg", kPhoto, 7);
  }
  EXPECT_EQ(10 + 137, g_found_files.records[7].grid_x);
}

TEST_F(PreviewGrid, ClickBandsFocusAndTickWhileACategoryChangeStartsAfresh) {
  add("cover.png");
  for (int i = 0; i < 6; ++i) add("f" + std::to_string(i) + ".jpg");
  intake();
  const int x = 10 + 137 + 5, y = 10 + 111;  // tile 4: second column, second row
  click(x, y + 40);
  EXPECT_EQ(4, grid_.focused_item);
  ASSERT_NE(nullptr, last(WM_USER + 7));
  EXPECT_EQ(page_, last(WM_USER + 7)->to);
  EXPECT_EQ(4u, last(WM_USER + 7)->wparam);

  click(x, y + 90);  // its check box
  ASSERT_NE(nullptr, last(WM_USER + 8));
  EXPECT_EQ(7u, last(WM_USER + 8)->wparam);
  EXPECT_EQ(1, last(WM_USER + 8)->lparam);
  {
    ListLock hold;
    EXPECT_EQ(1u, g_found_files.records[4].selected);
  }
  // Gaps, the top margin, the right margin and positions past the view hit nothing.
  const size_t before = g_sent.size();
  for (POINT p : {POINT{x, y + 83}, POINT{x, 5}, POINT{425, y + 40}, POINT{x, 10 + 2 * 111 + 40}}) click(p.x, p.y);
  EXPECT_EQ(before, g_sent.size());
  EXPECT_EQ(4, grid_.focused_item);

  grid_.SendMessage(WM_VSCROLL, SB_LINEDOWN);
  EXPECT_EQ(2, grid_.scroll_position) << "343 - 342 + 1 at most";
  // In the "jpg" category the ticked file is view position 3 and still ticked.
  grid_.select_category("jpg");
  EXPECT_EQ(-1, grid_.focused_item);
  EXPECT_EQ(0, grid_.scroll_position);
  EXPECT_EQ(6u, last(WM_USER + 8)->wparam);
  EXPECT_EQ(1, last(WM_USER + 8)->lparam);
  click(10 + 5, 10 + 40);
  EXPECT_EQ(1u, last(WM_USER + 7)->wparam) << "the first jpg is list index 1";
}

TEST_F(PreviewGrid, PlaceholdersFollowKindAndExtension) {
  for (const char* name : {"a.jpg", "b.jpeg", "c.tif", "d.png", "e.JPG", "f.wav", "g.mp4"}) add(name);
  intake();
  CImage photo, raw, video, audio, empty_box;
  load_skin_bitmap(photo, 203);
  load_skin_bitmap(raw, 218);
  load_skin_bitmap(video, 205);
  load_skin_bitmap(audio, 204);
  load_skin_bitmap(empty_box, 206);
  CImage canvas;
  render(canvas);
  EXPECT_TRUE(shows(canvas, 10, 10, photo)) << "jpg";
  EXPECT_TRUE(shows(canvas, 147, 10, raw)) << "tif";
  EXPECT_TRUE(shows(canvas, 284, 10, photo)) << "png";
  EXPECT_TRUE(shows(canvas, 10, 121, raw)) << "JPG: the comparison is case-sensitive";
  EXPECT_TRUE(shows(canvas, 10, 10 + 86, empty_box));

  grid_.select_category("audio");
  CImage audio_canvas;
  render(audio_canvas);
  EXPECT_TRUE(shows(audio_canvas, 10, 10, audio));
  // "jpeg" is in no table: its file is listed with the videos, after a box that says so.
  grid_.select_category("video");
  CImage video_canvas;
  render(video_canvas);
  EXPECT_TRUE(shows(video_canvas, 10, 10, video));
  EXPECT_TRUE(shows(video_canvas, 147, 10, video));
  ASSERT_EQ(1u, g_shown.size());
  EXPECT_EQ(L"jpeg", g_shown[0].text);
}

TEST_F(PreviewGrid, LabelsEndBeforeTheNextTileAndTheWindowEdge) {
  // Long extensions, in a view tall enough for the scroll bar.
  const char* const names[] = {"a.abcdefg", "b.m2ts", "c.wwwwwi", "d.webm", "e.abcdefg", "f.wwwwwi", "g.TiVo"};
  for (const char* name : names) add(name);
  intake();
  grid_.select_category("video");
  ASSERT_TRUE(scroll_bar_shown());
  CImage canvas;
  render(canvas);
  RECT client;
  grid_.GetClientRect(&client);
  auto ink_at = [&](int x, int top) {
    for (int y = top; y < top + 14; ++y)
      if (canvas.GetPixel(x, y) != RGB(255, 255, 255)) return true;
    return false;
  };
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 3; ++column) {
      const int x = 10 + 137 * column, y = 10 + 111 * row + 86;
      const int end = column == 2 ? client.right : x + 137;
      EXPECT_TRUE(ink_at(x + 30, y)) << "tile " << row * 3 + column << " has its label";
      EXPECT_FALSE(ink_at(end - 1, y) || ink_at(end - 2, y)) << "tile " << row * 3 + column << " runs on";
    }
  }
}

TEST_F(PreviewGrid, ThumbnailsNearTheViewLoadFarOnesGoAndTheThumbFollowsPast65535) {
  // 100 000 records that share one real thumbnail.
  constexpr unsigned kRecords = 100000;
  {
    ListLock hold;
    FoundFile record = {};
    strcpy(record.thumb_path, thumbnail_.c_str());
    strcpy(record.ext, "jpg");
    for (unsigned i = 0; i < kRecords; ++i) {
      sprintf(record.file_path, "C:\\cache\\tmp\\f%06u.jpg", i);
      g_found_files.records.push_back(record);
    }
  }
  intake();
  EXPECT_EQ(111 * 33334 + 10, grid_.content_height);
  EXPECT_TRUE(scroll_bar_shown());

  thumbnail_tick();
  // Origins from -342 to 684: rows 0 to 6.
  EXPECT_TRUE(has_image(0));
  EXPECT_TRUE(has_image(20));
  EXPECT_FALSE(has_image(21));
  EXPECT_EQ(21u, images_held());
  CImage canvas;
  render(canvas);
  EXPECT_EQ(RGB(255, 0, 0), canvas.GetPixel(10 + 50, 10 + 5)) << "the top of the thumbnail is up";
  EXPECT_EQ(RGB(0, 0, 255), canvas.GetPixel(10 + 50, 10 + 75));

  // The bar's 32-bit position, not the message's 16 bits.
  const int target = 70000;
  SCROLLINFO info = {sizeof info, SIF_POS};
  info.nPos = target;
  SetScrollInfo(grid_, SB_VERT, &info, FALSE);
  grid_.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, target & 0xFFFF));
  EXPECT_EQ(target, grid_.scroll_position);
  const unsigned first_row = (target - 10) / 111;  // 630
  {
    ListLock hold;
    EXPECT_EQ(10 + 111 * static_cast<int>(first_row) - target, g_found_files.records[first_row * 3].grid_y);
  }
  thumbnail_tick();
  EXPECT_FALSE(has_image(0)) << "released far above the view";
  EXPECT_TRUE(has_image(first_row * 3));
  EXPECT_LE(images_held(), 30u);

  SendMessageW(grid_, WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(target + 342, grid_.scroll_position);
}

TEST_F(PreviewGrid, RecoveringReportsTheCountOrNoSelection) {
  ScratchFolder destination("preview_dest");
  wcscpy(recovery_path, destination.wide().c_str());
  // A translation longer than any fixed buffer still reaches the box whole.
  const std::wstring tail(300, L'.');
  text_table["recovery_finished"] = L"%d files were recovered" + tail;
  add("a.jpg");
  add("b.jpg");
  add("c.jpg");
  intake();
  click(10 + 5, 10 + 90);
  click(10 + 137 + 5, 10 + 90);
  grid_.start_recovering();
  EXPECT_TRUE(grid_.is_recovering());
  EXPECT_TRUE(grid_.active) << "the wait indicator turns";
  pump_until([&] { return !grid_.is_recovering(); });
  ASSERT_EQ(1u, g_shown.size());
  EXPECT_EQ(4, g_shown[0].mode);
  EXPECT_EQ(L"2 files were recovered" + tail, g_shown[0].text);
  EXPECT_FALSE(grid_.active);
  ASSERT_NE(nullptr, last(WM_USER + 12));
  EXPECT_EQ(main_, last(WM_USER + 12)->to);
  EXPECT_TRUE(exists(destination / "FILE00001.jpg"));
  EXPECT_FALSE(exists(destination / "FILE00002.jpg"));

  // Nothing selected, and the focused tile's file is gone with a cleared list.
  grid_.select_all(0);
  click(10 + 5, 10 + 40);
  reset_found_files();
  g_sent.clear();
  CImage canvas;
  render(canvas);  // view entries outside the list are skipped
  grid_.start_recovering();
  pump_until([&] { return !grid_.is_recovering(); });
  ASSERT_EQ(2u, g_shown.size());
  EXPECT_EQ(1, g_shown[1].mode);
  EXPECT_EQ(L"Nothing is selected.", g_shown[1].text);
  EXPECT_EQ(nullptr, last(WM_USER + 12));
}
