// The recovery page over 100 000 found files: intake of 10 000 new records per tick by
// the page's own tick (tree, grid and page repaint), a repaint of the 428 x 342 grid, one scroll through the
// whole view with thumbnails loading as the once-a-second tick does, and the working set
// and GDI handles afterwards. Prints figures; it is not a test.
//   grid_bench <scratch folder> [pages per thumbnail tick] [seconds to hold the window]
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench_clock.h"
#include "session/found_file_list.h"
#include "session/user_message.h"
#include "ui/pages/recovery_window.h"
#include "ui/skin/fonts.h"

namespace {

constexpr unsigned kRecords = 100000;
constexpr unsigned kPerTick = 10000;
constexpr int kThumbnails = 64;
const char* const kExtensions[] = {"jpg", "nef", "png", "cr2", "tiff", "dng"};

double now_ms() { return 1000.0 * seconds_now(); }

int quiet_box(HWND, int, const wchar_t*) { return 1; }

void print_resources(const char* when) {
  PROCESS_MEMORY_COUNTERS memory = {sizeof memory};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  // Wine answers 0 for the GDI count; each live picture holds one DIB section.
  printf("%-30s working set %4lu MiB (peak %4lu MiB), GDI objects %lu, live pictures %ld\n", when,
         static_cast<unsigned long>(memory.WorkingSetSize >> 20),
         static_cast<unsigned long>(memory.PeakWorkingSetSize >> 20),
         GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), CImage::LiveCount());
}

