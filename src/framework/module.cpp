#include "framework/module.h"

WTL::CAppModule _Module;

namespace WTL {

HRESULT CAppModule::Init(void*, HINSTANCE instance, const GUID*) {
  std::lock_guard<std::mutex> guard(lock_);
  instance_ = instance;
  return S_OK;
}

void CAppModule::Term() {
  std::lock_guard<std::mutex> guard(lock_);
  loops_.clear();
}

HINSTANCE CAppModule::GetModuleInstance() const {
  std::lock_guard<std::mutex> guard(lock_);
  return instance_ ? instance_ : ::GetModuleHandleW(nullptr);
}

HINSTANCE CAppModule::GetResourceInstance() const { return GetModuleInstance(); }

BOOL CAppModule::AddMessageLoop(CMessageLoop* loop) {
  if (!loop) return FALSE;
  std::lock_guard<std::mutex> guard(lock_);
  return loops_.emplace(::GetCurrentThreadId(), loop).second;
}

BOOL CAppModule::RemoveMessageLoop() {
  std::lock_guard<std::mutex> guard(lock_);
  return loops_.erase(::GetCurrentThreadId()) == 1;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = loops_.find(threadId);
  return it == loops_.end() ? nullptr : it->second;
}

}  // namespace WTL
