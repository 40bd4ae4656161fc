#pragma once
// What the installer's procedures below the wizard need of its window. The
// window implements it; tests put in a recorder. Questions to the user go
// through the message-box seam of the state, not through here.
#include <cstdint>

namespace norvale {

class IInstallerWindow {
 public:
  virtual ~IInstallerWindow() = default;
  // Draws the progress gauge: 0 to 100 (above 100 counts as 100); -1 ends it.
  virtual void Dispゲージ(int16_t percent) = 0;
  // Lets the window handle its pending messages once (Cancel, repaint).
  virtual void DoEvents() = 0;
};

// A window that shows nothing: for procedures run without one.
class NoInstallerWindow final : public IInstallerWindow {
 public:
  void Dispゲージ(int16_t) override {}
  void DoEvents() override {}
};

}  // namespace norvale
