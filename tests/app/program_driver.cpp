#include "program_driver.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace driver {

bool wait_until(const std::function<bool()>& done, DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start > ms) return false;
    Sleep(50);
  }
}

program::~program() {
  kill();
  if (process_.hThread) CloseHandle(process_.hThread);
  if (process_.hProcess) CloseHandle(process_.hProcess);
}

bool program::launch() {
  std::wstring command = L"\"" + exe_ + L"\"";
  STARTUPINFOW startup = {sizeof startup};
  return CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_);
}

bool program::start() {
  if (!launch()) return false;
  const DWORD id = process_.dwProcessId;
  return wait_until([&] {
    HWND found = nullptr;
    while ((found = FindWindowExW(nullptr, found, L"MainWindow", L"Tessaline")) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(found, &owner);
      if (owner == id && IsWindowVisible(found)) {
        main_ = found;
        return true;
      }
    }
    return false;
  }, 30000);
}

DWORD program::wait_exit(DWORD ms) {
  if (!process_.hProcess) return 0;
  WaitForSingleObject(process_.hProcess, ms);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

void program::kill() {
  if (process_.hProcess && wait_exit(0) == STILL_ACTIVE) {
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, 5000);
  }
}

HWND program::page(const wchar_t* class_name) const { return FindWindowExW(main_, nullptr, class_name, nullptr); }

namespace {
struct box_search {
  DWORD process;
  HWND found;
};
BOOL CALLBACK find_box(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<box_search*>(parameter);
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process || lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}
}  // namespace

HWND program::message_box() const {
  box_search search = {process_.dwProcessId, nullptr};
  EnumWindows(find_box, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void press(HWND page, int id) {
  PostMessageW(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
}

void set_check(HWND page, int id, bool checked) {
  SendMessageW(GetDlgItem(page, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::wstring text_of(HWND window) {
  wchar_t text[1024] = {};
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

bool visible(HWND page, int id) { return IsWindowVisible(GetDlgItem(page, id)) != FALSE; }

std::vector<HTREEITEM> tree_children(HWND tree, HTREEITEM parent) {
  std::vector<HTREEITEM> items;
  HTREEITEM item = reinterpret_cast<HTREEITEM>(
      SendMessageW(tree, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT, reinterpret_cast<LPARAM>(parent)));
  while (item) {
    items.push_back(item);
    item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
  }
  return items;
}

std::wstring tree_text(HWND tree, HTREEITEM item) {
  DWORD id = 0;
  GetWindowThreadProcessId(tree, &id);
  HANDLE other = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
  if (!other) return L"";
  const size_t text_chars = 64;
  auto* remote = static_cast<char*>(
      VirtualAllocEx(other, nullptr, sizeof(TVITEMW) + text_chars * 2, MEM_COMMIT, PAGE_READWRITE));
  std::wstring text;
  if (remote) {
    TVITEMW query = {};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(TVITEMW));
    query.cchTextMax = text_chars;
    WriteProcessMemory(other, remote, &query, sizeof query, nullptr);
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote));
    wchar_t buffer[text_chars] = {};
    ReadProcessMemory(other, remote + sizeof(TVITEMW), buffer, sizeof buffer, nullptr);
    buffer[text_chars - 1] = 0;
    text = buffer;
    VirtualFreeEx(other, remote, 0, MEM_RELEASE);
  }
  CloseHandle(other);
  return text;
}

namespace {
picture grab_screen(const RECT& r) {
  picture p;
  p.width = r.right - r.left;
  p.height = r.bottom - r.top;
  if (p.width <= 0 || p.height <= 0) return p;
  p.pixels.resize(static_cast<size_t>(p.width) * p.height);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), p.width, -p.height, 1, 32, BI_RGB};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::memcpy(p.pixels.data(), bits, p.pixels.size() * 4);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return p;
}
}  // namespace

picture grab_client(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return grab_screen(r);
}

picture grab_window(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return grab_screen(r);
}

picture program_bitmap(const std::wstring& exe, int id) {
  picture p;
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return p;
  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  BITMAP info = {};
  if (bitmap && GetObjectW(bitmap, sizeof info, &info)) {
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), info.bmWidth, -info.bmHeight, 1, 32, BI_RGB};
    p.width = info.bmWidth;
    p.height = info.bmHeight;
    p.pixels.resize(static_cast<size_t>(p.width) * p.height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, p.height, p.pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (DWORD& pixel : p.pixels) pixel &= 0xFFFFFF;
  }
  if (bitmap) DeleteObject(bitmap);
  FreeLibrary(module);
  return p;
}

bool differs(const picture& whole, int x, int y, const picture& part) {
  int compared = 0, different = 0;
  for (int j = 0; j < part.height && y + j < whole.height; j += 3)
    for (int i = 0; i < part.width && x + i < whole.width; i += 3) {
      ++compared;
      different += (whole.at(x + i, y + j) & 0xFFFFFF) != part.at(i, j);
    }
  return compared > 0 && different * 2 > compared;
}

bool save_bmp(const picture& p, const std::wstring& path) {
  const int row = (p.width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {sizeof info, p.width, p.height, 1, 24, BI_RGB};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + row * p.height;
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (!out) return false;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info, sizeof info, 1, out);
  std::vector<unsigned char> line(row, 0);
  for (int y = p.height - 1; y >= 0; --y) {
    for (int x = 0; x < p.width; ++x) {
      const DWORD c = p.at(x, y);
      line[x * 3] = c & 0xFF;
      line[x * 3 + 1] = (c >> 8) & 0xFF;
      line[x * 3 + 2] = (c >> 16) & 0xFF;
    }
    std::fwrite(line.data(), 1, row, out);
  }
  return std::fclose(out) == 0;
}

int count_processes(const wchar_t* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  PROCESSENTRY32W entry = {sizeof entry};
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (lstrcmpiW(entry.szExeFile, name) == 0) ++count;
  CloseHandle(snapshot);
  return count;
}

}  // namespace driver
