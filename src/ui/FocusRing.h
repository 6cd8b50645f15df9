#pragma once

class QWidget;

// Keyboard focus that can be seen: one ring, drawn around whichever control has focus, in the
// palette's highlight colour. The Mac's own style draws its rings itself; elsewhere the window
// installs this.
namespace FocusRing {

// Follows focus within `window` from now on (once per window).
void follow(QWidget *window);

} // namespace FocusRing
