// The owner side of one background thread. The owner and the thread share a
// flag and a mutex; whichever of the two lets go last frees the shared state
// and the task record, so an owner may be destroyed while its thread runs.
#pragma once
#include <windows.h>

using WorkerProc = int (*)(void* argument);

struct WorkerShared {
  LONG flag;     // 1 while both sides hold the shared state
  HANDLE mutex;  // guards the hand-over
};

struct WorkerTask {
  int result;
  void* argument;
  WorkerProc procedure;
  WorkerShared* shared;
};

class WorkerThread {
 public:
  WorkerThread(WorkerProc procedure, void* argument);
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs the task on a new thread. Returns 0, or -1 when the previous thread
  // is still running or no thread could be created.
  int start();
  // True when a thread was started and its handle is still held.
  bool has_thread() const { return handle_ != nullptr; }
  // Waits up to `ms` for the thread; true when it has ended (or there is none).
  bool wait(DWORD ms) const;
  // Closes the handle of an ended thread.
  void close_handle();
  HANDLE handle() const { return handle_; }
  // The procedure's return value; meaningful once the thread has ended.
  int result() const { return task_->result; }

 private:
  HANDLE handle_ = nullptr;
  WorkerTask* task_;
  bool started_ = false;
};
