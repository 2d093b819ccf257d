#include "platform/sim/sim.h"

#include <algorithm>
#include <cstdio>
#include <deque>

#include "platform/application.h"
#include "platform/backend.h"
#include "platform/layout.h"
#include "platform/random.h"
#include "platform/winapi.h"

namespace platform::sim {

namespace {

struct ArmedTimer {
  Timer* timer;
  std::int64_t due;
  std::uint64_t order;  // when it was enabled
};

struct Machine {
  Settings settings;
  std::vector<std::string> log;
  std::vector<Announcement> announcements;
  std::int64_t now = 0;
  std::vector<ArmedTimer> timers;
  std::uint64_t armCount = 0;
  std::function<std::size_t(std::size_t)> tieBreaker;
  std::function<int(const MessageBoxCall&)> messageBoxHandler;
  std::vector<MessageBoxCall> messageBoxes;
  int openBoxes = 0;
  std::deque<Single> scriptedRnd;
  Generator generator;
  Window window;
  RegionTable regions;
  int dragDx = 0, dragDy = 0;
  Long messagePos = 0;
  Form* form = nullptr;
  std::vector<std::string> alerts;
};

Machine& M() {
  static Machine machine;
  return machine;
}

void Record(std::string entry) { M().log.push_back(std::move(entry)); }

std::string Hex(Colour c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%06X", static_cast<unsigned>(c));
  return buffer;
}

std::string Call(const char* name, std::initializer_list<Long> args, Long result) {
  std::string s = std::string(name) + "(";
  bool first = true;
  for (Long a : args) {
    if (!first) s += ", ";
    s += std::to_string(a);
    first = false;
  }
  return s + ") = " + std::to_string(result);
}

std::string Bool(bool b) { return b ? "True" : "False"; }

}  // namespace

std::optional<int> Start(const ProjectDescription& project, const Settings& settings) {
  M() = Machine{};
  M().settings = settings;
  return Runtime::Start(project, 0, nullptr);
}

const std::vector<std::string>& Log() { return M().log; }
const std::vector<Announcement>& Announcements() { return M().announcements; }
void ClearLog() { M().log.clear(); }
std::int64_t Now() { return M().now; }

void SetTieBreaker(std::function<std::size_t(std::size_t)> pick) {
  M().tieBreaker = std::move(pick);
}

void Advance(std::int64_t ms) {
  auto& m = M();
  const std::int64_t target = m.now + ms;
  while (!m.timers.empty() && !Runtime::Ended()) {
    const auto earliest =
        std::min_element(m.timers.begin(), m.timers.end(),
                         [](const ArmedTimer& a, const ArmedTimer& b) { return a.due < b.due; })
            ->due;
    if (earliest > target) break;
    std::vector<std::size_t> due;
    for (std::size_t i = 0; i < m.timers.size(); ++i) {
      if (m.timers[i].due == earliest) due.push_back(i);
    }
    std::sort(due.begin(), due.end(),
              [&](std::size_t a, std::size_t b) { return m.timers[a].order < m.timers[b].order; });
    const std::size_t chosen = m.tieBreaker && due.size() > 1 ? m.tieBreaker(due.size()) : 0;
    ArmedTimer& armed = m.timers[due.at(chosen)];
    Timer& timer = *armed.timer;
    armed.due += timer.Interval();
    m.now = earliest;
    Record("@" + std::to_string(m.now) + " " + std::string(timer.Name()));
    events::Tick(timer);
  }
  m.now = std::max(m.now, target);
}

void Click(CommandButton& button) {
  if (Runtime::Ended()) return;
  Record("click " + std::string(button.Name()));
  events::Click(button);
}

void Press(int x, int y, Integer button, Integer shift) {
  auto& m = M();
  Form* form = Runtime::LoadedForm();
  if (form == nullptr || !m.window.shown) return;
  if (m.window.shape && !m.window.shape->Contains(x, y)) return;
  if (x < 0 || y < 0 || x >= m.window.width || y >= m.window.height) return;
  m.messagePos = PackPoint(m.window.x + x, m.window.y + y);
  // Topmost first: the controls inside the picture, then the picture, then the form.
  Control* hit = nullptr;
  for (Control* c : form->Controls()) {
    const auto kind = c->Design().kind;
    if (kind == ControlKind::Timer || kind == ControlKind::PictureBox) continue;
    if (WindowPixels(*form, *c).Contains(x, y)) hit = c;
  }
  if (hit == nullptr) {
    for (Control* c : form->Controls()) {
      if (c->Design().kind == ControlKind::PictureBox && WindowPixels(*form, *c).Contains(x, y)) {
        hit = c;
      }
    }
  }
  Record("press " + std::string(hit != nullptr ? hit->Name() : form->Design().name) + " at " +
         std::to_string(x) + "," + std::to_string(y));
  const PixelRect origin = hit != nullptr ? WindowPixels(*form, *hit) : PixelRect{};
  events::MouseDown(*form, hit, button, shift, TwipsX(x - origin.x), TwipsY(y - origin.y));
}

void SetDragDelta(int dx, int dy) {
  M().dragDx = dx;
  M().dragDy = dy;
}

void ChangeScreen(const Settings& screen) {
  auto& m = M();
  const Single oldX = m.settings.twipsPerPixelX, oldY = m.settings.twipsPerPixelY;
  m.settings.screenWidthPixels = screen.screenWidthPixels;
  m.settings.screenHeightPixels = screen.screenHeightPixels;
  m.settings.twipsPerPixelX = screen.twipsPerPixelX;
  m.settings.twipsPerPixelY = screen.twipsPerPixelY;
  m.settings.workArea = screen.workArea;
  Record("screen " + std::to_string(screen.screenWidthPixels) + "x" +
         std::to_string(screen.screenHeightPixels));
  Form* form = Runtime::LoadedForm();
  auto& w = m.window;
  if (form == nullptr || !w.created || w.destroyed) return;
  if (oldX != screen.twipsPerPixelX || oldY != screen.twipsPerPixelY) {
    w.width = ScaleX(form->Width);
    w.height = ScaleY(form->Height);
    if (w.shape) {
      w.shape = w.shape->Scaled(RescaleX(oldX), RescaleY(oldY));
    }
    Record("relaid out " + std::to_string(w.width) + "x" + std::to_string(w.height));
  }
  events::ScreenChanged(*form, w.x, w.y);
}

void RequestClose() {
  if (Form* form = Runtime::LoadedForm()) {
    Record("close requested");
    events::CloseRequested(*form);
  }
}

void DestroyWindowFromOutside() {
  auto& m = M();
  if (!m.window.created || m.window.destroyed) return;
  Record("window destroyed from outside");
  // The backend lets go of the window before the runtime hears of it.
  m.window.destroyed = true;
  m.window.shown = false;
  m.timers.clear();
  if (m.openBoxes > 0) m.messageBoxes.back().closedByOwner = true;
  m.window.shape.reset();
  if (m.form != nullptr) events::WindowDestroyed(*m.form);
}

void SetMessageBoxHandler(std::function<int(const MessageBoxCall&)> handler) {
  M().messageBoxHandler = std::move(handler);
}
const std::vector<MessageBoxCall>& MessageBoxes() { return M().messageBoxes; }
bool MessageBoxOpen() { return M().openBoxes > 0; }

void ScriptRnd(std::vector<Single> values) { M().scriptedRnd.assign(values.begin(), values.end()); }

const Window& TheWindow() { return M().window; }
const std::vector<std::string>& Alerts() { return M().alerts; }
std::size_t LiveRegions() { return M().regions.Count(); }
const Region* FindRegion(HRGN handle) { return M().regions.Find(handle); }
bool Ended() { return Runtime::Ended(); }
int ExitStatus() { return Runtime::ExitStatus(); }

}  // namespace platform::sim

