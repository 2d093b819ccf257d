#include "platform/gtk/running_copy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

namespace platform::gtk {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// A directory only this user can write into; anything else could let
// another user hold our lock or swap the file under us.
bool Private(const struct stat& st) {
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

struct Attempt {
  std::optional<LockOutcome> outcome;  // empty: try the next location
  std::string problem;
};

Attempt TryDirectory(int dirFd, const std::string& dirName, const std::string& fileName) {
  struct stat st {};
  if (fstat(dirFd, &st) != 0 || !Private(st)) {
    return {std::nullopt, dirName + " is not a private directory of this user"};
  }
  Fd fd(openat(dirFd, fileName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) return {std::nullopt, dirName + ": " + std::strerror(errno)};
  for (;;) {
    if (flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return {LockHeld{fd.release()}, {}};
    if (errno == EWOULDBLOCK) return {AnotherCopyRuns{}, {}};
    if (errno != EINTR) return {std::nullopt, dirName + ": " + std::strerror(errno)};
  }
}

}  // namespace

std::string LockName(std::string_view displayName) {
  std::string name(displayName);
  const auto colon = name.rfind(':');
  if (colon != std::string::npos) {
    const auto dot = name.find('.', colon);
    if (dot != std::string::npos) name.erase(dot);
  }
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  return name.empty() ? "default" : name;
}

std::string BroadwayDisplayName(const char* displayArgument, const char* broadwayDisplay) {
  const char* name = displayArgument;
  if (name == nullptr || name[0] == '\0') name = broadwayDisplay;
  if (name == nullptr || name[0] == '\0') name = ":0";
  return std::string("Broadway") + name;
}

LockOutcome AcquireRunningCopyLock(std::string_view displayName, const char* runtimeDir) {
  const std::string fileName = "omenglobe-" + LockName(displayName) + ".lock";
  std::string problems;
  auto note = [&](const std::string& problem) {
    if (!problems.empty()) problems += "; ";
    problems += problem;
  };

  if (runtimeDir != nullptr && runtimeDir[0] == '/') {
    Fd dir(open(runtimeDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
      Attempt attempt = TryDirectory(dir.get(), runtimeDir, fileName);
      if (attempt.outcome) return *attempt.outcome;
      note(attempt.problem);
    } else {
      note(std::string(runtimeDir) + ": " + std::strerror(errno));
    }
  }

  const std::string fallback = "/tmp/omenglobe-" + std::to_string(geteuid());
  if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
    note(fallback + ": " + std::strerror(errno));
  } else {
    // O_NOFOLLOW: a symlink planted in /tmp by someone else is refused.
    Fd dir(open(fallback.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() >= 0) {
      Attempt attempt = TryDirectory(dir.get(), fallback, fileName);
      if (attempt.outcome) return *attempt.outcome;
      note(attempt.problem);
    } else {
      note(fallback + ": " + std::strerror(errno));
    }
  }
  return NoLockLocation{"nowhere to keep the running-copy lock (" + problems + ")"};
}

}  // namespace platform::gtk
