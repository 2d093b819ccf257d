#include "wine_program.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "pe_image.h"

namespace omenglobe_wine {

namespace {

std::optional<std::string> FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// Wine's own 64-bit server serves 32-bit programs too, and where 32-bit
// Linux programs only run emulated it is the one part that runs natively.
std::string WineServerCommand() {
  if (auto chosen = FromEnvironment("OMENGLOBE_WINESERVER")) return *chosen;
  if (std::filesystem::exists("/usr/lib/wine/wineserver64")) return "/usr/lib/wine/wineserver64";
  return "wineserver";
}

}  // namespace

const std::string& ExePath() {
  static const std::string path = OMENGLOBE_WIN32_EXE;
  return path;
}

const std::string& Exe64Path() {
  static const std::string path = OMENGLOBE_WINE64_EXE;
  return path;
}

namespace {

constexpr char kLoader32[] = "/usr/lib/wine/wine";
constexpr char kLoader64[] = "/usr/lib/wine/wine64";

}  // namespace

std::string LoaderProblem(const std::string& loader) {
  if (!std::filesystem::exists(loader)) return loader + " is not installed";
  try {
    e2e::Process probe({.argv = {loader, "--version"}});
    const auto status = probe.WaitExit(e2e::In(60s));
    if (status && status->exited && status->code == 0) return {};
    std::string said = probe.Stderr();
    while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
    return loader + " --version " +
           (status ? e2e::Describe(*status) : std::string("did not end within 60 s")) +
           (said.empty() ? "" : ": " + said);
  } catch (const std::exception& error) {
    // The process could not even start: "Exec format error", a missing
    // ELF interpreter.
    return error.what();
  }
}

// Wine's 32-bit loader, tried once: where the kernel cannot execute 32-bit
// code it fails with "Exec format error" before printing its version.
const std::optional<std::string>& ThirtyTwoBitProblem() {
  static const std::optional<std::string> problem = []() -> std::optional<std::string> {
    if (auto assumed = FromEnvironment("OMENGLOBE_ASSUME_NO_32BIT")) {
      return "OMENGLOBE_ASSUME_NO_32BIT is set";
    }
    std::string why = LoaderProblem(kLoader32);
    if (why.empty()) return std::nullopt;
    if (!std::filesystem::exists(kLoader32)) {
      if (auto missing = e2e::MissingOptionalPackages("wine32")) why += ": " + *missing;
    }
    return why;
  }();
  return problem;
}

namespace {

struct Choice {
  bool thirtyTwoBit = false;
  std::string exe;
  std::string line;
};

const Choice& TheChoice() {
  static const Choice choice = [] {
    Choice c;
    const std::string explicitExe = OMENGLOBE_RUN_EXE;
    const auto& problem = ThirtyTwoBitProblem();
    c.thirtyTwoBit = !problem;
    if (!explicitExe.empty()) {
      c.exe = explicitExe;
      c.line = "The Wine tests run " + c.exe + " (set by OMENGLOBE_WINE_RUN_EXE).";
    } else if (c.thirtyTwoBit) {
      c.exe = ExePath();
      c.line =
          "The Wine tests run the shipped " + c.exe + " under 32-bit Wine (" + kLoader32 + ").";
    } else {
      c.exe = Exe64Path();
      c.line = "32-bit code cannot run on this machine (" + *problem +
               "): the Wine tests run the 64-bit build " + c.exe + " under " + kLoader64 +
               " instead of the shipped 32-bit program.";
    }
    return c;
  }();
  return choice;
}

}  // namespace

bool ThirtyTwoBitCodeRuns() { return TheChoice().thirtyTwoBit; }
const std::string& RunChoice() { return TheChoice().line; }

const std::string& RunExePath() { return TheChoice().exe; }

const std::string& IconFilePath() {
  static const std::string path = OMENGLOBE_ICON_FILE;
  return path;
}

bool Is64Bit(const std::string& exe) {
  try {
    return !pe::Image::Load(exe).Is32Bit();
  } catch (const pe::FormatError&) {
    return false;
  }
}

bool ExeIs64Bit() {
  static const bool is64 = Is64Bit(RunExePath());
  return is64;
}

std::string WineCommandFor(const std::string& exe) {
  if (auto chosen = FromEnvironment("OMENGLOBE_WINE")) return *chosen;
  // Each kind of program straight to its own loader: Debian's `wine` would
  // insist on the 32-bit one first.
  const char* loader = Is64Bit(exe) ? kLoader64 : kLoader32;
  return std::filesystem::exists(loader) ? loader : "wine";
}

std::string WineCommand() {
  static const std::string command = WineCommandFor(RunExePath());
  return command;
}

namespace {
WinePrefix* bootedPrefix = nullptr;
}

WinePrefix& WinePrefix::Get() {
  static WinePrefix prefix;
  bootedPrefix = &prefix;
  return prefix;
}

WinePrefix* WinePrefix::IfStarted() { return bootedPrefix; }

WinePrefix::WinePrefix() {
  // CTest's fixture boots one prefix for every test process of the run;
  // started by hand, the process boots its own.
  if (auto shared = FromEnvironment("OMENGLOBE_WINEPREFIX")) {
    path_ = *shared;
    if (std::filesystem::exists(path_ + "/system.reg")) return;
  } else {
    std::string pattern = "/tmp/omenglobe-wine-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      problem_ = "cannot make a directory for the Wine prefix";
      return;
    }
    path_ = pattern;
    owned_ = true;
  }
  const auto started = e2e::Clock::now();
  e2e::Process boot({.argv = {WineCommand(), "wineboot", "--init"}, .env = Environment()});
  const auto status = boot.WaitExit(e2e::In(std::chrono::minutes(25)));
  // The server writes the registry when it ends, a few seconds after its last client.
  e2e::Process wait({.argv = {WineServerCommand(), "-w"}, .env = Environment()});
  wait.WaitExit(e2e::In(60s));
  bootMs_ = e2e::MillisecondsSince(started);
  if (!status) {
    problem_ = "wineboot did not finish: " + boot.Stderr();
  } else if (!(status->exited && status->code == 0)) {
    problem_ = "wineboot failed (" + e2e::Describe(*status) + "): " + boot.Stderr();
    *problem_ += "\n" + RunChoice();
  } else if (!std::filesystem::exists(path_ + "/system.reg")) {
    problem_ = "wineboot left no registry in " + path_ + ": " + boot.Stderr();
  }
  StopServer();
}

