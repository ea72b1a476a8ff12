// The thread's message loop with message filters (a chance to translate a message
// before it is dispatched, e.g. dialog keys) and idle handlers (run when the queue
// runs dry).
#pragma once
#include <windows.h>

#include <vector>

namespace WTL {

class CMessageFilter {
 public:
  // True when the message was translated and must not be dispatched.
  virtual BOOL PreTranslateMessage(MSG* pMsg) = 0;
};

class CIdleHandler {
 public:
  // The return value is ignored; every handler runs once per idle period.
  virtual BOOL OnIdle() = 0;
};

class CMessageLoop {
 public:
  virtual ~CMessageLoop() {}

  BOOL AddMessageFilter(CMessageFilter* filter);
  BOOL RemoveMessageFilter(CMessageFilter* filter);
  BOOL AddIdleHandler(CIdleHandler* handler);
  BOOL RemoveIdleHandler(CIdleHandler* handler);

  // Runs until WM_QUIT; returns its exit code.
  int Run();

  // Filters are asked last-added first; the first that translates the message wins.
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  // Calls every idle handler once; FALSE ends the idle period until the next message.
  virtual BOOL OnIdle(int idleCount);
  // Messages that don't end an idle period (mouse moves, timer ticks, repaint...).
  static BOOL IsIdleMessage(const MSG* pMsg);

  MSG m_msg = {};

 private:
  std::vector<CMessageFilter*> m_aMsgFilter;
  std::vector<CIdleHandler*> m_aIdleHandler;
};

}  // namespace WTL

using WTL::CIdleHandler;
using WTL::CMessageFilter;
using WTL::CMessageLoop;
