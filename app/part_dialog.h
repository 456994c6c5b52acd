// The question of "Use as Golden for Part...": which part number. Qt's input
// dialog; tests answer it through SetPartNumberDialog.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace vark {

// The part number typed, trimmed; nothing when the dialog was cancelled.
std::optional<QString> AskPartNumber(QWidget* parent);

using PartNumberDialog = std::function<std::optional<QString>(QWidget* parent)>;
// An empty hook uses the real dialog. Returns the hook set before.
PartNumberDialog SetPartNumberDialog(PartNumberDialog dialog);

}  // namespace vark
