#include "framework/module.h"

WTL::AppModule g_module;

namespace WTL {

HRESULT AppModule::Init(void*, HINSTANCE instance, const GUID*) {
  std::lock_guard<std::mutex> guard(lock_);
  instance_ = instance;
  return S_OK;
}

void AppModule::Term() {
  std::lock_guard<std::mutex> guard(lock_);
  loops_.clear();
}

HINSTANCE AppModule::GetModuleInstance() const {
  std::lock_guard<std::mutex> guard(lock_);
  return instance_ ? instance_ : ::GetModuleHandleW(nullptr);
}

HINSTANCE AppModule::GetResourceInstance() const { return GetModuleInstance(); }

BOOL AppModule::AddMessageLoop(MessageLoop* loop) {
  if (!loop) return FALSE;
  std::lock_guard<std::mutex> guard(lock_);
  return loops_.emplace(::GetCurrentThreadId(), loop).second;
}

BOOL AppModule::RemoveMessageLoop() {
  std::lock_guard<std::mutex> guard(lock_);
  return loops_.erase(::GetCurrentThreadId()) == 1;
}

MessageLoop* AppModule::GetMessageLoop(DWORD threadId) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = loops_.find(threadId);
  return it == loops_.end() ? nullptr : it->second;
}

}  // namespace WTL