// ---------------------------------------------------------------------------
// The backend verbs.

namespace platform::backend {

using sim::M;
using sim::Record;

std::optional<std::string> Init(std::string_view, int, char**) {
  Record("Init");
  return M().settings.environmentProblem;
}

bool PrevInstance() {
  Record("PrevInstance = " + sim::Bool(M().settings.anotherCopyRunning));
  return M().settings.anotherCopyRunning;
}

ScreenMetrics Screen() {
  const auto& s = M().settings;
  return {s.screenWidthPixels, s.screenHeightPixels, s.twipsPerPixelX, s.twipsPerPixelY};
}

PixelRect WorkArea() { return M().settings.workArea.value_or(PixelRect{}); }

std::optional<std::string> CreateForm(Form& form) {
  auto& w = M().window;
  const int width = ScaleX(form.Width), height = ScaleY(form.Height);
  if (M().settings.windowProblem) {
    Record("CreateForm refused");
    return M().settings.windowProblem;
  }
  w.created = true;
  w.handle = 0x10010;
  w.width = width;
  w.height = height;
  M().form = &form;
  form.peer = reinterpret_cast<Peer*>(&w);
  Record("CreateForm " + std::to_string(w.width) + "x" + std::to_string(w.height));
  return std::nullopt;
}

void AlertStartFailure(std::string_view reason) {
  Record("AlertStartFailure");
  M().alerts.emplace_back(reason);
}

void ShowForm(Form& form) {
  auto& w = M().window;
  w.x = ScaleX(form.Left);
  w.y = ScaleY(form.Top);
  w.shown = true;
  Record("ShowForm at " + std::to_string(w.x) + "," + std::to_string(w.y));
}

void MoveForm(Form& form) {
  auto& w = M().window;
  w.x = ScaleX(form.Left);
  w.y = ScaleY(form.Top);
  if (w.shown) ++w.moves;
  Record("MoveForm to " + std::to_string(w.x) + "," + std::to_string(w.y));
}

void DestroyForm(Form& form) {
  auto& m = M();
  m.window.destroyed = true;
  m.window.shown = false;
  m.timers.clear();
  if (m.openBoxes > 0) m.messageBoxes.back().closedByOwner = true;
  // The window frees its region with it.
  m.window.shape.reset();
  form.peer = nullptr;
  Record("DestroyForm");
}

HWND FormHandle(const Form&) { return M().window.handle; }

void FormLeftChanged(Form& form) {
  auto& w = M().window;
  char value[32];
  std::snprintf(value, sizeof value, "%g", static_cast<double>(form.Left.Get()));
  Record(std::string("Left = ") + value);
  if (!w.created) return;
  w.x = ScaleX(form.Left);
  if (w.shown) ++w.moves;
}

void TextChanged(TextBox& box) {
  Record(std::string(box.Name()) + ".Text = \"" + box.Text.Get() + "\"");
}

void ForeColorChanged(TextBox& box) {
  Record(std::string(box.Name()) + ".ForeColor = " + sim::Hex(box.ForeColor));
}

void Announce(TextBox& box) {
  M().announcements.push_back({M().now, std::string(box.Name()), box.Text.Get()});
}

void ButtonEnabledChanged(CommandButton& button) {
  Record(std::string(button.Name()) + ".Enabled = " + sim::Bool(button.Enabled));
}

void TimerEnabledChanged(Timer& timer, bool wasEnabled) {
  auto& m = M();
  Record(std::string(timer.Name()) + ".Enabled = " + sim::Bool(timer.Enabled));
  if (timer.Enabled == wasEnabled) return;
  if (timer.Enabled) {
    m.timers.push_back({&timer, m.now + timer.Interval(), m.armCount++});
  } else {
    std::erase_if(m.timers, [&](const sim::ArmedTimer& a) { return a.timer == &timer; });
  }
}

int ShowMessageBox(Form* owner, std::string_view prompt, int buttons, std::string_view title) {
  auto& m = M();
  m.messageBoxes.push_back({std::string(prompt), std::string(title), buttons,
                            owner != nullptr ? m.window.handle : 0, false});
  Record("MsgBox \"" + std::string(title) + "\"");
  ++m.openBoxes;
  const sim::MessageBoxCall call = m.messageBoxes.back();
  int result = m.messageBoxHandler ? m.messageBoxHandler(call) : kMsgBoxResultOk;
  --m.openBoxes;
  if (m.messageBoxes.back().closedByOwner) result = 0;
  Record("MsgBox closed");
  return result;
}

void RunLoop() {}
void QuitLoop() { Record("QuitLoop"); }

void Randomize() {
  Record("Randomize");
  M().generator.Seed(static_cast<std::uint64_t>(M().now));
}

Single Rnd() {
  auto& m = M();
  Single r;
  if (!m.scriptedRnd.empty()) {
    r = m.scriptedRnd.front();
    m.scriptedRnd.pop_front();
  } else {
    r = m.generator.Next();
  }
  Record("Rnd");
  return r;
}

}  // namespace platform::backend

