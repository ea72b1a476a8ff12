// Recovering selected files from a real cache folder into a real destination folder.
#include "session/recover.h"

#include <gtest/gtest.h>

#include <cstring>

#include "background_files.h"
#include "base/settings.h"
#include "common/wine_drive.h"
#include "i18n/language.h"
#include "session/found_file_list.h"

namespace {

// A cache with files appended the way a scan appends them (headers complemented on
// disk) and a destination folder set as the recovery path.
class Recovery : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryA(destination_folder().c_str(), nullptr);
    wcscpy(recovery_path, (cache_.wide() + L"\\dest").c_str());
    text_table["recovery_failed_code1"] = L"Cannot read the cached file.";
    text_table["recovery_failed_code2"] = L"Cannot create the destination file.";
    text_table["recovery_failed_code3"] = L"The destination is full.";
    reset_found_files();
  }
  void TearDown() override { reset_found_files(); }

  std::string destination_folder() const { return cache_ / "dest"; }
  std::string destination(const char* name) const { return destination_folder() + "\\" + name; }

  // Appends a cached file holding `content`; returns its list index.
  uint32_t add(const std::string& name, const std::string& content, bool selected = true) {
    std::string path = cache_ / name;
    put_file(path, content);
    append_found_file(path.c_str());
    ListLock hold;
    g_found_files.records.back().selected = selected;
    return static_cast<uint32_t>(g_found_files.records.size() - 1);
  }

  static std::string sample(char seed, size_t size = 20000) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 31 + (i >> 8));
    return bytes;
  }

  ScratchFolder cache_{"recover"};
  MessageRecorder messages_;
};

std::string unix_path(const std::string& path) {
  return wine_drive::unix_path_of(std::wstring(path.begin(), path.end()));
}
using wine_drive::run_on_host;

}  // namespace

TEST_F(Recovery, CopiesAreByteForByteOriginalsUnderIndexNames) {
  std::string first = sample('a'), second = sample('b', 8192 * 3 + 5);
  add("f0.jpg", first);
  add("f1.nef", second, false);
  add("f2.nef", second);
  EXPECT_EQ(2, recover_selected_thread(nullptr));
  EXPECT_TRUE(first == get_file(destination("FILE00000.jpg")));
  EXPECT_FALSE(exists(destination("FILE00001.nef"))) << "not selected";
  EXPECT_TRUE(second == get_file(destination("FILE00002.nef")));
  EXPECT_TRUE(complemented(first) == get_file(cache_ / "f0.jpg")) << "the cache stays as it was";
  EXPECT_TRUE(MessageRecorder::shown().empty());
  // Again: the same names are overwritten; a 10-byte file comes back restored whole.
  uint32_t tiny = add("tiny.jpg", "0123456789");
  EXPECT_EQ(3, recover_selected_thread(nullptr));
  EXPECT_TRUE(first == get_file(destination("FILE00000.jpg")));
  EXPECT_EQ("0123456789", get_file(destination(("FILE0000" + std::to_string(tiny) + ".jpg").c_str())));
}

TEST_F(Recovery, NothingSelectedFallsBackToTheCurrentItemOnly) {
  add("a.jpg", sample('a'), false);
  add("b.jpg", sample('b'), false);
  EXPECT_EQ(0, recover_selected_thread(nullptr)) << "no selection, no current item";
  EXPECT_FALSE(exists(destination("FILE00000.jpg")));
  {
    ListLock hold;
    g_found_files.current_item = 1;
  }
  EXPECT_EQ(1, recover_selected_thread(nullptr));
  EXPECT_FALSE(exists(destination("FILE00000.jpg")));
  EXPECT_TRUE(sample('b') == get_file(destination("FILE00001.jpg")));
  EXPECT_TRUE(MessageRecorder::shown().empty());
}

TEST_F(Recovery, CurrentItemOutsideTheListIsNoItem) {
  add("a.jpg", sample('a'), false);
  {
    ListLock hold;
    g_found_files.current_item = 5;  // focused in a longer list, cleared since
  }
  EXPECT_EQ(0, recover_selected_thread(nullptr));
  EXPECT_TRUE(MessageRecorder::shown().empty()) << "nothing failed: there was nothing to copy";
}

