#include "app/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMessageBox>
#include <utility>

#include "app/file_names.h"
#include "app/message_box.h"
#include "ui/record_document.h"

namespace vark {
namespace {

FileDialogHooks& Hooks() {
    static FileDialogHooks hooks;
    return hooks;
}

QString& StartFolder() {
    static QString folder;
    return folder;
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
    // "*.*" would hide names without a dot: the entry keeps its text but
    // shows every file, as it means to.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        if (f == RecordFileFilters().value(1)) {
            if (auto* model = dialog.findChild<QFileSystemModel*>()) {
                model->setNameFilters({QStringLiteral("*")});
            }
        }
    });
    dialog.setDefaultSuffix(QStringLiteral("vku"));
    if (!StartFolder().isEmpty() && QDir(StartFolder()).exists()) {
        dialog.setDirectory(StartFolder());
    }
    if (!initialName.isEmpty()) {
        dialog.selectFile(initialName);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles().value(0);
}

}  // namespace

std::filesystem::path ToFsPath(const QString& path) {
    return std::filesystem::path(FileNameToBytes(path).toStdString());
}

QString FromFsPath(const std::filesystem::path& path) {
    return FileNameFromBytes(path.native());
}

QStringList RecordFileFilters() {
    return {QString::fromLatin1(kRecordFilterName), QString::fromLatin1(kAllFilesFilterName)};
}

QString AskOpenPath(QWidget* parent, const QString& initialFile) {
    if (Hooks().open) {
        return Hooks().open(parent);
    }
    // A file that has gone since is not offered.
    const QString initial = QFileInfo::exists(initialFile) ? initialFile : QString();
    return RunDialog(parent, QFileDialog::AcceptOpen, initial);
}

void SetDialogFolder(const QString& folder) {
    StartFolder() = folder;
}

QString DialogFolder() {
    return StartFolder();
}

QString AskSavePath(QWidget* parent, const QString& defaultName) {
    if (Hooks().save) {
        return Hooks().save(parent, defaultName);
    }
    return RunDialog(parent, QFileDialog::AcceptSave, defaultName);
}

bool ConfirmReplace(QWidget* parent, const QString& path) {
    if (Hooks().confirmReplace) {
        return Hooks().confirmReplace(parent, path);
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kMessageCaption),
                    QStringLiteral("%1 already exists.\nDo you want to replace it?")
                        .arg(QDir::toNativeSeparators(path)),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

FileDialogHooks SetFileDialogHooks(FileDialogHooks hooks) {
    return std::exchange(Hooks(), std::move(hooks));
}

}  // namespace vark
