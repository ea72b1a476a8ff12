// The thread's message loop with message filters (a chance to translate a message
// before it is dispatched, e.g. dialog keys) and idle handlers (run when the queue
// runs dry).
#pragma once
#include <windows.h>

#include <vector>

namespace WTL {

class MessageFilter {
 public:
  // True when the message was translated and must not be dispatched.
  virtual BOOL PreTranslateMessage(MSG* pMsg) = 0;
};

class IdleHandler {
 public:
  // The return value is ignored; every handler runs once per idle period.
  virtual BOOL OnIdle() = 0;
};

class MessageLoop {
 public:
  virtual ~MessageLoop() {}

  BOOL AddMessageFilter(MessageFilter* filter);
  BOOL RemoveMessageFilter(MessageFilter* filter);
  BOOL AddIdleHandler(IdleHandler* handler);
  BOOL RemoveIdleHandler(IdleHandler* handler);

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
  std::vector<MessageFilter*> m_aMsgFilter;
  std::vector<IdleHandler*> m_aIdleHandler;
};

}  // namespace WTL

using WTL::IdleHandler;
using WTL::MessageFilter;
using WTL::MessageLoop;