// The options page changing the destination while a run is under way (here: while the
// run's first failure is shown) doesn't move the rest of the run.
static wchar_t g_moved_destination[MAX_PATH];
static int move_destination(HWND, int, const wchar_t*) {
  wcscpy(recovery_path, g_moved_destination);
  return 1;
}

TEST_F(Recovery, OneDestinationForTheWholeRun) {
  add("a.jpg", sample('a'));
  add("b.jpg", sample('b'));
  DeleteFileA((cache_ / "a.jpg").c_str());
  std::string moved = cache_ / "moved";
  CreateDirectoryA(moved.c_str(), nullptr);
  wcscpy(g_moved_destination, (cache_.wide() + L"\\moved").c_str());
  UserMessageFunction previous = set_user_message_function(move_destination);
  EXPECT_EQ(1, recover_selected_thread(nullptr));
  set_user_message_function(previous);
  EXPECT_TRUE(sample('b') == get_file(destination("FILE00001.jpg")));
  EXPECT_FALSE(exists(moved + "\\FILE00001.jpg"));
}

TEST_F(Recovery, OnlyRealCopiesCountAndOnlyTheFirstFailureIsShown) {
  show_recovery_failure(nullptr, 4);  // codes without a text show nothing
  EXPECT_TRUE(MessageRecorder::shown().empty());
  add("a.jpg", sample('a'));
  add("b.jpg", sample('b'));
  add("c.jpg", sample('c'));
  DeleteFileA((cache_ / "b.jpg").c_str());
  EXPECT_EQ(2, recover_selected_thread(nullptr));
  ASSERT_EQ(1u, MessageRecorder::shown().size());
  EXPECT_EQ(2, MessageRecorder::shown()[0].mode);
  EXPECT_EQ(L"Cannot read the cached file.", MessageRecorder::shown()[0].text);

  MessageRecorder::shown().clear();
  DeleteFileA((cache_ / "a.jpg").c_str());
  EXPECT_EQ(1, recover_selected_thread(nullptr)) << "the first two fail, one is copied";
  EXPECT_EQ(1u, MessageRecorder::shown().size());

  // Every selected file fails: nothing counted, and the focused item isn't copied instead.
  MessageRecorder::shown().clear();
  DeleteFileA((cache_ / "c.jpg").c_str());
  DeleteFileA(destination("FILE00002.jpg").c_str());
  {
    ListLock hold;
    g_found_files.current_item = 2;
  }
  EXPECT_EQ(0, recover_selected_thread(nullptr));
  EXPECT_EQ(1u, MessageRecorder::shown().size());
  EXPECT_FALSE(exists(destination("FILE00002.jpg")));
}

TEST_F(Recovery, MissingDestinationFolderIsCodeTwoForEveryFile) {
  add("a.jpg", sample('a'));
  add("b.jpg", sample('b'));
  wcscpy(recovery_path, (cache_.wide() + L"\\no-such-folder").c_str());
  EXPECT_EQ(2, recover_file(0));
  EXPECT_EQ(2, recover_file(1));
  EXPECT_EQ(0, recover_selected_thread(nullptr));
  ASSERT_EQ(1u, MessageRecorder::shown().size());
  EXPECT_EQ(L"Cannot create the destination file.", MessageRecorder::shown()[0].text);
  EXPECT_FALSE(exists(cache_ / "no-such-folder")) << "the folder isn't created here";
}

