// The thumbnail worker started as at start-up, running on its own thread.
#include <gtest/gtest.h>

#include <cstring>

#include "background_files.h"
#include "session/found_file_list.h"
#include "session/thumbnail_worker.h"

TEST(ThumbnailWorkerThread, StartedWorkerHandlesAppendedFiles) {
  ScratchFolder cache("start");
  put_file(cache / "s1.jpg", get_file("media\\photo.jpg"));
  put_file(cache / "s2.png", get_file("media\\photo.png"));  // through GDI+ on the worker
  reset_found_files();
  ASSERT_TRUE(start_thumbnail_worker(1048576000ull));
  append_found_file((cache / "s1.jpg").c_str());
  append_found_file((cache / "s2.png").c_str());
  bool handled = false;
  for (int waited = 0; !handled && waited < 30000; waited += 20) {
    Sleep(20);
    ListLock hold;
    handled = g_found_files.thumbnail_cursor == 2;
  }
  ASSERT_TRUE(handled);
  ListLock hold;
  EXPECT_EQ(320, g_found_files.records[0].width);
  EXPECT_EQ(200, g_found_files.records[1].width);
  EXPECT_TRUE(exists(cache / "thumb_s1.png"));
  EXPECT_TRUE(exists(cache / "thumb_s2.png"));
}
