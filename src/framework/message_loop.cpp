#include "framework/message_loop.h"

#include <algorithm>

namespace WTL {

namespace {
template <class T>
BOOL add_unique(std::vector<T*>& list, T* item) {
  if (!item || std::find(list.begin(), list.end(), item) != list.end()) return FALSE;
  list.push_back(item);
  return TRUE;
}
template <class T>
BOOL remove_item(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return FALSE;
  list.erase(it);
  return TRUE;
}
}  // namespace

BOOL MessageLoop::AddMessageFilter(MessageFilter* filter) { return add_unique(m_aMsgFilter, filter); }
BOOL MessageLoop::RemoveMessageFilter(MessageFilter* filter) { return remove_item(m_aMsgFilter, filter); }
BOOL MessageLoop::AddIdleHandler(IdleHandler* handler) { return add_unique(m_aIdleHandler, handler); }
BOOL MessageLoop::RemoveIdleHandler(IdleHandler* handler) { return remove_item(m_aIdleHandler, handler); }

int MessageLoop::Run() {
  bool idle = true;
  int idleCount = 0;
  for (;;) {
    while (idle && !::PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(idleCount++)) idle = false;
    }
    BOOL got = ::GetMessageW(&m_msg, nullptr, 0, 0);
    if (got == -1) continue;  // an invalid window filter; nothing to dispatch
    if (!got) break;          // WM_QUIT
    if (!PreTranslateMessage(&m_msg)) {
      ::TranslateMessage(&m_msg);
      ::DispatchMessageW(&m_msg);
    }
    if (IsIdleMessage(&m_msg)) {
      idle = true;
      idleCount = 0;
    }
  }
  return static_cast<int>(m_msg.wParam);
}

BOOL MessageLoop::PreTranslateMessage(MSG* pMsg) {
  // Indexed from the end: a filter may remove itself (or others) while it runs.
  for (size_t i = m_aMsgFilter.size(); i > 0; --i) {
    if (i > m_aMsgFilter.size()) continue;
    if (m_aMsgFilter[i - 1]->PreTranslateMessage(pMsg)) return TRUE;
  }
  return FALSE;
}

BOOL MessageLoop::OnIdle(int) {
  std::vector<IdleHandler*> handlers = m_aIdleHandler;
  for (IdleHandler* handler : handlers) {
    if (std::find(m_aIdleHandler.begin(), m_aIdleHandler.end(), handler) != m_aIdleHandler.end())
      handler->OnIdle();
  }
  return FALSE;  // one pass per idle period
}

BOOL MessageLoop::IsIdleMessage(const MSG* pMsg) {
  switch (pMsg->message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case 0x0118:  // WM_SYSTIMER (caret blink)
      return FALSE;
  }
  return TRUE;
}

}  // namespace WTL