Env WinePrefix::Environment() const { return EnvironmentFor(path_); }

Env WinePrefix::EnvironmentFor(const std::string& path, bool is64Bit) {
  return {
      {"WINEPREFIX", path},
      {"WINEARCH", is64Bit ? "win64" : "win32"},
      {"WINEDEBUG", "-all"},
      // No prompts for the .NET and HTML engines.
      {"WINEDLLOVERRIDES", "mscoree,mshtml="},
      {"WINESERVER", WineServerCommand()},
      // Read only by an emulator that runs 32-bit Linux programs (qemu-user):
      // the whole 4 GB for the guest, so Wine finds its fixed addresses free.
      {"QEMU_RESERVED_VA", "0xffff0000"},
      {"DISPLAY", std::nullopt},
  };
}

void WinePrefix::StopServer() const {
  if (path_.empty()) return;
  e2e::Process kill({.argv = {WineServerCommand(), "-k"}, .env = Environment()});
  kill.WaitExit(e2e::In(30s));
  e2e::Process wait({.argv = {WineServerCommand(), "-w"}, .env = Environment()});
  wait.WaitExit(e2e::In(30s));
}

void WinePrefix::StartServer() const {
  if (path_.empty()) return;
  // Persistent for a minute; StopServer ends it at the end of the test.
  e2e::Process start({.argv = {WineServerCommand(), "-p60"}, .env = Environment()});
  start.WaitExit(e2e::In(30s));
}

void WinePrefix::Remove() {
  StopServer();
  if (owned_ && !path_.empty()) std::filesystem::remove_all(path_);
  path_.clear();
}

void WinePrefix::Discard(const std::string& path) {
  if (!std::filesystem::exists(path)) return;
  Env env = WinePrefix::EnvironmentFor(path);
  e2e::Process kill({.argv = {WineServerCommand(), "-k"}, .env = env});
  kill.WaitExit(e2e::In(30s));
  std::filesystem::remove_all(path);
}

}  // namespace omenglobe_wine
