// The program heard through the screen reader Debian ships, Orca, as a blind
// user meets it: Orca runs on a D-Bus session and accessibility bus of the
// test's own (tests/e2e/a11y/orca_session.py), speech and braille off, and
// every utterance is read back from its debug log once it has ended.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <sstream>

#include "a11y/atspi_heard.h"
#include "answering/answers.h"
#include "program_test.h"

namespace omenglobe_e2e {
namespace {

using atspi::Fields;

constexpr char kHelpPrompt[] =
    "Think of a yes or no question and hit the shake button.  The omenglobe will show you the "
    "answer.";

// "HH:MM:SS.ffffff", the stamp of Orca's log, in seconds of the day.
double DaySeconds(const std::string& stamp) {
  int h = 0, m = 0;
  double s = 0;
  if (std::sscanf(stamp.c_str(), "%d:%d:%lf", &h, &m, &s) != 3) return -1;
  return h * 3600 + m * 60 + s;
}

struct Utterance {
  double t = 0;  // seconds of the day
  std::string text;
};

// Every "SPEECH OUTPUT" line of Orca's debug log, in order.
std::vector<Utterance> Transcript(const std::string& logPath) {
  std::vector<Utterance> spoken;
  std::ifstream in(logPath);
  std::string line;
  constexpr std::string_view kMark = "SPEECH OUTPUT: '";
  while (std::getline(in, line)) {
    const auto at = line.find(kMark);
    if (at == std::string::npos) continue;
    // The text's closing quote comes before the voice, if any, and the
    // voice's settings; a text may hold quotes of its own ("DON'T").
    const auto begin = at + kMark.size();
    auto end = line.size();
    for (const char* after : {"'{", "' {", "' voice="}) {
      end = std::min(end, line.find(after, begin));
    }
    if (end == line.size()) end = line.rfind('\'');
    if (end == std::string::npos || end < begin) continue;
    spoken.push_back({DaySeconds(line.substr(0, 15)), line.substr(begin, end - begin)});
  }
  return spoken;
}

// The first utterance from `from` on that holds `text`; the transcript's size if none.
std::size_t Find(const std::vector<Utterance>& spoken, const std::string& text,
                 std::size_t from = 0) {
  for (std::size_t i = from; i < spoken.size(); ++i) {
    if (spoken[i].text.find(text) != std::string::npos) return i;
  }
  return spoken.size();
}

std::size_t CountOf(const std::vector<Utterance>& spoken, const std::string& text) {
  std::size_t n = 0;
  for (const auto& u : spoken) n += u.text.find(text) != std::string::npos;
  return n;
}

// How many lines of lit text the area shows: bands of rows with lit pixels.
int TextLines(const e2e::Image& shot, const e2e::Rect& area) {
  int lines = 0;
  bool inLine = false;
  for (int y = area.y; y < area.y + area.height; ++y) {
    const bool lit = shot.Count({area.x, y, area.width, 1}, Lit) > 0;
    if (lit && !inLine) ++lines;
    inLine = lit;
  }
  return lines;
}

class ScreenReaderTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    if (auto missing = e2e::MissingOptionalPackages("orca")) GTEST_SKIP() << *missing;
    if (access("/usr/bin/orca", X_OK) != 0) {
      GTEST_SKIP() << "the screen reader Orca is not installed (apt-get install orca): what a "
                      "blind user hears is not checked";
    }
    StartServer();
  }

  // Orca, then the program, on a private session bus that ends with them.
  void LaunchUnderOrca() {
    auto env = AccessibleEnvironment();
    // Orca's settings, caches and the like in the test's own directory.
    env["HOME"] = RuntimeDir();
    env["XDG_CONFIG_HOME"] = RuntimeDir() + "/config";
    env["XDG_DATA_HOME"] = RuntimeDir() + "/data";
    env["XDG_CACHE_HOME"] = RuntimeDir() + "/cache";
    logPath_ = RuntimeDir() + "/orca.log";
    session_ = std::make_unique<e2e::Process>(e2e::Process::Options{
        .argv = {"dbus-run-session", "--", "/usr/bin/python3", OMENGLOBE_ORCA_SESSION, "--log",
                 logPath_, "--prefs", RuntimeDir() + "/orca", "--deadline", "110",
                 OMENGLOBE_BINARY},
        .env = env});
  }

  std::vector<std::vector<std::string>> Lines() const {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(session_->Stdout());
    std::string line;
    while (std::getline(in, line)) lines.push_back(Fields(line));
    return lines;
  }
  std::string Field(const std::string& kind, std::size_t index) const {
    for (const auto& f : Lines()) {
      if (f[0] == kind && f.size() > index) return f[index];
    }
    return {};
  }

