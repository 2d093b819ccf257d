// Running the Windows program under Wine on a private X server, as a person
// would: one Wine prefix for the whole test run, a fresh X server and a
// fresh start of the program for every test.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ball_layout.h"
#include "harness.h"

namespace omenglobe_wine {

using namespace std::chrono_literals;
using namespace ball;
using Env = std::map<std::string, std::optional<std::string>>;

// The shipped program, and the one the end-to-end tests run: the same file
// wherever this machine runs 32-bit code, otherwise the 64-bit build.
const std::string& ExePath();
const std::string& RunExePath();
const std::string& Exe64Path();
const std::string& IconFilePath();

// Why `loader --version` cannot run here, or "" when it runs. Any failure
// to execute is an answer: missing, "Exec format error", status 126/127.
std::string LoaderProblem(const std::string& loader);
// Why this machine cannot run 32-bit code (Wine's 32-bit loader tried once
// per process; OMENGLOBE_ASSUME_NO_32BIT set answers "cannot" anywhere), or
// nothing when it can. Every test that asks asks this.
const std::optional<std::string>& ThirtyTwoBitProblem();
// Whether Wine's 32-bit loader runs here, and a line saying which program
// the tests run with which loader, and why.
bool ThirtyTwoBitCodeRuns();
const std::string& RunChoice();

// The loader that runs the executable's kind (32 or 64 bit).
std::string WineCommand();
std::string WineCommandFor(const std::string& exe);
bool ExeIs64Bit();
bool Is64Bit(const std::string& exe);

// The Wine prefix of this run, booted on first use; its Wine server is
// stopped (and only that one) when the run ends.
class WinePrefix {
 public:
  static WinePrefix& Get();
  // The prefix if this process has used one, without booting it.
  static WinePrefix* IfStarted();
  // Whether the prefix could be booted; the reason when not.
  const std::optional<std::string>& Problem() const { return problem_; }
  const std::string& Path() const { return path_; }
  // The environment every Wine process of the run gets.
  Env Environment() const;
  // Ends every process of this prefix and its Wine server, and waits for it.
  void StopServer() const;
  // Starts the prefix's Wine server ahead of a program, so that a timed
  // start measures the program and not the server's own start.
  void StartServer() const;
  void Remove();
  // Stops the server of a prefix left at `path` and deletes the prefix.
  static void Discard(const std::string& path);
  static Env EnvironmentFor(const std::string& path, bool is64Bit = ExeIs64Bit());
  // How long wineboot took, for the report.
  double BootMilliseconds() const { return bootMs_; }

 private:
  WinePrefix();
  std::string path_;
  bool owned_ = false;
  std::optional<std::string> problem_;
  double bootMs_ = 0;
};

// Generous: under an emulated Wine a start takes many seconds.
inline constexpr auto kStartUp = std::chrono::seconds(120);

}  // namespace omenglobe_wine
