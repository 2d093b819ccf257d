// The running-copy key on X, an X selection: only a live copy of the
// program holding it keeps a new start out, and the copy that holds it
// answers anyone who asks.
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cstring>

#include "program_test.h"

// Last: Xlib's macros (None, Bool, Status) would rename the harness's words.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace omenglobe_e2e {
namespace {

struct Answer {
  Atom type = 0;
  std::vector<unsigned char> bytes;  // as the server sent them: 32-bit items come as longs
};

class RunningCopyKeyTest : public LinuxProgramTest {
 protected:
  Display* X() const { return x_->Raw(); }

  Atom Intern(const std::string& name) const { return XInternAtom(X(), name.c_str(), False); }
  Atom Key() const { return Intern("_OMENGLOBE_RUNNING_COPY_U" + std::to_string(geteuid())); }

  // Asks the key's owner for `target` as a well-behaved client would; no
  // answer by the deadline, or a refusal, is nothing.
  std::optional<Answer> Ask(Atom target, e2e::Deadline deadline) {
    const Window requestor = XCreateSimpleWindow(X(), DefaultRootWindow(X()), 0, 0, 1, 1, 0, 0, 0);
    const Atom property = Intern("OMENGLOBE_TEST_ANSWER");
    XConvertSelection(X(), Key(), target, property, requestor, CurrentTime);
    XFlush(X());
    XEvent event;
    bool answered = false;
    while (!(answered = XCheckTypedWindowEvent(X(), requestor, SelectionNotify, &event)) &&
           e2e::Clock::now() < deadline) {
      pollfd connection{ConnectionNumber(X()), POLLIN, 0};
      poll(&connection, 1, 20);
    }
    std::optional<Answer> answer;
    if (answered && event.xselection.property != None) {
      Atom type = None;
      int format = 0;
      unsigned long count = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(X(), requestor, property, 0, 1024, True, AnyPropertyType, &type,
                             &format, &count, &after, &data) == Success) {
        const std::size_t size = format == 32 ? count * sizeof(long) : count * (format / 8);
        answer = Answer{type, std::vector<unsigned char>(data, data + size)};
        XFree(data);
      }
    }
    XDestroyWindow(X(), requestor);
    XSync(X(), False);
    return answer;
  }
};

// Any client could own the selection and so keep every later start out,
// silently and with status 0, with nothing running.
TEST_F(RunningCopyKeyTest, AnotherClientHoldingTheKeyCannotKeepTheProgramOut) {
  StartServer();
  e2e::XConnection other(server_->DisplayName());
  const Window squatter =
      XCreateSimpleWindow(other.Raw(), DefaultRootWindow(other.Raw()), 0, 0, 1, 1, 0, 0, 0);
  // It never reads its events, so it never answers a request either.
  XSetSelectionOwner(other.Raw(), Key(), squatter, CurrentTime);
  XSync(other.Raw(), False);
  ASSERT_EQ(XGetSelectionOwner(X(), Key()), squatter);

  auto app = Launch();
  ASSERT_TRUE(WaitForMainWindow()) << app->Stderr();
  EXPECT_NE(XGetSelectionOwner(X(), Key()), squatter);
  EXPECT_EQ(Complaints(app->Stderr()), "") << app->Stderr();

  // The new holder answers as the ICCCM asks: what it offers, and who it is.
  const auto targets = Ask(Intern("TARGETS"), e2e::In(3s));
  ASSERT_TRUE(targets) << "no answer to TARGETS";
  EXPECT_EQ(targets->type, XA_ATOM);
  std::vector<Atom> offered(targets->bytes.size() / sizeof(long));
  std::memcpy(offered.data(), targets->bytes.data(), offered.size() * sizeof(long));
  EXPECT_NE(std::find(offered.begin(), offered.end(), Intern("TARGETS")), offered.end());
  const Atom process = Intern("_OMENGLOBE_PROCESS");
  EXPECT_NE(std::find(offered.begin(), offered.end(), process), offered.end());
  const auto who = Ask(process, e2e::In(3s));
  ASSERT_TRUE(who) << "no answer to _OMENGLOBE_PROCESS";
  EXPECT_EQ(std::string(who->bytes.begin(), who->bytes.end()),
            "omenglobe " + std::to_string(app->Pid()));
  // Anything else is refused, not left unanswered.
  EXPECT_FALSE(Ask(XA_STRING, e2e::In(3s)));

  // And it keeps the next start out, quietly.
  auto second = Launch();
  const auto status = second->WaitExit(e2e::In(5s));
  ASSERT_TRUE(status) << "the second copy is still running";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 0})) << e2e::Describe(*status);
  EXPECT_EQ(second->Stderr(), "");
}

// A copy that cannot answer (here: stopped) is not a running copy; the
// start asks it with a deadline and does not hang.
TEST_F(RunningCopyKeyTest, AFrozenCopyDoesNotHangTheNextStart) {
  StartServer();
  auto frozen = Launch();
  const auto first = WaitForMainWindow();
  ASSERT_TRUE(first) << frozen->Stderr();
  frozen->Signal(SIGSTOP);

  const auto started = e2e::Clock::now();
  auto next = Launch();
  ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle).size() == 2; }, e2e::In(10s),
                           "the next copy's window beside the frozen one"))
      << next->Stderr();
  EXPECT_TRUE(next->Running());
  EXPECT_LT(e2e::MillisecondsSince(started), 8000);
  frozen->Signal(SIGCONT);
}

}  // namespace
}  // namespace omenglobe_e2e
