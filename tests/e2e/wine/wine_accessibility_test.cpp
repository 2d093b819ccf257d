// The Windows program as a screen reader meets it under Wine: a small
// Active Accessibility client (a11y_client.cpp, built with MinGW) reads the
// controls and listens for the answer's live-region event.
//
// Wine 8's oleacc does not keep Direct Annotation (SetHwndPropStr answers
// E_NOTIMPL): there the names the program gives its controls cannot be read
// back, and the test says so instead of passing.
#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "answering/answers.h"
#include "program_test.h"
#include "wine_program.h"

namespace omenglobe_e2e {
namespace {

using namespace omenglobe_wine;

constexpr char kParting[] = "--Thanks for using the Omenglobe By Dorvanek--";
constexpr char kShakeCaption[] = "Think of a question then click here to shake the ball.";
constexpr long kRoleDialog = 18, kRoleGraphic = 40, kRoleText = 42;

std::vector<std::vector<std::string>> Lines(const std::string& output) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::istringstream f(line);
    std::string field;
    while (std::getline(f, field, '\t')) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
    if (!fields.empty()) lines.push_back(fields);
  }
  return lines;
}

struct Control {
  std::string windowClass, text;
  long role = -1;
  std::string name, description;
};

class WineAccessibilityTest : public WineProgramTest {
 protected:
  void SetUp() override {
    WineProgramTest::SetUp();
    if (IsSkipped()) return;
    StartServer();
  }

  e2e::Process& Start(std::vector<std::string> argv, Env env) {
    argv.insert(argv.begin(), WineCommand());
    started_.push_back(
        std::make_unique<e2e::Process>(e2e::Process::Options{.argv = argv, .env = env}));
    return *started_.back();
  }

  // The client, as wide as the program it looks at.
  e2e::Process& Client(std::vector<std::string> args) {
    args.insert(args.begin(), ExeIs64Bit() ? OMENGLOBE_A11Y_CLIENT_64 : OMENGLOBE_A11Y_CLIENT_32);
    return Start(args, Environment());
  }

  std::vector<std::vector<std::string>> RunClient(std::vector<std::string> args) {
    auto& client = Client(std::move(args));
    const auto status = client.WaitExit(e2e::In(60s));
    EXPECT_TRUE(status && status->exited && status->code == 0)
        << client.Stdout() << client.Stderr();
    return Lines(client.Stdout());
  }

  // Whether this Wine keeps what Direct Annotation sets, and what it answered.
  std::pair<bool, std::string> DirectAnnotationWorks() {
    for (const auto& f : RunClient({"annotation"})) {
      if (f[0] == "annotation" && f.size() >= 3) return {f[2] == "annotated", f[1]};
    }
    return {false, "no answer"};
  }

  std::vector<std::unique_ptr<e2e::Process>> started_;

  std::vector<Control> Tree() {
    std::vector<Control> controls;
    for (const auto& f : RunClient({"tree"})) {
      if (f[0] == "window" && f.size() >= 6) {
        controls.push_back({f[1], f[2], std::stol(f[3]), f[4], f[5]});
      }
    }
    return controls;
  }

  static const Control* ByText(const std::vector<Control>& controls, const std::string& text) {
    const auto it = std::find_if(controls.begin(), controls.end(),
                                 [&](const Control& c) { return c.text == text; });
    return it != controls.end() ? &*it : nullptr;
  }
};

