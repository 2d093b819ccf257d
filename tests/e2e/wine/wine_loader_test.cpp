// The answer to "can this machine run 32-bit code?" is "no" for every way
// Wine's loader can fail to run, never a crash or an exception.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "wine_program.h"

namespace omenglobe_wine {
namespace {

class LoaderProblemTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/omenglobe-loader-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Executable(const std::string& name, const std::string& content) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << content;
    chmod(path.c_str(), 0755);
    return path;
  }

  std::string dir_;
};

TEST_F(LoaderProblemTest, ALoaderThatAnswersRuns) {
  EXPECT_EQ(LoaderProblem(Executable("wine", "#!/bin/sh\necho wine-8.0\n")), "");
}

TEST_F(LoaderProblemTest, EveryFailureToExecuteIsANo) {
  // What a kernel without 32-bit support does with a 32-bit program.
  const auto foreign = LoaderProblem(Executable("foreign", std::string("\x7f"
                                                                       "ELF\x01",
                                                                       5)));
  EXPECT_NE(foreign.find("Exec format error"), std::string::npos) << foreign;

  const auto missing = LoaderProblem(dir_ + "/absent");
  EXPECT_NE(missing.find("is not installed"), std::string::npos) << missing;

  // A loader whose own ELF interpreter is missing starts and says so.
  const auto interpreter = LoaderProblem(Executable("noloader", "#!/lib/ld-linux-absent.so.2\n"));
  EXPECT_NE(interpreter.find("No such file"), std::string::npos) << interpreter;

  for (const int status : {126, 127, 1}) {
    const auto said = LoaderProblem(Executable(
        "exit" + std::to_string(status),
        "#!/bin/sh\necho 'cannot execute binary file' >&2\nexit " + std::to_string(status) + "\n"));
    EXPECT_NE(said.find("exit status " + std::to_string(status) + ": cannot execute binary file"),
              std::string::npos)
        << said;
  }
}

}  // namespace
}  // namespace omenglobe_wine
