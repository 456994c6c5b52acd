#include "app/file_dialogs.h"

#include <QFileDialog>
#include <utility>

namespace vark {
namespace {

FileDialogHooks& Hooks() {
    static FileDialogHooks hooks;
    return hooks;
}

// Qt's own dialog rather than a desktop portal: it is a widget of this
// process, so a second start can bring it to the front like any other modal.
QString RunDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& initialName) {
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(RecordFileFilters());
    dialog.setDefaultSuffix(QStringLiteral("vku"));
    if (!initialName.isEmpty()) {
        dialog.selectFile(initialName);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles().value(0);
}

}  // namespace

QStringList RecordFileFilters() {
    return {QStringLiteral("VARK-u Files(*.vku)"), QStringLiteral("All Files(*.*)")};
}

QString AskOpenPath(QWidget* parent) {
    if (Hooks().open) {
        return Hooks().open(parent);
    }
    return RunDialog(parent, QFileDialog::AcceptOpen, {});
}

QString AskSavePath(QWidget* parent, const QString& defaultName) {
    if (Hooks().save) {
        return Hooks().save(parent, defaultName);
    }
    return RunDialog(parent, QFileDialog::AcceptSave, defaultName);
}

FileDialogHooks SetFileDialogHooks(FileDialogHooks hooks) {
    return std::exchange(Hooks(), std::move(hooks));
}

}  // namespace vark