TEST_F(WineAccessibilityTest, OleaccLoadsOnlyWhenAClientAsksAndTheControlsCanBeRead) {
  // Wine reports every DLL a process loads on stderr with +loaddll.
  Env env = Environment();
  env["WINEDEBUG"] = "-all,+loaddll";
  auto& app = Start({RunExePath()}, env);
  // Started and painted, with nobody asking for its accessible objects.
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app.Stderr();
  const auto oleacc = [&] { return app.Stderr().find("oleacc.dll") != std::string::npos; };
  EXPECT_FALSE(oleacc()) << "oleacc loaded at start-up, with nobody asking";

  const auto controls = Tree();
  EXPECT_TRUE(e2e::WaitFor(oleacc, e2e::In(5s), "oleacc loaded once a client asked"));
  std::string listing;
  for (const auto& c : controls) {
    listing += c.windowClass + " '" + c.text + "' role " + std::to_string(c.role) + " name '" +
               c.name + "' description '" + c.description + "'\n";
  }
  std::cout << listing;
  ASSERT_EQ(controls.size(), 6u) << listing;  // the form, the picture, four controls
  EXPECT_EQ(controls[0].name, kTitle);
  const Control* shake = ByText(controls, kShakeCaption);
  ASSERT_NE(shake, nullptr) << listing;
  EXPECT_EQ(shake->name, kShakeCaption);
  const auto edit = std::find_if(controls.begin(), controls.end(),
                                 [](const Control& c) { return c.windowClass == "Edit"; });
  ASSERT_NE(edit, controls.end()) << listing;
  EXPECT_EQ(edit->role, kRoleText);

  const auto [annotations, answer] = DirectAnnotationWorks();
  if (!annotations) {
    GTEST_SKIP() << "this Wine's oleacc does not keep Direct Annotation (SetHwndPropStr answered "
                 << answer
                 << "): the names Help, Exit, Answer and Answer ball, the descriptions and the "
                    "picture's role can only be checked on Windows";
  }
  const Control* help = ByText(controls, "?");
  const Control* exit = ByText(controls, "X");
  ASSERT_TRUE(help != nullptr && exit != nullptr) << listing;
  EXPECT_EQ(help->name, "Help");
  EXPECT_EQ(exit->name, "Exit");
  EXPECT_FALSE(help->description.empty());
  EXPECT_FALSE(exit->description.empty());
  EXPECT_EQ(edit->name, "Answer");
  EXPECT_EQ(controls[1].role, kRoleGraphic);
  EXPECT_EQ(controls[1].name, "Answer ball");
}