// ---------------------------------------------------------------------------
// The window-system calls, on the region table.

namespace platform {

using sim::M;
using sim::Record;

HRGN CreateRectRgn(Long left, Long top, Long right, Long bottom) {
  const HRGN h = M().regions.Add(Region::Rectangle(left, top, right, bottom));
  Record(sim::Call("CreateRectRgn", {left, top, right, bottom}, h));
  return h;
}

HRGN CreateEllipticRgn(Long left, Long top, Long right, Long bottom) {
  const HRGN h = M().regions.Add(Region::Ellipse(left, top, right, bottom));
  Record(sim::Call("CreateEllipticRgn", {left, top, right, bottom}, h));
  return h;
}

Long CombineRgn(HRGN destination, HRGN source1, HRGN source2, Long mode) {
  const Long result = CombineRegions(M().regions, destination, source1, source2, mode);
  Record(sim::Call("CombineRgn", {destination, source1, source2, mode}, result));
  return result;
}

Long DeleteObject(HRGN object) {
  const Long result = M().regions.Remove(object) ? 1 : 0;
  Record(sim::Call("DeleteObject", {object}, result));
  return result;
}

Long SetWindowRgn(HWND window, HRGN region, Long redraw) {
  auto& m = M();
  const Region* shape = m.regions.Find(region);
  const Long result = window == m.window.handle && shape != nullptr ? 1 : 0;
  if (result != 0) {
    m.window.shape = *shape;
    m.regions.Remove(region);  // the window owns it now
  }
  Record(sim::Call("SetWindowRgn", {window, region, redraw}, result));
  return result;
}

Long ReleaseCapture() {
  Record("ReleaseCapture()");
  return 1;
}

Long SendMessageA(HWND window, Long message, Long wParam, Long lParam) {
  auto& m = M();
  Record(sim::Call("SendMessageA", {window, message, wParam, lParam}, 0));
  if (window == m.window.handle && message == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
    m.window.x += m.dragDx;
    m.window.y += m.dragDy;
    if (m.dragDx != 0 || m.dragDy != 0) ++m.window.moves;
  }
  return 0;
}

Long GetMessagePos() { return M().messagePos; }

}  // namespace platform
