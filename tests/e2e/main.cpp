// The end-to-end tests' entry point. Where the suite runs the Windows
// program too, it also boots and stops the one Wine prefix that CTest's
// fixture shares between the test processes.
#include <gtest/gtest.h>

#ifdef OMENGLOBE_WITH_WINE
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wine_program.h"

namespace {

// --boot-prefix and --stop-prefix: the status, or nothing for a test run.
std::optional<int> PrefixCommand(int argc, char** argv) {
  using omenglobe_wine::WinePrefix;
  const char* shared = std::getenv("OMENGLOBE_WINEPREFIX");
  if (argc != 2) return std::nullopt;
  if (std::strcmp(argv[1], "--boot-prefix") == 0) {
    // Which program runs: a fallback to the 64-bit build must not pass unnoticed.
    std::printf("%s\n", omenglobe_wine::RunChoice().c_str());
    // A fresh prefix for every run: nothing a previous run left behind counts.
    if (shared != nullptr) WinePrefix::Discard(shared);
    auto& prefix = WinePrefix::Get();
    if (prefix.Problem()) {
      std::fprintf(stderr, "%s\n", prefix.Problem()->c_str());
      return 1;
    }
    std::printf("Wine prefix %s ready (wineboot %.0f ms)\n", prefix.Path().c_str(),
                prefix.BootMilliseconds());
    return 0;
  }
  if (std::strcmp(argv[1], "--stop-prefix") == 0) {
    if (shared != nullptr) WinePrefix::Discard(shared);
    return 0;
  }
  return std::nullopt;
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef OMENGLOBE_WITH_WINE
  if (const auto status = PrefixCommand(argc, argv)) return *status;
#endif
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
#ifdef OMENGLOBE_WITH_WINE
  // A prefix of this process's own goes with it.
  if (std::getenv("OMENGLOBE_WINEPREFIX") == nullptr) {
    if (auto* prefix = omenglobe_wine::WinePrefix::IfStarted()) prefix->Remove();
  }
#endif
  return result;
}
