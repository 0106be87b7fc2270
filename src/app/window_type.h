#pragma once

class QWidget;

namespace tablora {

// Keeps minimise and maximise off a small top-level window under window managers that ignore the
// window's flags for them. Openbox draws both buttons on every dialog whatever the window asks
// (it disregards the Motif hints for buttons on purpose) and leaves them off only toolbar and
// menu windows; there the window is typed a toolbar, with dialog as the type to fall back on.
// Elsewhere nothing changes: the flags suffice, and a toolbar may lose its title bar. Call it
// when the window is about to be mapped (its showEvent), after its native window exists. True when
// the window was typed a toolbar.
bool KeepMinimiseAndMaximiseOff(QWidget& window);

}  // namespace tablora
