#include "app/part_dialog.h"

#include <QInputDialog>
#include <utility>

namespace vark {
namespace {

PartNumberDialog& Hook() {
    static PartNumberDialog hook;
    return hook;
}

}  // namespace

std::optional<QString> AskPartNumber(QWidget* parent) {
    if (Hook()) {
        return Hook()(parent);
    }
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Use as Golden for Part"));
    dialog.setLabelText(QStringLiteral("Part number:"));
    dialog.setInputMode(QInputDialog::TextInput);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue().trimmed();
}

PartNumberDialog SetPartNumberDialog(PartNumberDialog dialog) {
    return std::exchange(Hook(), std::move(dialog));
}

}  // namespace vark
