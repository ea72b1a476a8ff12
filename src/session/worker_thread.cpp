#include "session/worker_thread.h"

#include <process.h>

namespace {
void free_task(WorkerTask* task) {
  CloseHandle(task->shared->mutex);
  delete task->shared;
  delete task;
}

// Clears the shared flag when the other side still holds the state;
// otherwise this side is the last one and frees it.
void let_go(WorkerTask* task) {
  WorkerShared* shared = task->shared;
  WaitForSingleObject(shared->mutex, INFINITE);
  if (shared->flag) {
    shared->flag = 0;
    ReleaseMutex(shared->mutex);
  } else {
    ReleaseMutex(shared->mutex);
    free_task(task);
  }
}

unsigned __stdcall run_task(void* argument) {
  WorkerTask* task = static_cast<WorkerTask*>(argument);
  int result = task->procedure(task->argument);
  task->result = result;
  let_go(task);
  return static_cast<unsigned>(result);
}
}  // namespace

WorkerThread::WorkerThread(WorkerProc procedure, void* argument)
    : task_(new WorkerTask{0, argument, procedure, new WorkerShared{1, nullptr}}) {
  task_->shared->mutex = CreateMutexW(nullptr, FALSE, nullptr);
}

WorkerThread::~WorkerThread() {
  if (handle_) CloseHandle(handle_);
  if (!started_) {
    free_task(task_);  // no thread ever shared the state
    return;
  }
  let_go(task_);
}

int WorkerThread::start() {
  WorkerShared* shared = task_->shared;
  WaitForSingleObject(shared->mutex, INFINITE);
  bool busy = started_ && shared->flag;  // the last thread has not let go yet
  if (!busy) shared->flag = 1;
  ReleaseMutex(shared->mutex);
  if (busy) return -1;

  if (handle_) close_handle();
  task_->result = 0;
  uintptr_t h = _beginthreadex(nullptr, 0, run_task, task_, 0, nullptr);
  if (!h) {
    shared->flag = 0;  // no thread holds the state
    return -1;
  }
  handle_ = reinterpret_cast<HANDLE>(h);
  started_ = true;
  return 0;
}

bool WorkerThread::wait(DWORD ms) const {
  return !handle_ || WaitForSingleObject(handle_, ms) == WAIT_OBJECT_0;
}

void WorkerThread::close_handle() {
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
}
