// Child processes, waits with deadlines, and the odds and ends the rest of
// the harness shares.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "harness.h"

extern char** environ;

namespace e2e {

double MillisecondsSince(Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

testing::AssertionResult WaitFor(const std::function<bool()>& predicate, Deadline deadline,
                                 const std::string& what) {
  const auto start = Clock::now();
  for (;;) {
    if (predicate()) return testing::AssertionSuccess();
    if (Clock::now() >= deadline) {
      return testing::AssertionFailure()
             << "timed out after " << static_cast<int>(MillisecondsSince(start))
             << " ms waiting for: " << what;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string ArtifactsDir() {
  const char* configured = std::getenv("E2E_ARTIFACTS_DIR");
  std::string dir =
      configured != nullptr && configured[0] != '\0' ? configured : "/tmp/e2e-artifacts";
  mkdir(dir.c_str(), 0755);
  return dir;
}

std::optional<std::string> MissingOptionalPackages(const std::string& group) {
  const char* configured = std::getenv("OMENGLOBE_PACKAGE_STATE");
  std::ifstream state(configured != nullptr && configured[0] != '\0' ? configured
                                                                     : OMENGLOBE_PACKAGE_STATE);
  // One line per group that could not be installed: GROUP, PACKAGES, REASON.
  std::string line;
  while (std::getline(state, line)) {
    const auto first = line.find('\t');
    const auto second = line.find('\t', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    if (line.compare(0, first, group) != 0 || first != group.size()) continue;
    return "optional packages " + line.substr(first + 1, second - first - 1) +
           " are not installed (" + line.substr(second + 1) + ")";
  }
  return std::nullopt;
}

std::string Describe(const ExitStatus& s) {
  std::ostringstream out;
  if (s.exited) {
    out << "exit status " << s.code;
  } else {
    out << "killed by signal " << s.signal << " (" << strsignal(s.signal) << ")"
        << (s.coreDumped ? ", core dumped" : "");
  }
  return out.str();
}

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string MakeTempDir() {
  std::string pattern = "/tmp/e2e-process-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  }
  return pattern;
}

}  // namespace

Process::Process(Options options) : outputDir_(options.outputDir) {
  if (options.argv.empty()) throw std::invalid_argument("Process: empty argv");
  if (outputDir_.empty()) {
    outputDir_ = MakeTempDir();
    ownsOutputDir_ = true;
  }

  // Everything the child needs is prepared before fork: after it, only
  // async-signal-safe calls.
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const auto eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : options.env) {
    if (value) {
      env[name] = *value;
    } else {
      env.erase(name);
    }
  }
  std::vector<std::string> envStrings;
  for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<char*> argv;
  for (auto& a : options.argv) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = StdoutPath(), err = StderrPath();

  // A pipe that closes on exec tells the parent whether exec worked.
  int status[2];
  if (pipe2(status, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  started_ = Clock::now();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid_ == 0) {
    close(status[0]);
    const int in = open("/dev/null", O_RDONLY);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0) _exit(126);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    // A fresh process group: a terminal's Ctrl+C stays with the test runner.
    setpgid(0, 0);
    // A path is executed as it is: execvpe would hand a file the kernel
    // refuses ("Exec format error", a 32-bit program on a kernel without
    // 32-bit support) to /bin/sh as if it were a script.
    if (options.argv[0].find('/') != std::string::npos) {
      execve(argv[0], argv.data(), envp.data());
    } else {
      execvpe(argv[0], argv.data(), envp.data());
    }
    const int error = errno;
    (void)!write(status[1], &error, sizeof error);
    _exit(127);
  }
  close(status[1]);
  int error = 0;
  const auto n = read(status[0], &error, sizeof error);
  close(status[0]);
  if (n == static_cast<ssize_t>(sizeof error)) {
    Reap(true);
    throw std::runtime_error("cannot start " + options.argv[0] + ": " + std::strerror(error));
  }
}

Process::~Process() {
  if (pid_ > 0 && !status_) {
    kill(pid_, SIGKILL);
    Reap(true);
  }
  if (ownsOutputDir_) {
    unlink(StdoutPath().c_str());
    unlink(StderrPath().c_str());
    rmdir(outputDir_.c_str());
  }
}

bool Process::Reap(bool block) {
  if (status_) return true;
  int raw = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &raw, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r != pid_) return false;
  ExitStatus s;
  s.exited = WIFEXITED(raw);
  s.code = s.exited ? WEXITSTATUS(raw) : 0;
  s.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
  s.coreDumped = WIFSIGNALED(raw) && WCOREDUMP(raw);
  status_ = s;
  ended_ = Clock::now();
  return true;
}

std::optional<ExitStatus> Process::WaitExit(Deadline deadline) {
  for (;;) {
    if (Reap(false)) return status_;
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

bool Process::Running() { return !Reap(false); }

void Process::Signal(int signal) {
  if (pid_ > 0 && !status_) kill(pid_, signal);
}

std::string Process::Stdout() const { return ReadFile(StdoutPath()); }
std::string Process::Stderr() const { return ReadFile(StderrPath()); }

}  // namespace e2e
