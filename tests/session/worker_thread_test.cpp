// WorkerThread: results, restarts, and an owner that goes away while its thread runs.
#include <gtest/gtest.h>

#include "session/worker_thread.h"

namespace {
struct Gate {
  HANDLE open = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  volatile LONG finished = 0;
  int value = 0;
  ~Gate() {
    CloseHandle(open);
    CloseHandle(entered);
  }
};

int gated(void* argument) {
  Gate* gate = static_cast<Gate*>(argument);
  SetEvent(gate->entered);
  WaitForSingleObject(gate->open, INFINITE);
  InterlockedIncrement(&gate->finished);
  return gate->value;
}
}  // namespace

TEST(WorkerThread, ReturnsResultAndRestartsOnlyAfterTheThreadEnded) {
  Gate gate;
  gate.value = 7;
  WorkerThread worker(gated, &gate);
  EXPECT_TRUE(worker.wait(0)) << "no thread yet";
  ASSERT_EQ(worker.start(), 0);
  WaitForSingleObject(gate.entered, INFINITE);
  EXPECT_FALSE(worker.wait(50));
  EXPECT_EQ(worker.start(), -1) << "a second thread while the first runs";
  SetEvent(gate.open);
  ASSERT_TRUE(worker.wait(10000));
  EXPECT_EQ(worker.result(), 7);
  worker.close_handle();
  EXPECT_FALSE(worker.has_thread());

  gate.value = -1;
  ASSERT_EQ(worker.start(), 0);
  ASSERT_TRUE(worker.wait(10000));
  EXPECT_EQ(worker.result(), -1);
  EXPECT_EQ(gate.finished, 2);
}

TEST(WorkerThread, OwnerDestroyedWhileThreadRunsLeavesTheThreadToFinish) {
  Gate gate;
  HANDLE thread = nullptr;
  {
    WorkerThread worker(gated, &gate);
    ASSERT_EQ(worker.start(), 0);
    DuplicateHandle(GetCurrentProcess(), worker.handle(), GetCurrentProcess(), &thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    WaitForSingleObject(gate.entered, INFINITE);
  }
  SetEvent(gate.open);
  ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(gate.finished, 1);
  CloseHandle(thread);

  WorkerThread never_started(gated, &gate);  // its state is freed without a thread
}
