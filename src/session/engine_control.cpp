#include "session/engine_control.h"

void pause_engine(ScanSession& block) {
  if (read_flag(block.pause)) return;
  write_flag(block.pause, 1);
  if (block.thread) SuspendThread(block.thread);
}

void resume_engine(ScanSession& block) {
  if (!read_flag(block.pause)) return;
  write_flag(block.pause, 0);
  if (block.thread) ResumeThread(block.thread);
}

void stop_engine(ScanSession& block) {
  // A full barrier: the launch thread stores the process handle, then reads the flag.
  InterlockedExchange(reinterpret_cast<volatile LONG*>(&block.stop), 1);
  resume_engine(block);
  if (block.process) TerminateProcess(block.process, 0xFFFFFFFF);
}

void release_engine_handles(ScanSession& block) {
  if (block.process) CloseHandle(block.process);
  if (block.thread) CloseHandle(block.thread);
  block.process = nullptr;
  block.thread = nullptr;
  block.process_id = 0;
  block.thread_id = 0;
}
