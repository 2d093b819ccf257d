// The lock behind the running-copy check, on its own: file names, a held
// lock, and directories that must not be trusted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/gtk/running_copy.h"

namespace platform::gtk {
namespace {

TEST(RunningCopyLockName, OneNamePerDisplayWhateverTheScreen) {
  EXPECT_EQ(LockName(":0"), ":0");
  EXPECT_EQ(LockName(":0.0"), ":0");
  EXPECT_EQ(LockName(":1.2"), ":1");
  EXPECT_EQ(LockName("host.example:10.0"), "host.example:10");
  EXPECT_EQ(LockName("/tmp/launch-x/org.x:0"), "_tmp_launch-x_org.x:0");
  EXPECT_EQ(LockName(""), "default");
}

// GDK calls every Broadway display "Broadway"; two of them are two displays.
TEST(RunningCopyLockName, TwoBroadwayDisplaysHaveTwoNames) {
  EXPECT_NE(LockName(BroadwayDisplayName(nullptr, ":1")),
            LockName(BroadwayDisplayName(nullptr, ":2")));
  // The name the display was opened by, in GDK's order.
  EXPECT_EQ(BroadwayDisplayName(":3", ":1"), BroadwayDisplayName(":3", nullptr));
  EXPECT_EQ(BroadwayDisplayName(nullptr, ""), BroadwayDisplayName(nullptr, ":0"));
  EXPECT_NE(LockName(BroadwayDisplayName(nullptr, nullptr)), LockName(":0"));
}

class RunningCopyLock : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/omenglobe-lock-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    display_ = ":lock-test-" + std::to_string(getpid());
  }
  void TearDown() override {
    for (int fd : fds_) close(fd);
    std::filesystem::remove_all(dir_);
    std::filesystem::remove("/tmp/omenglobe-" + std::to_string(geteuid()) + "/omenglobe-" +
                            LockName(display_) + ".lock");
  }
  LockOutcome Acquire(const char* runtimeDir) {
    auto outcome = AcquireRunningCopyLock(display_, runtimeDir);
    if (const auto* held = std::get_if<LockHeld>(&outcome)) fds_.push_back(held->fd);
    return outcome;
  }

  std::string dir_, display_;
  std::vector<int> fds_;
};

TEST_F(RunningCopyLock, TheSecondAskerIsToldAnotherCopyRuns) {
  ASSERT_TRUE(std::holds_alternative<LockHeld>(Acquire(dir_.c_str())));
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/omenglobe-" + LockName(display_) + ".lock"));
  EXPECT_TRUE(std::holds_alternative<AnotherCopyRuns>(Acquire(dir_.c_str())));
  // The lock goes with its descriptor, as it goes with a process that ends.
  close(fds_.front());
  fds_.clear();
  EXPECT_TRUE(std::holds_alternative<LockHeld>(Acquire(dir_.c_str())));
}

TEST_F(RunningCopyLock, TwoBroadwayDisplaysOfOneUserAreTwoLocks) {
  for (const char* display : {":1", ":2"}) {
    SCOPED_TRACE(display);
    const auto outcome =
        AcquireRunningCopyLock(BroadwayDisplayName(nullptr, display), dir_.c_str());
    ASSERT_TRUE(std::holds_alternative<LockHeld>(outcome));
    fds_.push_back(std::get<LockHeld>(outcome).fd);
  }
}

TEST_F(RunningCopyLock, TheLockIsNotInheritedByChildPrograms) {
  ASSERT_TRUE(std::holds_alternative<LockHeld>(Acquire(dir_.c_str())));
  EXPECT_NE(fcntl(fds_.front(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(RunningCopyLock, AnUntrustworthyRuntimeDirectoryFallsBackToThePrivateOne) {
  const std::string fallback = "/tmp/omenglobe-" + std::to_string(geteuid());
  for (const char* runtimeDir : {"relative/dir", "/nonexistent/omenglobe-test"}) {
    SCOPED_TRACE(runtimeDir);
    ASSERT_TRUE(std::holds_alternative<LockHeld>(Acquire(runtimeDir)));
    EXPECT_TRUE(std::filesystem::exists(fallback + "/omenglobe-" + LockName(display_) + ".lock"));
    for (int fd : fds_) close(fd);
    fds_.clear();
  }
  // A directory anyone may write into could hold someone else's lock.
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  ASSERT_TRUE(std::holds_alternative<LockHeld>(Acquire(dir_.c_str())));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/omenglobe-" + LockName(display_) + ".lock"));
  struct stat st {};
  ASSERT_EQ(lstat(fallback.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 077, 0u);
}

}  // namespace
}  // namespace platform::gtk
