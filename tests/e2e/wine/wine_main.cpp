// The Wine tests' entry point. Besides running the tests it boots and stops
// the one Wine prefix that CTest's fixture shares between the test processes.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wine_program.h"

int main(int argc, char** argv) {
  using omenglobe_wine::WinePrefix;
  const char* shared = std::getenv("OMENGLOBE_WINEPREFIX");
  // Which program runs, on every test's output: a fallback to the 64-bit
  // build must not pass unnoticed.
  std::printf("%s\n", omenglobe_wine::RunChoice().c_str());
  std::fflush(stdout);
  if (argc == 2 && std::strcmp(argv[1], "--boot-prefix") == 0) {
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
  if (argc == 2 && std::strcmp(argv[1], "--stop-prefix") == 0) {
    if (shared != nullptr) WinePrefix::Discard(shared);
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  // A prefix of this process's own goes with it.
  if (shared == nullptr) {
    if (WinePrefix* prefix = WinePrefix::IfStarted()) prefix->Remove();
  }
  return result;
}
