// The running-copy check: an advisory lock on a per-user, per-display file.
// The kernel drops the lock when the process ends however it ends, so a
// crashed copy leaves nothing behind that could keep the next one out.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace platform::gtk {

// The display part of the lock file's name: the screen number is dropped
// (":0.0" and ":0" are one display), the host part is kept, and characters
// that cannot stand in a file name are replaced.
std::string LockName(std::string_view displayName);

// The name of a Broadway display for its lock. GDK names every Broadway
// display after the backend alone, so the name it was opened by goes with
// it: the one given with --display, else $BROADWAY_DISPLAY, else ":0", the
// order in which GDK looks for it. Either argument may be null.
std::string BroadwayDisplayName(const char* displayArgument, const char* broadwayDisplay);

struct LockHeld {
  int fd;  // keep open for the life of the process
};
struct AnotherCopyRuns {};
struct NoLockLocation {
  std::string reason;
};
using LockOutcome = std::variant<LockHeld, AnotherCopyRuns, NoLockLocation>;

// Tries $XDG_RUNTIME_DIR, then a private directory /tmp/omenglobe-<uid>.
// `runtimeDir` is the value of XDG_RUNTIME_DIR, or null.
LockOutcome AcquireRunningCopyLock(std::string_view displayName, const char* runtimeDir);

}  // namespace platform::gtk
