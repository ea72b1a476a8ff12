// Driving the real Tessaline.exe from a second process, as a user would: its windows
// found by class, buttons pressed by posted commands, the tree read through memory in
// the program's process, and the screen read back for pictures and screenshots.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace driver {

// Polls `done` every 50 ms for up to `ms`; true once it held.
bool wait_until(const std::function<bool()>& done, DWORD ms);

// The program: started, found and ended.
class program {
 public:
  explicit program(const std::wstring& exe) : exe_(exe) {}
  ~program();
  // Starts the program and waits for its main window; false when it never showed.
  bool start();
  // Starts the program without waiting for anything; false when it cannot be started.
  bool launch();
  // Waits for the process to end; its exit code, or STILL_ACTIVE after `ms`.
  DWORD wait_exit(DWORD ms);
  void kill();
  HWND main() const { return main_; }
  HANDLE process() const { return process_.hProcess; }
  // A child page of the main window by its class name (HomeWindow, OptionWindow, ...).
  HWND page(const wchar_t* class_name) const;
  // The first visible modal box of the program (class #32770), or null.
  HWND message_box() const;

 private:
  std::wstring exe_;
  PROCESS_INFORMATION process_ = {};
  HWND main_ = nullptr;
};

// Sends a button command as the control would, without waiting for its handling (a
// command may open a modal box).
void press(HWND page, int id);
void set_check(HWND page, int id, bool checked);
std::wstring text_of(HWND window);
bool visible(HWND page, int id);

// Tree items of a tree view in another process.
std::vector<HTREEITEM> tree_children(HWND tree, HTREEITEM parent);  // parent null: roots
std::wstring tree_text(HWND tree, HTREEITEM item);

// The pixels of a window's client area as they are on the screen (top-down 0x00RRGGBB).
struct picture {
  int width = 0, height = 0;
  std::vector<DWORD> pixels;
  DWORD at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
picture grab_client(HWND window);
picture grab_window(HWND window);
// Bitmap resource `id` of the executable `exe`; empty when it has none.
picture program_bitmap(const std::wstring& exe, int id);
// True when most pixels of `part`, placed at (x, y) in `whole`, differ from it.
bool differs(const picture& whole, int x, int y, const picture& part);
// Writes `p` as a 24-bit BMP file; true when written.
bool save_bmp(const picture& p, const std::wstring& path);

// Processes whose executable name is `name` (case-insensitive).
int count_processes(const wchar_t* name);

}  // namespace driver
