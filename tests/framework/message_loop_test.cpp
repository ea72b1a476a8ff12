// The message loop with filters and idle handlers, and the module's table of loops.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "framework/module.h"
#include "framework/window.h"

namespace {

constexpr UINT kPing = WM_USER + 20;

class ping_window : public CWindowImpl<ping_window, CWindow, FrameTraits> {
 public:
  std::vector<WPARAM> dispatched;
  BEGIN_MSG_MAP(ping_window)
    MESSAGE_HANDLER(kPing, on_ping)
  END_MSG_MAP()
  LRESULT on_ping(UINT, WPARAM wParam, LPARAM, BOOL&) {
    dispatched.push_back(wParam);
    return 0;
  }
};

// Records what it sees and eats pings with one chosen parameter.
class eating_filter : public MessageFilter {
 public:
  eating_filter(std::vector<int>* order, int name, WPARAM eats) : order_(order), name_(name), eats_(eats) {}
  BOOL PreTranslateMessage(MSG* msg) override {
    if (msg->message != kPing) return FALSE;
    order_->push_back(name_);
    return msg->wParam == eats_;
  }

 private:
  std::vector<int>* order_;
  int name_;
  WPARAM eats_;
};

// On the first idle period sends the pings; on the next ends the loop.
class scripted_idle : public IdleHandler {
 public:
  scripted_idle(HWND target) : target_(target) {}
  int calls = 0;
  BOOL OnIdle() override {
    if (++calls == 1) {
      for (WPARAM i = 1; i <= 3; ++i) ::PostMessageW(target_, kPing, i, 0);
    } else {
      ::PostQuitMessage(17);
    }
    return FALSE;
  }

 private:
  HWND target_;
};

TEST(MessageLoop, FiltersTranslateBeforeDispatchAndIdleHandlersRunWhenQueueEmpties) {
  ping_window window;
  ASSERT_NE(window.Create(nullptr, nullptr, L"loop"), nullptr);
  std::vector<int> order;
  eating_filter older(&order, 1, 3);
  eating_filter newer(&order, 2, 2);
  scripted_idle idle(window);
  MessageLoop loop;
  EXPECT_TRUE(loop.AddMessageFilter(&older));
  EXPECT_TRUE(loop.AddMessageFilter(&newer));
  EXPECT_FALSE(loop.AddMessageFilter(&newer));  // once only
  EXPECT_TRUE(loop.AddIdleHandler(&idle));

  EXPECT_EQ(loop.Run(), 17);
  // Ping 1 passes both filters (newest first); 2 is eaten by the newer; 3 by the older.
  EXPECT_EQ(order, (std::vector<int>{2, 1, 2, 2, 1}));
  EXPECT_EQ(window.dispatched, std::vector<WPARAM>{1});
  EXPECT_GE(idle.calls, 2);

  // Removed filters and handlers are no longer called.
  EXPECT_TRUE(loop.RemoveMessageFilter(&newer));
  EXPECT_FALSE(loop.RemoveMessageFilter(&newer));
  EXPECT_TRUE(loop.RemoveIdleHandler(&idle));
  order.clear();
  window.PostMessage(kPing, 2);
  ::PostQuitMessage(3);
  EXPECT_EQ(loop.Run(), 3);
  EXPECT_EQ(order, std::vector<int>{1});
  EXPECT_EQ(window.dispatched, (std::vector<WPARAM>{1, 2}));
  window.DestroyWindow();
}

TEST(Module, KeepsOneLoopPerThread) {
  MessageLoop main_loop;
  MessageLoop other_loop;
  ASSERT_TRUE(g_module.AddMessageLoop(&main_loop));
  EXPECT_FALSE(g_module.AddMessageLoop(&other_loop));
  EXPECT_EQ(g_module.GetMessageLoop(), &main_loop);

  DWORD main_thread = ::GetCurrentThreadId();
  MessageLoop* seen_from_worker = &other_loop;
  MessageLoop* main_seen_from_worker = nullptr;
  BOOL worker_added = FALSE;
  std::thread worker([&] {
    seen_from_worker = g_module.GetMessageLoop();
    worker_added = g_module.AddMessageLoop(&other_loop);
    main_seen_from_worker = g_module.GetMessageLoop(main_thread);
    g_module.RemoveMessageLoop();
  });
  worker.join();
  EXPECT_EQ(seen_from_worker, nullptr);
  EXPECT_TRUE(worker_added);
  EXPECT_EQ(main_seen_from_worker, &main_loop);

  EXPECT_TRUE(g_module.RemoveMessageLoop());
  EXPECT_FALSE(g_module.RemoveMessageLoop());
  EXPECT_EQ(g_module.GetMessageLoop(), nullptr);
  EXPECT_EQ(g_module.GetModuleInstance(), ::GetModuleHandleW(nullptr));
}

}  // namespace