TEST_F(WineAccessibilityTest, TheAnswerAndThePartingMessageEachRaiseOneEventWhenTheyShow) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  auto& client = Client({"watch", "60"});
  ASSERT_TRUE(e2e::WaitFor([&] { return client.Stdout().find("ready") != std::string::npos; },
                           e2e::In(60s), "the client listening"))
      << client.Stdout();

  // Each event line is stamped when it is first seen here.
  std::vector<std::pair<e2e::Clock::time_point, std::string>> events;
  const auto poll = [&] {
    const auto lines = Lines(client.Stdout());
    std::size_t seen = 0;
    for (const auto& f : lines) {
      if (f[0] != "event" || f.size() < 3) continue;
      if (++seen > events.size()) events.emplace_back(e2e::Clock::now(), f[2]);
    }
  };
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);
  // A sweep takes the window to the screen's left edge and back to the
  // middle. The window manager tells of each move in a synthetic event, in
  // root coordinates; the server's own events place the window in its
  // frame, always at 0.
  const auto atLeftEdge = [](const e2e::ConfigureEvent& e) { return e.synthetic && e.x <= 1; };
  const auto swept = [&] {
    const auto& events = moves.Events();
    return std::any_of(events.begin(), events.end(), atLeftEdge);
  };
  const auto settled = [&] {
    const auto& events = moves.Events();
    auto last = std::find_if(events.rbegin(), events.rend(),
                             [](const e2e::ConfigureEvent& e) { return e.synthetic; });
    return std::any_of(events.begin(), events.end(), atLeftEdge) && last != events.rend() &&
           last->x == Centred().x;
  };
  const auto lit = [&] {
    poll();
    const e2e::Rect box = Inset(kAnswerBox, 2);
    return CaptureOf(*window, box).Count({0, 0, box.width, box.height}, [](e2e::Rgb c) {
      return !Dark(c);
    }) > 0;
  };

  // The click waits for the window to have the focus: the client starting
  // beside the program may have taken Wine's activation for a while.
  const auto shake = e2e::Clock::now();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  ASSERT_TRUE(e2e::WaitFor(swept, e2e::In(5s), "a sweep to the screen's left edge"))
      << moves.Events().size() << " ConfigureNotify seen, none at the left edge; the window "
      << (x_->ActiveWindow() == *window ? "active" : "not active") << ", "
      << (x_->FocusedWindow() == *window ? "with" : "without")
      << " the X focus: " << Save(x_->CaptureScreen(), "no-sweep");
  // The last look that found the answer box black, and the first that
  // found light; it was black at the click. The box is looked at only once
  // the sweep has ended: a look at a moving window catches whatever part of
  // it passes there. On a busy machine the answer may be fading in already
  // by the time the end of the sweep is seen.
  e2e::Clock::time_point lastBlack = shake, firstLight;
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        if (!settled()) return false;
        const auto looked = e2e::Clock::now();
        if (lit()) {
          firstLight = looked;
          return true;
        }
        lastBlack = looked;
        return false;
      },
      e2e::In(10s), "the answer to show light"))
      << "screenshot: " << Save(Shot(*window), "no-light");
  ASSERT_TRUE(e2e::WaitFor([&] { return !lit(); }, e2e::In(10s), "the answer to fade out"));

  const auto exit = e2e::Clock::now();
  ClickAt(*window, CentreX(kExitButton), CentreY(kExitButton));
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        poll();
        // The parting message itself: on a busy machine the client may print
        // the answer's event only now.
        return std::any_of(events.begin(), events.end(),
                           [](const auto& e) { return e.second == kParting; }) ||
               !app->Running();
      },
      e2e::In(5s), "the parting message"))
      << client.Stdout() << Save(x_->CaptureScreen(), "no-parting");
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        poll();
        return !app->Running();
      },
      e2e::In(30s), "the program to end"));
  ASSERT_TRUE(client.WaitExit(e2e::In(30s))) << "the client did not notice the window go";
  poll();

  const auto ms = [](e2e::Clock::time_point from, e2e::Clock::time_point to) {
    return static_cast<int>(std::chrono::duration<double, std::milli>(to - from).count());
  };
  for (const auto& [when, text] : events) {
    const bool afterExit = when > exit;
    std::cout << "live-region event seen +" << ms(afterExit ? exit : shake, when)
              << " ms after the " << (afterExit ? "exit" : "shake") << " click: " << text << "\n";
  }
  std::cout << "answer box last black +" << ms(shake, lastBlack) << " ms, first light +"
            << ms(shake, firstLight) << " ms\n";
  ASSERT_EQ(events.size(), 2u) << client.Stdout();
  EXPECT_NE(std::find(AnswerTexts.begin(), AnswerTexts.end(), events[0].second), AnswerTexts.end())
      << events[0].second;
  EXPECT_GT(events[0].first, lastBlack) << "raised while the answer was still black";
  EXPECT_LT(events[0].first, firstLight + 1s);
  EXPECT_EQ(events[1].second, kParting);
  EXPECT_GT(events[1].first, exit);
}

// A reader says a message box's title as it comes up: the box's accessible
// name is its title, not a name for its kind.
TEST_F(WineAccessibilityTest, TheHelpBoxIsNamedAfterItsTitle) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  ClickAt(*window, CentreX(kHelpButton), CentreY(kHelpButton));
  ASSERT_TRUE(x_->WaitForWindow(kHelpTitle, e2e::In(30s)))
      << "no message box titled " << kHelpTitle << ": " << Save(x_->CaptureScreen(), "no-help");
  std::map<std::string, std::pair<long, std::string>> seen;
  for (const auto& f : RunClient({"dialog", kHelpTitle})) {
    if (f[0] == "dialog" && f.size() >= 4) seen[f[1]] = {std::stol(f[2]), f[3]};
  }
  for (const auto& [object, what] : seen) {
    std::cout << "help box, " << object << " object: role " << what.first << ", name '"
              << what.second << "'\n";
  }
  // Readers take a window's name from its window object, or from its client
  // area where the window object has none, as Wine 8's has not.
  ASSERT_TRUE(seen.contains("client")) << "no accessible object for the box";
  EXPECT_EQ(seen["client"].second, kHelpTitle);
  if (!seen["window"].second.empty()) {
    EXPECT_EQ(seen["window"].second, kHelpTitle);
    EXPECT_EQ(seen["window"].first, kRoleDialog);
  }
  x_->Key("Return");
  EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle).empty(); }, e2e::In(10s),
                           "the help box to close"));
}

}  // namespace
}  // namespace omenglobe_e2e
