// Keeps the program's windows on the screen: every window and dialog, as it
// is first shown, is shrunk and moved where it must to lie inside the free
// area of its screen, so that a large scale factor or a small screen never
// puts a title bar or a button out of reach.
#pragma once

#include <QRect>

class QWidget;

namespace vark {

// Watches the program's windows from now on; once is enough, more is harmless.
void KeepWindowsOnScreen();

// Fits `window` (a top-level, not yet or just shown) inside the free area of
// its screen, keeping it at least `minimumFrame`.
void FitOnScreen(QWidget* window, QSize minimumFrame = {});

// The window manager's border around a client: known once framed, else a
// fair guess so that the first placing leaves room for the title bar.
QMargins FrameMargins(const QWidget* window);

}  // namespace vark