TEST_F(Recovery, DestinationNameTakenByAFolderIsCodeTwo) {
  add("a.jpg", sample('a'));
  CreateDirectoryA(destination("FILE00000.jpg").c_str(), nullptr);
  EXPECT_EQ(2, recover_file(0));
  DWORD attributes = GetFileAttributesA(destination("FILE00000.jpg").c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(Recovery, FullDeviceIsShownAsCodeThree) {
  add("a.jpg", sample('a'));
  add("b.jpg", sample('b'));
  // FILE00000.jpg becomes a link to the host's always-full device: every write to it
  // fails as on a full disk.
  std::string target = destination("FILE00000.jpg");
  run_on_host("ln -sf /dev/full '" + unix_path(target) + "'");
  // The directory lists the link (its attributes are those of a device, so look it up
  // by listing); the host program may still be running when its handle signals.
  auto listed = [&] {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(target.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
  };
  for (int waited = 0; !listed() && waited < 10000; waited += 20) Sleep(20);
  ASSERT_TRUE(listed());

  EXPECT_EQ(1, recover_selected_thread(nullptr));
  ASSERT_EQ(1u, MessageRecorder::shown().size());
  EXPECT_EQ(L"The destination is full.", MessageRecorder::shown()[0].text);
  EXPECT_TRUE(sample('b') == get_file(destination("FILE00001.jpg")));
  run_on_host("rm -f '" + unix_path(target) + "'");  // Wine can't delete a device link
}

TEST_F(Recovery, FullFileSystemLeavesNoTruncatedFile) {
  // A 64 KiB file system of the host as the destination (needs the right to mount).
  wine_drive::SmallDisk disk(destination_folder(), 65536);
  if (!disk.mounted()) GTEST_SKIP() << "no small file system could be mounted here";

  add("big.jpg", sample('a', 200000));
  add("small.jpg", sample('b', 1000));
  EXPECT_EQ(1, recover_selected_thread(nullptr));
  ASSERT_EQ(1u, MessageRecorder::shown().size());
  EXPECT_EQ(L"The destination is full.", MessageRecorder::shown()[0].text);
  EXPECT_FALSE(exists(destination("FILE00000.jpg"))) << "no truncated copy is left";
  EXPECT_TRUE(sample('b', 1000) == get_file(destination("FILE00001.jpg")));
}

TEST_F(Recovery, X3fLosesTrailingZerosOtherKindsDoNot) {
  std::string content = sample('x', 30000) + std::string(1000, '\0');
  uint32_t x3f = add("pic.x3f", content);
  uint32_t jpg = add("pic.jpg", content);
  EXPECT_EQ(0, recover_file(x3f));
  EXPECT_EQ(0, recover_file(jpg));
  EXPECT_TRUE(content.substr(0, content.size() - 1000) == get_file(destination("FILE00000.x3f")));
  EXPECT_TRUE(content == get_file(destination("FILE00001.jpg")));
  // Zeros that the data only passes through stay.
  std::string inner = sample('y', 100) + std::string(9000, '\0') + "end";
  uint32_t middle = add("mid.x3f", inner);
  EXPECT_EQ(0, recover_file(middle));
  EXPECT_TRUE(inner == get_file(destination("FILE00002.x3f")));
}

TEST_F(Recovery, NamesComeFromIndexAndSafeExtension) {
  EXPECT_EQ(L"FILE00007.jpg", recovery_file_name(7, "jpg"));
  EXPECT_EQ(L"FILE123456.jpg", recovery_file_name(123456, "jpg"));
  EXPECT_EQ(L"FILE00003", recovery_file_name(3, ""));
  EXPECT_EQ(L"FILE00001.a_b", recovery_file_name(1, "a/b"));
  EXPECT_EQ(L"FILE00001.___x", recovery_file_name(1, "\\:*x"));
  EXPECT_EQ(L"FILE00001.a_b_c", recovery_file_name(1, "a\"b\x01" "c"));

  // A record whose extension would climb out of the destination stays inside it.
  uint32_t index = add("evil.jpg", "payload!");
  {
    ListLock hold;
    strcpy(g_found_files.records[index].ext, "..\\..\\x");
  }
  EXPECT_EQ(0, recover_file(index));
  EXPECT_EQ("payload!", get_file(destination("FILE00000..._.._x")));
  EXPECT_FALSE(exists(cache_ / "x"));
}

TEST_F(Recovery, OwnerIsToldWhenDone) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                               nullptr);
  if (!owner) GTEST_SKIP() << "no message-only window without a display";
  add("a.jpg", sample('a'));
  EXPECT_EQ(1, recover_selected_thread(owner));
  MSG message;
  EXPECT_TRUE(PeekMessageW(&message, owner, kRecoveryFinishedMessage, kRecoveryFinishedMessage,
                           PM_REMOVE));
  EXPECT_EQ(0u, message.wParam);
  DestroyWindow(owner);
}
