#include "app/main_window.h"

#include <shellapi.h>

#include "base/settings.h"
#include "framework/module.h"
#include "i18n/language.h"
#include "session/user_message.h"
#include "ui/pages/about_window.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"

namespace {
constexpr int kCaptionHeight = 100;
constexpr int kButtonWidth = 30;
constexpr int kButtonHeight = 21;
constexpr COLORREF kTitleColour = RGB(233, 243, 255);

const wchar_t kHelpAddress[] = L"https://www.tessaline.example/help";
const wchar_t kDefaultProductAddress[] = L"https://www.tessaline.example/";
struct ProductAddress {
  const wchar_t* language;
  const wchar_t* address;
};
const ProductAddress kProductAddresses[] = {
    {L"Deutsch", L"https://www.tessaline.example/de/"},
    {L"Fran\u00e7ais", L"https://www.tessaline.example/fr/"},
    {L"Espa\u00f1ol", L"https://www.tessaline.example/es/"},
    {L"\u7b80\u4f53\u4e2d\u6587", L"https://www.tessaline.example/cn/"},
    {L"\u7e41\u9ad4\u4e2d\u6587", L"https://www.tessaline.example/hk/"},
    {L"Italiano", L"https://www.tessaline.example/it/"},
    {L"\u65e5\u672c\u8a9e", L"https://www.tessaline.example/jp/"},
};

void draw_text(HDC dc, int x, int y, const std::wstring& text) {
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void open_address(const wchar_t* address) {
  ShellExecuteW(nullptr, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

// x of the three step labels by language code.
void step_label_positions(const std::wstring& code, int (&x)[3]) {
  if (code == L"fr" || code == L"it" || code == L"es") {
    x[0] = 30, x[1] = 190, x[2] = 430;
  } else if (code == L"de") {
    x[0] = 80, x[1] = 200, x[2] = 420;
  } else {
    x[0] = 110, x[1] = 250, x[2] = 420;
  }
}
}  // namespace

main_window_c::main_window_c() : ui_window_c<main_window_c>(kCaptionHeight) {}

main_window_c::~main_window_c() {
  if (menu) DestroyMenu(menu);
  // The pages go with the object's members; their windows are gone with this window.
  if (header_brush) DeleteObject(header_brush);
  if (big_icon) DestroyIcon(big_icon);
  if (small_icon) DestroyIcon(small_icon);
}

HWND main_window_c::create() {
  RECT place = {0, 0, 800, 600};
  if (!Create(nullptr, &place, kMainWindowTitle)) return nullptr;
  CenterWindow();
  return m_hWnd;
}

void main_window_c::add_caption_element(int normal, int hover, int pressed, int offset_x, int offset_y,
                                        int width, int height, void (main_window_c::*action)(),
                                        const wchar_t* name) {
  auto* button = new system_button_c<main_window_c>;
  const int left = frame_width + offset_x;
  const int top = frame_height + offset_y;
  button->create(GetModuleHandleW(nullptr), normal, hover, pressed, left, top, left + width, top + height, name);
  button->on_click = action;
  buttons.push_back(button);
}

LRESULT main_window_c::on_create(UINT, WPARAM, LPARAM, BOOL&) {
  if (MessageLoop* loop = g_module.GetMessageLoop()) {
    loop->AddMessageFilter(this);
    loop->AddIdleHandler(this);
  }
  add_caption_element(IDB_CLOSE_BUTTON, IDB_CLOSE_BUTTON + 1, IDB_CLOSE_BUTTON + 2, 0, 0, kButtonWidth,
                      kButtonHeight, &main_window_c::close_clicked, L"system_close");
  add_caption_element(IDB_MINIMISE_BUTTON, IDB_MINIMISE_BUTTON + 1, IDB_MINIMISE_BUTTON + 2, kButtonWidth, 0,
                      kButtonWidth, kButtonHeight, &main_window_c::minimise_clicked, L"system_minimum");
  add_caption_element(IDB_MENU_BUTTON, IDB_MENU_BUTTON + 1, IDB_MENU_BUTTON + 2, 2 * kButtonWidth, 0,
                      kButtonWidth, kButtonHeight, &main_window_c::menu_clicked, L"system_dropdown");
  load_skin_bitmap(header_tile, IDB_HEADER_TILE);
  load_skin_bitmap(logo, IDB_LOGO);
  if (!header_tile.IsNull()) header_brush = CreatePatternBrush(static_cast<HBITMAP>(header_tile));
  for (int i = 0; i < 4; ++i) load_skin_bitmap(step_bars[i], IDB_STEP_BAR + i);

  RECT client;
  GetClientRect(&client);
  home.owner = m_hWnd;
  home.Create(m_hWnd, &client, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  options.main_window = m_hWnd;
  options.Create(m_hWnd, &client, nullptr, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  recovery.Create(m_hWnd, &client, nullptr, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  visible_page = home.m_hWnd;

  menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_MENU));
  insert_language_menu();
  HINSTANCE self = GetModuleHandleW(nullptr);
  big_icon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  small_icon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  SetIcon(big_icon, TRUE);
  SetIcon(small_icon, FALSE);
  apply_square_region();
  // The logo: one picture for every state, 20 pixels in and 25 lower than the buttons.
  add_caption_element(IDB_LOGO, IDB_LOGO, IDB_LOGO, 20, 25, logo.GetWidth(), logo.GetHeight(),
                      &main_window_c::logo_clicked, L"logo");
  step = 0;
  return 0;
}

void main_window_c::insert_language_menu() {
  HMENU drop_down = menu ? GetSubMenu(menu, 0) : nullptr;
  if (!drop_down) return;
  HMENU languages = CreatePopupMenu();
  for (size_t i = 0; i < language_list.size(); ++i) {
    UINT flags = MF_STRING | (static_cast<int>(i) == current_language_index ? MF_CHECKED : MF_UNCHECKED);
    AppendMenuW(languages, flags, kFirstLanguageCommand + i, language_list[i].c_str());
  }
  InsertMenuW(drop_down, 0, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(languages),
              L"Language");
}

LRESULT main_window_c::on_destroy(UINT, WPARAM, LPARAM, BOOL&) {
  if (MessageLoop* loop = g_module.GetMessageLoop()) {
    loop->RemoveMessageFilter(this);
    loop->RemoveIdleHandler(this);
  }
  PostQuitMessage(0);
  return 0;
}

bool main_window_c::close_request() {
  // Recovering copies to the destination; ending the program under it would leave
  // half-written files, so the request waits until it has ended.
  if (recovery.is_recovering()) return false;
  if (recovery.run_state() != recovery_window_c::kIdle) {
    if (show_user_message(m_hWnd, 3, lookup_text("cancel_confirm").c_str()) != 1) return false;
    // The whole stop sequence: the engine ends and the launch thread is waited for, so
    // no thread outlives the page it reports to.
    recovery.stop_scan();
  }
  DestroyWindow();
  return true;
}

LRESULT main_window_c::on_close(UINT, WPARAM, LPARAM, BOOL&) {
  close_request();
  return 0;
}

LRESULT main_window_c::on_get_min_max_info(UINT, WPARAM, LPARAM lparam, BOOL&) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
  info->ptMinTrackSize = {800, 600};
  return 0;
}

LRESULT main_window_c::on_set_focus(UINT, WPARAM, LPARAM, BOOL&) {
  if (visible_page && ::IsWindow(visible_page)) ::SetFocus(visible_page);
  return 0;
}

LRESULT main_window_c::on_erase_background(UINT, WPARAM wparam, LPARAM, BOOL&) {
  RECT client;
  GetClientRect(&client);
  InflateRect(&client, -1, -1);
  FillRect(reinterpret_cast<HDC>(wparam), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  return 1;
}

LRESULT main_window_c::on_wake(UINT, WPARAM, LPARAM, BOOL&) {
  if (IsIconic()) ShowWindow(SW_RESTORE);
  ShowWindow(SW_SHOW);
  SetForegroundWindow();
  BringWindowToTop();
  return 0;
}

void main_window_c::set_step(int new_step) {
  step = new_step;
  RedrawWindow(nullptr, nullptr, RDW_FRAME | RDW_UPDATENOW | RDW_NOCHILDREN | RDW_INVALIDATE);
}

void main_window_c::show_page(HWND page) {
  if (page == visible_page) return;
  if (visible_page) ::ShowWindow(visible_page, SW_HIDE);
  visible_page = page;
  ::ShowWindow(page, SW_SHOW);
  ::SetFocus(page);
  RECT client;
  GetClientRect(&client);
  ::MoveWindow(page, 0, 0, client.right, client.bottom, TRUE);
}

LRESULT main_window_c::on_show_page(UINT message, WPARAM wparam, LPARAM lparam, BOOL&) {
  switch (message) {
    case kShowHomeMessage:
      set_step(0);
      show_page(home.m_hWnd);
      break;
    case kShowOptionsMessage:
      set_step(1);
      show_page(options.m_hWnd);
      break;
    case kShowScanMessage:
      set_step(2);
      show_page(recovery.m_hWnd);
      if (wparam != 0) recovery.SendMessage(kStartScanMessage, wparam, lparam);
      break;
    case kShowResumedMessage:
      show_page(recovery.m_hWnd);
      recovery.SendMessage(kListOnlyMessage, wparam, lparam);
      break;
  }
  return 0;
}

LRESULT main_window_c::on_preview_step(UINT, WPARAM, LPARAM, BOOL&) {
  if (step != 3) set_step(3);
  return 0;
}

void main_window_c::menu_clicked() {
  HMENU drop_down = menu ? GetSubMenu(menu, 0) : nullptr;
  if (!drop_down) return;
  ModifyMenuW(drop_down, ID_MENU_HELP, MF_BYCOMMAND | MF_STRING, ID_MENU_HELP, lookup_text("menu_help").c_str());
  ModifyMenuW(drop_down, ID_MENU_ABOUT, MF_BYCOMMAND | MF_STRING, ID_MENU_ABOUT, lookup_text("menu_about").c_str());
  ModifyMenuW(drop_down, ID_MENU_EXIT, MF_BYCOMMAND | MF_STRING, ID_MENU_EXIT, lookup_text("menu_exit").c_str());
  RECT window_rect, client;
  GetWindowRect(&window_rect);
  GetClientRect(&client);
  POINT at = {window_rect.left + client.right - 103, window_rect.top + 10};
  if (!MonitorFromPoint(at, MONITOR_DEFAULTTONULL)) {
    MONITORINFO info = {sizeof info};
    if (GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &info)) {
      if (at.x < info.rcWork.left) at.x = info.rcWork.left;
      if (at.x >= info.rcWork.right) at.x = info.rcWork.right - 1;
    }
  }
  TrackPopupMenu(drop_down, TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
}

void main_window_c::logo_clicked() {
  const wchar_t* address = kDefaultProductAddress;
  if (current_language_index >= 0 && current_language_index < static_cast<int>(language_list.size()))
    for (const ProductAddress& entry : kProductAddresses)
      if (lstrcmpiW(language_list[current_language_index].c_str(), entry.language) == 0) address = entry.address;
  open_address(address);
}

LRESULT main_window_c::on_help(WORD, WORD, HWND, BOOL&) {
  open_address(kHelpAddress);
  return 0;
}

LRESULT main_window_c::on_about(WORD, WORD, HWND, BOOL&) {
  about_window_c about;
  about.show(m_hWnd);
  return 0;
}

LRESULT main_window_c::on_exit(WORD, WORD, HWND, BOOL&) {
  close_request();
  return 0;
}

LRESULT main_window_c::on_language(WORD, WORD id, HWND, BOOL&) {
  const int index = id - kFirstLanguageCommand;
  if (index == current_language_index || index >= static_cast<int>(language_list.size())) return 0;
  lstrcpynW(language_name, language_list[index].c_str(), kLanguageNameChars);
  current_language_index = index;
  save_settings();
  show_user_message(m_hWnd, 0, lookup_text("config_language_change_notice").c_str());
  return 0;
}

void main_window_c::paint_caption(memory_surface& surface, const RECT& window) {
  if (!header_brush) return;
  RECT band = {frame_width, frame_height, window.right - window.left - frame_width,
               header_tile.GetHeight()};
  FillRect(surface.surface, &band, header_brush);
}

void main_window_c::paint_title(memory_surface& surface, const RECT&) {
  wchar_t title[256] = {};
  if (::GetWindowTextW(m_hWnd, title, 256) <= 0) return;
  HDC dc = surface.surface;
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  if (small_icon) DrawIconEx(dc, 5, 5, small_icon, 20, 20, 0, nullptr, DI_NORMAL);
  HGDIOBJ old_font = SelectObject(dc, application_font(L"Verdana", 8, true));
  const COLORREF old_colour = SetTextColor(dc, kTitleColour);
  draw_text(dc, 30, 8, title);
  SetTextColor(dc, RGB(255, 255, 255));
  int x[3];
  step_label_positions(language_code(), x);
  const char* keys[3] = {"top_step1", "top_step2", "top_step3"};
  for (int i = 0; i < 3; ++i) draw_text(dc, x[i], 38, lookup_text(keys[i]));
  SelectObject(dc, old_font);
  SetTextColor(dc, old_colour);
  SetBkMode(dc, old_mode);
  if (step >= 0 && step < 4) draw_image(dc, step_bars[step], 20, 60);
}
