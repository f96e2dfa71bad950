#pragma once

class QWidget;

namespace tidewell {

enum class Placement { ByWindowManager, Centred };

// Shrinks a window that would not fit on the free area of its screen, frame
// included, down to what fits (never below what its layout needs); then
// either leaves its placing to the window manager, which keeps a window that
// fits on the free area, or centres it there. Call before the window is
// shown; a window that fits keeps its size.
void fitOnScreen(QWidget &window, Placement placement);

} // namespace tidewell
