// What tests/e2e/a11y/atspi_probe.py prints, read back: the program's
// accessible tree and every announcement, focus change and object shown or
// hidden that a screen reader on its bus hears.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"

namespace omenglobe_e2e::atspi {

struct Node {
  int depth = 0;
  std::string role, name, description, states;
};
struct Event {
  double t = 0;  // CLOCK_MONOTONIC seconds, as steady_clock counts them
  std::string type;
  int detail1 = 0;
  std::string role, name, data;
};

// The probe on a session bus of its own, starting the Linux program in
// `env` (a ProgramFixture's AccessibleEnvironment()).
inline std::unique_ptr<e2e::Process> StartProbe(
    const std::map<std::string, std::optional<std::string>>& env) {
  return std::make_unique<e2e::Process>(
      e2e::Process::Options{.argv = {"dbus-run-session", "--", "/usr/bin/python3",
                                     OMENGLOBE_ATSPI_PROBE, "--deadline", "60", OMENGLOBE_BINARY},
                            .env = env});
}

inline double Seconds(e2e::Clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

inline std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

// What the probe printed so far.
struct Heard {
  std::string app;
  std::vector<Node> tree;
  std::vector<Event> events;
  bool ready = false;
  std::vector<std::string> errors;

  explicit Heard(const std::string& output) {
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
      const auto f = Fields(line);
      if (f.empty()) continue;
      if (f[0] == "ready") ready = true;
      if (f[0] == "error") errors.push_back(line);
      if (f[0] == "app" && f.size() >= 2) app = f[1];
      if (f[0] == "node" && f.size() >= 6)
        tree.push_back({std::stoi(f[1]), f[2], f[3], f[4], f[5]});
      if (f[0] == "event" && f.size() >= 7) {
        events.push_back({std::stod(f[1]), f[2], std::stoi(f[3]), f[4], f[5], f[6]});
      }
    }
  }

  std::vector<Event> Announcements() const {
    std::vector<Event> out;
    for (const auto& e : events) {
      if (e.type == "object:announcement") out.push_back(e);
    }
    return out;
  }
  // What a reader reads out unasked, as (time, text): a notification that
  // starts to show, or the focus arriving in a text that holds something.
  std::vector<std::pair<double, std::string>> ReadOut() const {
    std::vector<std::pair<double, std::string>> out;
    for (const auto& e : events) {
      if (e.type == "object:state-changed:showing" && e.detail1 == 1 && e.role == "notification") {
        out.emplace_back(e.t, e.name);
      } else if (e.type == "object:state-changed:focused" && e.detail1 == 1 && e.role == "text" &&
                 !e.data.empty() && (out.empty() || out.back().second != e.data)) {
        out.emplace_back(e.t, e.data);  // GTK reports some gains twice
      }
    }
    return out;
  }
  std::vector<Event> FocusEvents() const {
    std::vector<Event> out;
    for (const auto& e : events) {
      if (e.type == "object:state-changed:focused" && e.detail1 == 1) out.push_back(e);
    }
    return out;
  }
  // Names of the controls that gained the focus, in order (GTK reports
  // some gains twice).
  std::vector<std::string> FocusGained() const {
    std::vector<std::string> out;
    for (const auto& e : events) {
      if (e.type == "object:state-changed:focused" && e.detail1 == 1 &&
          (out.empty() || out.back() != e.name)) {
        out.push_back(e.name);
      }
    }
    return out;
  }
  const Node* Find(const std::string& name) const {
    for (const auto& n : tree) {
      if (n.name == name) return &n;
    }
    return nullptr;
  }
};

}  // namespace omenglobe_e2e::atspi
