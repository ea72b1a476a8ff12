// The application's module object: its instance handles and the table of message
// loops, one per thread, through which windows find the loop of their own thread.
#pragma once
#include <windows.h>

#include <map>
#include <mutex>

#include "framework/message_loop.h"

namespace WTL {

class AppModule {
 public:
  // Records the instance (null: the executable). The first two arguments exist for
  // the usual call form Init(NULL, hInstance).
  HRESULT Init(void* objectMap, HINSTANCE instance, const GUID* libId = nullptr);
  // Forgets every registered loop.
  void Term();

  HINSTANCE GetModuleInstance() const;
  HINSTANCE GetResourceInstance() const;

  // One loop per thread: adding a second for the same thread fails.
  BOOL AddMessageLoop(MessageLoop* loop);
  BOOL RemoveMessageLoop();
  MessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId()) const;

 private:
  HINSTANCE instance_ = nullptr;
  mutable std::mutex lock_;
  std::map<DWORD, MessageLoop*> loops_;
};

}  // namespace WTL

using WTL::AppModule;

// The process's module object.
extern WTL::AppModule g_module;
