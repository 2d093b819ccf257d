// The running-copy key on X: a selection named for the user, owned by a
// window of the running copy that answers for it. A later start asks the
// owner who it is; only an owner that answers as a copy of this program,
// in time, keeps it out.
#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#include <poll.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <utility>

#include "platform/gtk/x11_window.h"

namespace platform::gtk {

namespace {

// Long enough for a copy that has just taken the key to reach its event
// loop on a busy machine; a frozen or deaf owner costs a start no more.
constexpr gint64 kAnswerWithinMicroseconds = 3'000'000;
// Owners that come and go while we ask are asked in turn, this many times at
// most; after that the key is taken.
constexpr int kAskAtMost = 3;

// What the running copy answers when asked for kProcessTarget: the program's
// name, a space and its process id.
constexpr std::string_view kIdentityPrefix = "omenglobe ";

struct Key {
  Display* display = nullptr;
  Window window = 0;  // ours: never mapped, it only owns the selection and receives answers
  Atom selection = 0, targets = 0, process = 0;
  std::string identity;
};
Key key;

// Answers every request for the key's selection, as the ICCCM asks of an
// owner: TARGETS, the process target, and a refusal for anything else.
GdkFilterReturn AnswerRequest(GdkXEvent* raw, GdkEvent*, gpointer) {
  const auto* event = static_cast<const XEvent*>(raw);
  if (event->type != SelectionRequest) return GDK_FILTER_CONTINUE;
  const XSelectionRequestEvent& request = event->xselectionrequest;
  if (request.owner != key.window || request.selection != key.selection) {
    return GDK_FILTER_CONTINUE;
  }
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.display = request.display;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.time = request.time;
  reply.property = None;
  // Clients older than the ICCCM leave the property to the owner.
  const Atom property = request.property != None ? request.property : request.target;
  // The requestor may be gone by now; that is its affair.
  GdkDisplay* display = gdk_x11_lookup_xdisplay(request.display);
  if (display != nullptr) gdk_x11_display_error_trap_push(display);
  if (request.target == key.targets) {
    const Atom offered[] = {key.targets, key.process};
    XChangeProperty(request.display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(offered), 2);
    reply.property = property;
  } else if (request.target == key.process) {
    XChangeProperty(request.display, request.requestor, property, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(key.identity.data()),
                    static_cast<int>(key.identity.size()));
    reply.property = property;
  }
  XSendEvent(request.display, request.requestor, False, NoEventMask,
             reinterpret_cast<XEvent*>(&reply));
  XFlush(request.display);
  if (display != nullptr) gdk_x11_display_error_trap_pop_ignored(display);
  return GDK_FILTER_REMOVE;
}

// Whether the owner of the selection answers, before the deadline, as a
// running copy of this program. An owner that refuses, answers something
// else, or says nothing in time is not one.
bool AnswersAsARunningCopy(const Key& asking) {
  Display* x = asking.display;
  XConvertSelection(x, asking.selection, asking.process, asking.process, asking.window,
                    CurrentTime);
  XFlush(x);
  const gint64 deadline = g_get_monotonic_time() + kAnswerWithinMicroseconds;
  XEvent event;
  // The answer is picked out of the queue; every other event stays in it
  // for GDK.
  while (!XCheckTypedWindowEvent(x, asking.window, SelectionNotify, &event)) {
    const gint64 left = deadline - g_get_monotonic_time();
    if (left <= 0) return false;
    pollfd connection{ConnectionNumber(x), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(left / 1000) + 1);
  }
  const XSelectionEvent& answer = event.xselection;
  if (answer.property == None || answer.selection != asking.selection ||
      answer.target != asking.process) {
    return false;
  }
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(x, asking.window, answer.property, 0, 64, True, XA_STRING,
                                        &type, &format, &count, &after, &data);
  bool ours = false;
  if (status == Success && data != nullptr) {
    if (type == XA_STRING && format == 8) {
      ours =
          std::string_view(reinterpret_cast<const char*>(data), count).starts_with(kIdentityPrefix);
    }
    XFree(data);
  }
  return ours;
}

}  // namespace

Claim ClaimRunningCopy(GdkDisplay* display) {
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return Claim::NotX;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  // One per user, as the lock file off X is: it lives in the user's own directory.
  const std::string name = "_OMENGLOBE_RUNNING_COPY_U" + std::to_string(geteuid());
  char* names[] = {const_cast<char*>(name.c_str()), const_cast<char*>("TARGETS"),
                   const_cast<char*>("_OMENGLOBE_PROCESS")};
  Atom atoms[3];
  XInternAtoms(x, names, 3, False, atoms);
  key.display = x;
  key.selection = atoms[0];
  key.targets = atoms[1];
  key.process = atoms[2];
  key.identity = std::string(kIdentityPrefix) + std::to_string(getpid());
  // An input-only window that is never mapped: it exists before the form's
  // own window and lives as long as the connection.
  XSetWindowAttributes attributes{};
  key.window = XCreateWindow(x, DefaultRootWindow(x), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent,
                             0, &attributes);

  // The owner is read and taken under a server grab, so that two copies
  // starting together cannot both find the key free. A holder that does not
  // answer as a running copy is not one: the key is taken from it.
  Window stale = None;
  for (int asked = 0;; ++asked) {
    XGrabServer(x);
    const Window holder = XGetSelectionOwner(x, key.selection);
    const bool take = holder == None || holder == stale || asked == kAskAtMost;
    if (take) XSetSelectionOwner(x, key.selection, key.window, CurrentTime);
    XUngrabServer(x);
    if (take) {
      gdk_window_add_filter(nullptr, AnswerRequest, nullptr);
      XSync(x, False);
      return Claim::Ours;
    }
    if (AnswersAsARunningCopy(key)) {
      XDestroyWindow(x, std::exchange(key.window, 0));
      XSync(x, False);
      return Claim::AnotherCopy;
    }
    stale = holder;
  }
}

}  // namespace platform::gtk