// Thumbnails in distinct colours with a dark band and a caption along their top edge.
bool write_thumbnails(const std::string& folder) {
  for (int t = 0; t < kThumbnails; ++t) {
    CImage picture;
    picture.Create(117, 82, 24);
    const COLORREF colour = RGB(40 + (t * 37) % 200, 40 + (t * 91) % 200, 40 + (t * 53) % 200);
    HDC dc = picture.GetDC();
    RECT all = {0, 0, 117, 82}, top = {0, 0, 117, 12};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &all, brush);
    FillRect(dc, &top, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DeleteObject(brush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    wchar_t text[16];
    wsprintfW(text, L"top %d", t);
    TextOutW(dc, 4, 0, text, lstrlenW(text));
    picture.ReleaseDC();
    std::string path = folder + "\\thumb_" + std::to_string(t) + ".png";
    if (FAILED(picture.Save(std::wstring(path.begin(), path.end()).c_str()))) return false;
  }
  return true;
}

// The engine thread's part: records appended outside any timing.
void append_records(const std::string& folder, unsigned first, unsigned count) {
  ListLock hold;
  FoundFile record = {};
  for (unsigned i = first; i < first + count; ++i) {
    const char* ext = kExtensions[i % (sizeof kExtensions / sizeof kExtensions[0])];
    snprintf(record.file_path, sizeof record.file_path, "C:\\cache\\tmp\\f%06u.%s", i, ext);
    strcpy(record.ext, ext);
    snprintf(record.thumb_path, sizeof record.thumb_path, "%s\\thumb_%d.png", folder.c_str(),
             static_cast<int>(i % kThumbnails));
    g_found_files.records.push_back(record);
  }
}

double repaint_ms(preview_window_c& grid, int rounds) {
  double start = now_ms();
  for (int i = 0; i < rounds; ++i) {
    grid.Invalidate(FALSE);
    grid.UpdateWindow();
  }
  return (now_ms() - start) / rounds;
}

void pump(DWORD ms) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < ms;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: grid_bench <scratch folder> [pages per thumbnail tick] [hold seconds]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int pages_per_tick = argc > 2 ? atoi(argv[2]) : 10;
  const int hold_seconds = argc > 3 ? atoi(argv[3]) : 0;
  set_user_message_function(quiet_box);
  start_gdiplus();
  create_application_fonts();
  if (!write_thumbnails(folder)) {
    fprintf(stderr, "cannot write thumbnails into %s\n", folder.c_str());
    return 1;
  }
  reset_found_files();

  WNDCLASSW host = {};
  host.lpfnWndProc = DefWindowProcW;
  host.hInstance = GetModuleHandleW(nullptr);
  host.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  host.lpszClassName = L"GridBenchHost";
  RegisterClassW(&host);
  HWND main = CreateWindowExW(0, host.lpszClassName, L"grid bench", WS_POPUP | WS_VISIBLE, 0, 0,
                              770, 504, nullptr, nullptr, nullptr, nullptr);
  // The real recovery page with its tree and grid; its 200 ms tick is sent by hand.
  recovery_window_c page;
  RECT whole = {0, 0, 770, 504};
  page.Create(main, whole, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  preview_window_c& grid = page.preview;
  print_resources("empty grid:");

  double worst = 0, total = 0;
  for (unsigned first = 0; first < kRecords; first += kPerTick) {
    append_records(folder, first, kPerTick);
    double start = now_ms();
    page.SendMessage(WM_TIMER, 1);  // the tick: tree, grid and page take the new records in
    double took = now_ms() - start;
    total += took;
    if (took > worst) worst = took;
  }
  printf("intake of %u records per tick: average %.1f ms, worst %.1f ms (%u ticks, view %u)\n", kPerTick,
         total / (kRecords / kPerTick), worst, kRecords / kPerTick, static_cast<unsigned>(grid.view_size()));

  printf("repaint, placeholders: %.2f ms\n", repaint_ms(grid, 100));
  grid.SendMessage(WM_TIMER, preview_window_c::kThumbnailTimer);
  printf("repaint, thumbnails:   %.2f ms\n", repaint_ms(grid, 100));
  print_resources("after intake, top thumbnails:");

  // Down the whole view a page at a time, with a thumbnail tick every few pages.
  double scroll_total = 0;
  int steps = 0;
  long most_pictures = 0;
  double tick_total = 0;
  int ticks = 0;
  for (int last = -1; grid.scroll_position != last; ++steps) {
    last = grid.scroll_position;
    double start = now_ms();
    grid.SendMessage(WM_VSCROLL, SB_PAGEDOWN);
    scroll_total += now_ms() - start;
    if (steps % pages_per_tick == 0) {
      start = now_ms();
      grid.SendMessage(WM_TIMER, preview_window_c::kThumbnailTimer);
      tick_total += now_ms() - start;
      ++ticks;
      if (CImage::LiveCount() > most_pictures) most_pictures = CImage::LiveCount();
    }
  }
  grid.SendMessage(WM_TIMER, preview_window_c::kThumbnailTimer);
  printf("scroll by a page (layout + repaint): %.2f ms over %d pages, to position %d\n",
         scroll_total / steps, steps, grid.scroll_position);
  size_t held = 0;
  {
    ListLock hold;
    for (const FoundFile& record : g_found_files.records) held += record.image != nullptr;
  }
  printf("thumbnail tick (release, load, repaint, count): %.1f ms over %d ticks\n", tick_total / ticks, ticks);
  printf("thumbnails held at the end: %u; most live pictures after a tick: %ld\n",
         static_cast<unsigned>(held), most_pictures);
  print_resources("after scrolling through all:");

  if (hold_seconds > 0) {  // for a screenshot: the top of the view, a few ticks, a focus
    SCROLLINFO info = {sizeof info, SIF_POS};
    SetScrollInfo(grid, SB_VERT, &info, TRUE);
    grid.SendMessage(WM_VSCROLL, SB_THUMBPOSITION);
    grid.SendMessage(WM_TIMER, preview_window_c::kThumbnailTimer);
    for (int tile : {1, 5, 7}) grid.SendMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(10 + 137 * (tile % 3) + 3, 10 + 111 * (tile / 3) + 90));
    grid.SendMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(10 + 137 + 40, 10 + 111 + 40));
    grid.RedrawWindow();
    printf("holding the window for %d s\n", hold_seconds);
    fflush(stdout);
    pump(static_cast<DWORD>(hold_seconds) * 1000);
  }
  DestroyWindow(main);
  return 0;
}
