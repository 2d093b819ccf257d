// Shared pieces of the unit tests: a started program on the simulated
// platform, and a comparison of the platform log with an expected table that
// shows the first difference side by side.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "main_window/frm_main.h"
#include "platform/application.h"
#include "platform/sim/sim.h"

namespace sim = platform::sim;

inline frmMain& TheForm() { return static_cast<frmMain&>(*platform::Runtime::StartupForm()); }

// The log entries from `from` on, without the entries that `keep` rejects.
template <typename Keep>
std::vector<std::string> LogFrom(std::size_t from, Keep keep) {
  std::vector<std::string> out;
  const auto& log = sim::Log();
  for (std::size_t i = from; i < log.size(); ++i) {
    if (keep(log[i])) out.push_back(log[i]);
  }
  return out;
}

inline std::vector<std::string> LogFrom(std::size_t from) {
  return LogFrom(from, [](const std::string&) { return true; });
}

inline ::testing::AssertionResult SequenceIs(const std::vector<std::string>& actual,
                                             const std::vector<std::string>& expected) {
  const std::size_t n = std::max(actual.size(), expected.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::string a = i < actual.size() ? actual[i] : "(nothing)";
    const std::string e = i < expected.size() ? expected[i] : "(nothing)";
    if (a != e) {
      auto failure = ::testing::AssertionFailure();
      failure << "first difference at entry " << i << "\n  expected: " << e << "\n  actual:   " << a
              << "\n--- actual sequence:\n";
      for (std::size_t j = 0; j < actual.size(); ++j)
        failure << "  " << j << ": " << actual[j] << "\n";
      return failure;
    }
  }
  return ::testing::AssertionSuccess();
}

// A program started on a 1024 x 768 screen at 15 twips per pixel.
class SimProgram : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(sim::Start<frmMain>(settings_).has_value()); }
  frmMain& form() { return TheForm(); }

  // Clicks shake with a fixed draw and returns the log position after the click.
  std::size_t PressShake(float r = 0.5f) {
    sim::ScriptRnd({r});
    sim::Click(form().cmdShake);
    return sim::Log().size();
  }

  sim::Settings settings_;
};