  // Events from the session, as (type, detail1, role, name, text).
  struct Event {
    std::string type;
    int detail1 = 0;
    std::string role, name, text;
  };
  std::vector<Event> Events() const {
    std::vector<Event> events;
    for (const auto& f : Lines()) {
      if (f[0] == "event" && f.size() >= 6) {
        events.push_back({f[1], std::stoi(f[2]), f[3], f[4], f[5]});
      }
    }
    return events;
  }
  // Waits for an event after the first `seen` that `matches`; returns it.
  std::optional<Event> WaitEvent(std::size_t seen, const std::function<bool(const Event&)>& matches,
                                 const std::string& what, e2e::Deadline deadline = e2e::In(10s)) {
    std::optional<Event> found;
    const auto result = e2e::WaitFor(
        [&] {
          const auto events = Events();
          for (std::size_t i = seen; i < events.size(); ++i) {
            if (matches(events[i])) {
              found = events[i];
              return true;
            }
          }
          return !session_->Running();
        },
        deadline, what);
    if (!found) ADD_FAILURE() << result.message() << "\n" << session_->Stdout();
    return found;
  }
  static bool Focused(const Event& e, const std::string& name) {
    return e.type == "object:state-changed:focused" && e.detail1 == 1 && e.name == name;
  }
  static bool NotificationShown(const Event& e) {
    return e.type == "object:state-changed:showing" && e.detail1 == 1 && e.role == "notification";
  }
  // A text read out unasked: by a notification, or by the focus arriving in
  // the answer box with it.
  static bool TextPresented(const Event& e) {
    return NotificationShown(e) || (Focused(e, "Answer") && !e.text.empty());
  }
  static std::string PresentedText(const Event& e) {
    return NotificationShown(e) ? e.name : e.text;
  }
  static bool ShakeUsable(const Event& e) {
    return e.type == "object:state-changed:sensitive" && e.detail1 == 1 && e.name == kShakeCaption;
  }

  // The session ends by itself once the program has: it stops Orca, then
  // the session bus goes with it. Killed here only if it outlived its deadline.
  void TearDown() override {
    if (session_ != nullptr) {
      EXPECT_TRUE(EndSession(*session_, e2e::In(15s)));
    }
    session_.reset();
    ProgramTest::TearDown();
  }

  std::unique_ptr<e2e::Process> session_;
  std::string logPath_;
};

