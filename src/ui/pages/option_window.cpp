#include "ui/pages/option_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "../res/resource.h"
#include "base/ansi_text.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/settings.h"
#include "devices/volumes.h"
#include "i18n/language.h"
#include "session/scan_session.h"
#include "session/user_message.h"
#include "ui/pages/folder_rules.h"
#include "ui/pages/folder_window.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"
#include "ui/skin/text_box.h"

namespace {

struct ButtonPlace {
  int id;
  const char* key;
  int x, y;
  int images;  // normal, then pushed and hover
};
const ButtonPlace kButtons[6] = {
    {option_window_c::kRefresh, "btn_refresh", 468, 128, IDB_OPTION_BUTTON},
    {option_window_c::kBrowse, "btn_browse", 468, 336, IDB_OPTION_BUTTON},
    {option_window_c::kOpen, "btn_open", 578, 336, IDB_OPTION_BUTTON},
    {option_window_c::kBack, "btn_back", 452, 445, IDB_PAGE_BUTTON},
    {option_window_c::kNext, "btn_next", 564, 445, IDB_PAGE_BUTTON},
    {option_window_c::kClose, "btn_close", 675, 445, IDB_PAGE_BUTTON}};

struct ControlPlace {
  int id;
  int x, y, width, height;
};
// The combo boxes' heights include their dropped lists, so that the volume list shows
// its lines under any common-controls version.
const ControlPlace kControls[] = {
    {option_window_c::kVolumes, 60, 129, 398, 24 + 176}, {option_window_c::kCameras, 60, 204, 398, 300},
    {option_window_c::kPhoto, 92, 270, 70, 24},          {option_window_c::kVideo, 212, 270, 100, 24},
    {option_window_c::kAudio, 352, 270, 100, 24},        {option_window_c::kDestination, 60, 312, 15, 20},
    {option_window_c::kCache, 270, 312, 15, 20},         {option_window_c::kFolder, 60, 340, 400, 18}};

const wchar_t* const kCameraMakes[] = {
    L"General Digital Camera", L"Agfa Digital Camera", L"Argus Digital Camera", L"Canon Digital Camera",
    L"Casio Digital Camera", L"Chinon Epson Digital Camera", L"FujiFilm Digital Camera",
    L"Goldstar Digital Camera", L"HP Digital Camera", L"Hitachi Digital Camera", L"IBM Digital Camera",
    L"Imation Digital Camera", L"JVC Digital Camera", L"Kinon Digital Camera", L"Kodak Digital Camera",
    L"Konica Digital Camera", L"Kyocera Digital Camera", L"LG Digital Camera", L"Leica Digital Camera",
    L"Lexar Digital Camera", L"Lumix Digital Camera", L"Minolta Digital Camera", L"NEC Digital Camera",
    L"Nikon Digital Camera", L"Olympus Digital Camera", L"Panasonic Digital Camera", L"Pentax Digital Camera",
    L"Phillips Digital Camera", L"Polaroid Digital Camera", L"Ricoh Digital Camera", L"Samsung Digital Camera",
    L"SanDisk Digital Camera", L"Sanyo Digital Camera", L"Sharp Digital Camera", L"Sigma Digital Camera",
    L"Sony Digital Camera", L"Toshiba Digital Camera", L"Verbatim Digital Camera", L"Vivitar Digital Camera",
    L"Yashica Digital Camera"};

void copy_ansi(char (&field)[260], const std::string& text) {
  const size_t length = text.size() < sizeof field - 1 ? text.size() : sizeof field - 1;
  memcpy(field, text.data(), length);
  field[length] = '\0';
}

HWND create_control(HWND page, const wchar_t* window_class, const wchar_t* text, DWORD style, int id,
                    DWORD ex_style = 0) {
  return CreateWindowExW(ex_style, window_class, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, page,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

option_window_c::option_window_c() = default;

option_window_c::~option_window_c() {
  for (HBRUSH brush : {static_brush, frame_brush, band_brush})
    if (brush) DeleteObject(brush);
}

LRESULT option_window_c::on_create(UINT, WPARAM, LPARAM, BOOL&) {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_USEREX_CLASSES};
  InitCommonControlsEx(&classes);
  create_controls();
  load_skin_bitmap(background, IDB_PAGE_BACKGROUND);
  load_skin_bitmap(bullet, IDB_BULLET);
  load_skin_bitmap(kind_icons[0], IDB_KIND_PHOTO);
  load_skin_bitmap(kind_icons[1], IDB_KIND_VIDEO);
  load_skin_bitmap(kind_icons[2], IDB_KIND_AUDIO);
  static_brush = CreateSolidBrush(kPageColour);
  frame_brush = CreateSolidBrush(RGB(140, 178, 215));
  band_brush = CreateSolidBrush(RGB(226, 240, 253));
  HWND folder = create_control(m_hWnd, L"EDIT", recovery_path, WS_TABSTOP | ES_AUTOHSCROLL, kFolder);
  // The scan block and the engine take paths of at most 259 characters.
  ::SendMessageW(folder, EM_LIMITTEXT, kSettingsPathChars - 1, 0);
  ::SendMessageW(folder, WM_SETFONT, reinterpret_cast<WPARAM>(application_font(L"Arial", 9, false)), FALSE);
  shows_cache = false;
  return 0;
}

void option_window_c::create_controls() {
  for (int i = 0; i < 6; ++i) {
    bitmap_button_c& button = buttons[i];
    RECT place = {kButtons[i].x, kButtons[i].y, kButtons[i].x + 100, kButtons[i].y + 24};
    button.Create(m_hWnd, place, lookup_text(kButtons[i].key).c_str(), 0, 0, kButtons[i].id);
    button.set_images(kButtons[i].images, kButtons[i].images + 1, kButtons[i].images + 2);
    button.text_font = application_font(L"Verdana", 9, true);
    button.text_color = RGB(255, 255, 255);
  }
  HFONT arial = application_font(L"Arial", 9, false);
  const DWORD reading = right_to_left() ? WS_EX_RTLREADING : 0;
  const struct { int id; const char* key; DWORD style; } boxes[] = {
      {kPhoto, "option_photo", BS_AUTOCHECKBOX | WS_TABSTOP},
      {kVideo, "option_video", BS_AUTOCHECKBOX | WS_TABSTOP},
      {kAudio, "option_audio", BS_AUTOCHECKBOX | WS_TABSTOP},
      {kDestination, nullptr, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
      {kCache, nullptr, BS_AUTORADIOBUTTON}};
  for (const auto& box : boxes) {
    HWND control = create_control(m_hWnd, L"BUTTON", box.key ? lookup_text(box.key).c_str() : L"", box.style,
                                  box.id, box.key ? reading : 0);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(arial), FALSE);
  }
  ::CheckDlgButton(m_hWnd, kDestination, BST_CHECKED);

  HWND volumes = create_control(m_hWnd, L"COMBOBOX", L"", CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP,
                                kVolumes);
  ::SendMessageW(volumes, WM_SETFONT, reinterpret_cast<WPARAM>(arial), FALSE);
  fill_volume_list();
  HWND cameras = create_control(m_hWnd, WC_COMBOBOXEXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kCameras);
  ::SendMessageW(cameras, WM_SETFONT, reinterpret_cast<WPARAM>(arial), FALSE);
  for (const wchar_t* make : kCameraMakes) {
    COMBOBOXEXITEMW item = {};
    item.mask = CBEIF_TEXT;
    item.iItem = -1;
    item.pszText = const_cast<wchar_t*>(make);
    ::SendMessageW(cameras, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  ::SendMessageW(cameras, CB_SETCURSEL, 0, 0);
}

void option_window_c::fill_volume_list() {
  HWND volumes = GetDlgItem(kVolumes);
  ::SendMessageW(volumes, CB_RESETCONTENT, 0, 0);
  for (const VolumeEntry& entry : volume_list)
    ::SendMessageW(volumes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.description.c_str()));
  ::SendMessageW(volumes, CB_SETCURSEL, 0, 0);
}

LRESULT option_window_c::on_size(UINT, WPARAM, LPARAM, BOOL&) {
  for (const ButtonPlace& place : kButtons)
    ::SetWindowPos(GetDlgItem(place.id), nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const ControlPlace& place : kControls)
    ::MoveWindow(GetDlgItem(place.id), place.x, place.y, place.width, place.height, FALSE);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  return 0;
}

LRESULT option_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL&) {
  paint_buffered(m_hWnd, [this](memory_surface& surface, const RECT& client) { paint_page(surface, client); });
  return 0;
}

LRESULT option_window_c::on_ctl_color_static(UINT, WPARAM wparam, LPARAM, BOOL&) {
  SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
  return reinterpret_cast<LRESULT>(static_brush);
}

LRESULT option_window_c::on_command(UINT, WPARAM wparam, LPARAM, BOOL&) {
  switch (LOWORD(wparam)) {
    case kBack: ::SendMessageW(main_window, kShowHomeMessage, 0, 0); break;
    case kNext: next(); break;
    case kClose: ::SendMessageW(main_window, WM_CLOSE, 0, 0); break;
    case kRefresh: enumerate_volumes(); fill_volume_list(); break;
    case kBrowse: browse(); break;
    case kOpen: open_folder(); break;
    case kDestination: switch_folder(false); break;
    case kCache: switch_folder(true); break;
    default: break;
  }
  return 0;
}

void option_window_c::browse() {
  BROWSEINFOW info = {};
  info.hwndOwner = GetActiveWindow();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return;
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(chosen, path)) ::SetDlgItemTextW(m_hWnd, kFolder, path);
  CoTaskMemFree(chosen);
}

void option_window_c::open_folder() {
  wchar_t text[kSettingsPathChars] = {};
  ::GetDlgItemTextW(m_hWnd, kFolder, text, kSettingsPathChars);
  // Only a folder: any other text would be run as a program or document.
  if (!is_directory(text)) return warn("option_no_dir");
  ShellExecuteW(nullptr, nullptr, text, nullptr, nullptr, SW_SHOWNORMAL);
}

void option_window_c::warn(const char* key) { show_user_message(m_hWnd, 1, lookup_text(key).c_str()); }

bool option_window_c::validated_folder(std::wstring& folder) {
  wchar_t text[kSettingsPathChars] = {};
  ::GetDlgItemTextW(m_hWnd, kFolder, text, kSettingsPathChars);
  folder = text;
  std::string ansi;
  if (!is_directory(folder)) {
    warn("option_no_dir");
  } else if (!folder_rules::to_ansi(folder, ansi)) {
    warn("option_path_chars");
  } else {
    return true;
  }
  return false;
}

void option_window_c::store_shown_folder(const std::wstring& folder) {
  wchar_t* setting = shows_cache ? cache_path : recovery_path;
  wcsncpy(setting, folder.c_str(), kSettingsPathChars - 1);
  setting[kSettingsPathChars - 1] = L'\0';
}

void option_window_c::switch_folder(bool to_cache) {
  std::wstring folder;
  if (!validated_folder(folder)) return;
  store_shown_folder(folder);
  save_settings();
  ::SetDlgItemTextW(m_hWnd, kFolder, to_cache ? cache_path : recovery_path);
  shows_cache = to_cache;
}

bool option_window_c::folder_on_scanned_volume(int volume) {
  for (const wchar_t* folder : {cache_path, recovery_path}) {
    if (folder_rules::on_volume(folder_rules::locate(folder), volume_list[volume])) {
      warn("option_same_volume");
      return true;
    }
  }
  return false;
}

void option_window_c::next() {
  HWND volumes = GetDlgItem(kVolumes);
  if (::SendMessageW(volumes, CB_GETCOUNT, 0, 0) <= 0) return warn("no_card");
  ScanRequest request = {};
  request.photo = ::IsDlgButtonChecked(m_hWnd, kPhoto) == BST_CHECKED;
  request.video = ::IsDlgButtonChecked(m_hWnd, kVideo) == BST_CHECKED;
  request.audio = ::IsDlgButtonChecked(m_hWnd, kAudio) == BST_CHECKED;
  if (!request.photo && !request.video && !request.audio) return warn("option_msg");
  std::wstring folder;
  if (!validated_folder(folder)) return;
  store_shown_folder(folder);

  // The folder not shown comes from the settings and may never have been checked.
  std::string cache_ansi, destination_ansi;
  if (!folder_rules::to_ansi(cache_path, cache_ansi) || !folder_rules::to_ansi(recovery_path, destination_ansi))
    return warn("option_path_chars");
  // The list shows volume_list as it was when it was last filled.
  const int volume = static_cast<int>(::SendMessageW(volumes, CB_GETCURSEL, 0, 0));
  if (volume < 0 || volume >= static_cast<int>(volume_list.size())) return warn("no_card");
  if (folder_on_scanned_volume(volume)) return;
  // The next scan's clean-up deletes the cache's scan folders, and with them anything
  // recovered into the cache.
  if (folder_rules::same_or_inside(recovery_path, cache_path)) return warn("next_failed");

  if (!cache_has_room(volume)) {
    std::wstring text = fill_text(lookup_text("cache_msg"),
                                  {format_size(static_cast<std::int64_t>(volume_list[volume].total_bytes))});
    if (text.size() > 127) text.resize(127);
    folder_window_c box(text.c_str());
    if (box.show(m_hWnd) == 2) return;
  }
  copy_ansi(request.cache_folder, cache_ansi);
  copy_ansi(request.volume, wide_to_ansi(volume_list[volume].volume_path));
  save_settings();
  // Handled before the send returns: the recovery page takes its own copy.
  ::SendMessageW(main_window, kShowScanMessage, 1, reinterpret_cast<LPARAM>(&request));
}
