// The program's icons, drawn as SVG and compiled in (res/vark.qrc).
#pragma once

#include <QIcon>
#include <QString>

namespace vark {

// The application icon: window, task bar and About box.
QIcon AppIcon();

// A toolbar icon by its resource name: "open", "save", "print", "upload",
// "about" or "exit". A null icon for any other name.
QIcon ToolBarIcon(const QString& name);

}  // namespace vark
