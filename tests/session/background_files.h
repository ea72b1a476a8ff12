// Headers complemented as the engine writes them, and a message recorder, for
// the background-work tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "common/test_files.h"
#include "session/user_message.h"

inline std::string complemented(std::string bytes) {
  for (size_t i = 0; i < bytes.size() && i < 16; ++i) bytes[i] = static_cast<char>(~bytes[i]);
  return bytes;
}

// Records every message instead of showing it.
struct ShownMessage {
  HWND owner;
  int mode;
  std::wstring text;
};

class MessageRecorder {
 public:
  MessageRecorder() { previous_ = set_user_message_function(&record); shown().clear(); }
  ~MessageRecorder() { set_user_message_function(previous_); }
  static std::vector<ShownMessage>& shown() {
    static std::vector<ShownMessage> messages;
    return messages;
  }

 private:
  static int record(HWND owner, int mode, const wchar_t* text) {
    shown().push_back({owner, mode, text});
    return 1;
  }
  UserMessageFunction previous_;
};