TEST_P(ScreenReaderTest, OrcaSpeaksEachAnswerOnceTheWholeAnswerTheHelpBoxAndThePartingMessage) {
  const auto began = e2e::Clock::now();
  LaunchUnderOrca();
  ASSERT_TRUE(e2e::WaitFor([&] { return !Field("program", 1).empty() || !session_->Running(); },
                           e2e::In(60s), "Orca to listen and the program to start"))
      << session_->Stdout() << session_->Stderr();
  ASSERT_FALSE(Field("program", 1).empty()) << session_->Stdout() << session_->Stderr();
  const auto window = WaitForDrawnWindow(e2e::In(20s));
  ASSERT_TRUE(window) << session_->Stdout();

  struct Shake {
    std::string answer;
    bool byMouse = false;
    int lines = 0;
    bool readByTab = false;
    bool byFocus = false;  // read as the focus arrived in the answer box with it
  };
  const e2e::Rect home = Geometry(*window);
  std::vector<Shake> shakes;
  std::string longAnswer;
  // Shakes until a long answer has been read in the answer box, and one
  // more with help while its answer shows (Esc right after the Tabs would
  // take the focus away before Orca got to the box): the first by the mouse,
  // the others by Space. The draw is the program's own, so it takes as many
  // shakes as it takes, up to a bound.
  bool helped = false;
  for (int i = 0; i < 13 && !helped; ++i) {
    SCOPED_TRACE("shake " + std::to_string(i + 1));
    Shake shake;
    shake.byMouse = i == 0;
    std::size_t seen = Events().size();
    if (shake.byMouse) {
      ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
    } else {
      // From the answer box, where the last shake left the focus: Exit, then the shake button.
      x_->Key("Tab");
      ASSERT_TRUE(WaitEvent(
          seen, [](const Event& e) { return Focused(e, "Exit"); }, "Exit"));
      seen = Events().size();
      x_->Key("Tab");
      ASSERT_TRUE(WaitEvent(
          seen, [](const Event& e) { return Focused(e, kShakeCaption); },
          "the focus on the shake button"));
      seen = Events().size();
      x_->Key("space");
    }
    // Looked at once the window is back where it was: the window manager
    // carries out the sweep's moves a while after the program made them,
    // and a look at a moving window catches whatever passes the box.
    const auto pressed = e2e::Clock::now();
    e2e::Image shot;
    ASSERT_TRUE(e2e::WaitFor(
        [&] {
          if (Geometry(*window) != home) return false;
          shot = Shot(*window);
          return Geometry(*window) == home && shot.Count(kAnswerBox, Lit) > 20;
        },
        pressed + 4s, "the answer at full brightness in the window back in place"));
    shake.lines = TextLines(shot, kAnswerBox);
    const auto shown = WaitEvent(seen, TextPresented, "the answer read out");
    ASSERT_TRUE(shown);
    shake.answer = PresentedText(*shown);
    shake.byFocus = !NotificationShown(*shown);
    EXPECT_NE(std::find(AnswerTexts.begin(), AnswerTexts.end(), shake.answer), AnswerTexts.end())
        << "not an answer: " << shake.answer;
    if (!longAnswer.empty()) {
      // Help while the answer shows; the box stays open until the answer
      // has faded and the shake button is back, so Orca has long read it.
      seen = Events().size();
      x_->Key("Escape");
      ASSERT_TRUE(x_->WaitForWindow(kHelpTitle, e2e::In(5s))) << "Esc showed no help";
      ASSERT_TRUE(WaitEvent(seen, ShakeUsable, "the shake button back", e2e::In(10s)));
      x_->Key("Return");
      ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle).empty(); }, e2e::In(5s),
                               "the help box to close"));
      helped = true;
    } else {
      if (shake.lines >= 2 && !shake.byMouse) {
        // Round the window and back into the answer box with Tab while the
        // answer shows (the locked shake button takes no focus): Orca reads
        // the box as the user reaches it.
        Save(shot, "long-answer");
        for (const char* stop : {"Exit", "Help", "Answer"}) {
          seen = Events().size();
          x_->Key("Tab");
          ASSERT_TRUE(WaitEvent(
              seen, [&](const Event& e) { return Focused(e, stop); },
              std::string("Tab to ") + stop));
        }
        shake.readByTab = true;
        longAnswer = shake.answer;
      }
      ASSERT_TRUE(WaitEvent(seen, ShakeUsable, "the shake button back", e2e::In(10s)));
    }
    shakes.push_back(shake);
  }
  ASSERT_FALSE(longAnswer.empty()) << shakes.size() << " shakes brought no answer of two lines";
  ASSERT_TRUE(helped);

  const std::size_t seen = Events().size();
  ClickAt(*window, CentreX(kExitButton), CentreY(kExitButton));
  const auto parting = WaitEvent(seen, TextPresented, "the parting message read out");
  ASSERT_TRUE(parting);
  EXPECT_EQ(PresentedText(*parting), kParting);
  ASSERT_TRUE(session_->WaitExit(e2e::In(30s))) << "the session did not end with the program";
  const auto took = std::chrono::duration<double>(e2e::Clock::now() - began).count();

  const auto spoken = Transcript(logPath_);
  std::cout << Field("orca", 1) << ", " << shakes.size() << " shakes, " << took << " s; heard:\n";
  for (const auto& u : spoken) {
    std::cout << "  " << std::fixed << std::setprecision(3) << u.t << "  " << u.text << "\n";
  }
  for (const auto& shake : shakes) {
    std::cout << (shake.byMouse ? "mouse" : "Space") << ": " << shake.answer << " (" << shake.lines
              << " lines), read " << (shake.byFocus ? "with the focus" : "by a notification")
              << (shake.readByTab ? ", and again after Tab" : "") << "\n";
  }
  ASSERT_EQ(Field("orca-exit", 1), "0") << session_->Stdout();
  ASSERT_FALSE(spoken.empty()) << "Orca's log holds no speech";

  // Each answer once, as it starts to show; the long one again when Tab
  // reaches the answer box.
  std::map<std::string, std::size_t> drawn;
  for (const auto& shake : shakes) ++drawn[shake.answer];
  for (const auto& [answer, times] : drawn) {
    EXPECT_EQ(CountOf(spoken, answer), times + (answer == longAnswer ? 1 : 0))
        << "times Orca said " << answer;
  }
  // The long answer whole, in the answer box reached by Tab: after the
  // Space that drew it, a Tab, then the box.
  const std::size_t first = Find(spoken, longAnswer);
  std::size_t space = spoken.size();
  for (std::size_t i = 0; i < first && i < spoken.size(); ++i) {
    if (spoken[i].text.rfind("space", 0) == 0) space = i;
  }
  ASSERT_LT(space, spoken.size()) << "no Space before " << longAnswer;
  const std::size_t tab = Find(spoken, "tab", space + 1);
  const std::size_t box = Find(spoken, "Answer read only text", tab + 1);
  ASSERT_LT(box, spoken.size()) << "no stop in the answer box after a Tab";
  const std::size_t whole = Find(spoken, longAnswer, box + 1);
  EXPECT_LE(whole, box + 2) << "the answer box read without the whole of " << longAnswer;

  // The help box under its title, then its text.
  const std::size_t title = Find(spoken, kHelpTitle);
  ASSERT_LT(title, spoken.size()) << "the help box's title never said";
  EXPECT_LT(Find(spoken, kHelpPrompt, title), spoken.size()) << "the help text not said";
  EXPECT_EQ(CountOf(spoken, "Information"), 0u) << "the help box named after its kind";

  // The parting message, before the program ended.
  const std::size_t parted = Find(spoken, kParting);
  ASSERT_LT(parted, spoken.size()) << "the parting message never said";
  EXPECT_EQ(CountOf(spoken, kParting), 1u);
  const double ended = DaySeconds(Field("program-exit", 2));
  EXPECT_LT(spoken[parted].t, ended) << "said after the program had ended";
}

// A desktop as a blind user has it: with a window manager, which keeps the
// focus in the window while a shake sweeps it away from the pointer. Orca
// listens on the Linux desktop's accessibility bus.
ON_TARGETS(ScreenReaderTest, std::vector<Target>{kLinuxUnderOpenbox});

}  // namespace
}  // namespace omenglobe_e2e
