// Cases of the panel suite only the X11 backend has: each panel connects to the display its
// host's environment names, so the display may be missing or may go away under an open panel.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "tests/panel/panel_suite.h"
#include "tools/plughost/host_window_x11.h"

namespace panelsuite {
namespace {

using plughost::X11HostWindow;

TEST_F(PanelTest, X11OpenWithoutADisplayAnswersZero) {
  const char* shown = std::getenv("DISPLAY");
  ASSERT_NE(shown, nullptr);
  const std::string display = shown;
  unsetenv("DISPLAY");
  EXPECT_EQ(hosted.openOnly(), 0);
  setenv("DISPLAY", display.c_str(), 1);
  hosted.idle();
  EXPECT_EQ(hosted.close(), 0);
  EXPECT_EQ(hosted.frame->panelCount(), 0);
  ASSERT_EQ(hosted.open(), 1);
  EXPECT_TRUE(shows(hosted, kDefaultView));
}

// A private Xvfb of the test's own, which it may kill: DISPLAY names it while it lives.
class PrivateDisplay {
 public:
  PrivateDisplay() {
    int ready[2];
    if (pipe(ready) != 0) {
      return;
    }
    server_ = fork();
    if (server_ == 0) {
      close(ready[0]);
      dup2(ready[1], 3);
      execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp",
             "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(ready[1]);
    // The number arrives in more than one write; the pipe stays open until its newline.
    char c = 0;
    while (server_ > 0 && read(ready[0], &c, 1) == 1 && c != '\n') {
      number_ += c;
    }
    close(ready[0]);
    const char* previous = std::getenv("DISPLAY");
    previous_ = previous != nullptr ? previous : "";
    if (!number_.empty()) {
      setenv("DISPLAY", (":" + number_).c_str(), 1);
    }
  }
  ~PrivateDisplay() {
    kill();
    setenv("DISPLAY", previous_.c_str(), 1);
  }
  PrivateDisplay(const PrivateDisplay&) = delete;
  PrivateDisplay& operator=(const PrivateDisplay&) = delete;

  bool up() const { return !number_.empty(); }
  void kill() {
    if (server_ > 0) {
      ::kill(server_, SIGKILL);
      waitpid(server_, nullptr, 0);
      server_ = -1;
    }
  }

 private:
  pid_t server_ = -1;
  std::string number_;
  std::string previous_;
};

// A display that goes away under an open panel (the server ends): idle, a host change and close
// go on quietly, the host survives it, SIGPIPE included, and a panel opened afterwards on another
// display works.
TEST(X11PanelDisplay, LostDisplayDoesNotTakeTheHostDown) {
  testhost::Plugin plugin;
  ASSERT_NE(plugin.effect, nullptr);
  {
    PrivateDisplay display;
    ASSERT_TRUE(display.up());
    auto frame = std::make_unique<X11HostWindow>(270, 400);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, frame->parentPointer()), 1);
    frame->sync();
    plugin.dispatch(effEditIdle);
    display.kill();
    for (int i = 0; i < 3; ++i) {
      plugin.set(0, 0.1f * static_cast<float>(i + 1));  // 0.3 last
      EXPECT_EQ(plugin.dispatch(effEditIdle), 0);
    }
    plugin.set(1, 0.75f);
    EXPECT_EQ(plugin.dispatch(effEditIdle), 0);
    EXPECT_EQ(plugin.dispatch(effEditClose), 0);
    EXPECT_EQ(plugin.dispatch(effEditIdle), 0);
    // The host's own frame lost its display too, and its destructor would write to the dead
    // connection; the test only needs the plug-in's side. Kept reachable, not leaked.
    static std::unique_ptr<X11HostWindow> deadFrame;
    deadFrame = std::move(frame);
  }
  {
    PrivateDisplay fresh;
    ASSERT_TRUE(fresh.up());
    auto frame = std::make_unique<X11HostWindow>(270, 400);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, frame->parentPointer()), 1);
    frame->sync();
    plugin.dispatch(effEditIdle);
    frame->sync();
    const PanelView changed{{at(0.1f * 3.0f), at(0.75f), {21, 9}},
                            {"+ 3.0", "+ 7.5", "+ 5.0", "+ 2.0"}};
    EXPECT_TRUE(samePicture(paneltest::fromRgb(frame->capture(270, 400)), expectedPanel(changed)));
    EXPECT_EQ(plugin.dispatch(effEditClose), 0);
    frame->sync();
    EXPECT_EQ(frame->childCount(), 0);
  }
  EXPECT_EQ(plugin.close(), 1);
}

}  // namespace
}  // namespace panelsuite
