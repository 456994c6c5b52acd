// The file-open and file-save dialogs of the record commands. The real ones
// are Qt's file dialogs; tests replace them through SetFileDialogHooks.
#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>

class QWidget;

namespace vark {

// Two entries: the record files, then everything.
QStringList RecordFileFilters();

// A path as the records layer takes it: in the file system's own encoding,
// byte for byte as the name came (see file_names.h); and back.
std::filesystem::path ToFsPath(const QString& path);
QString FromFsPath(const std::filesystem::path& path);

struct FileDialogHooks {
    // Each returns the chosen full path, or an empty string when cancelled.
    std::function<QString(QWidget* parent)> open;
    std::function<QString(QWidget* parent, const QString& defaultName)> save;
    // True when the user agrees to replace the existing file at `path`.
    std::function<bool(QWidget* parent, const QString& path)> confirmReplace;
};

// File-open dialog: filters as above, default suffix "vku", no initial name
// unless `initialFile` names one (its folder is then where the dialog starts).
QString AskOpenPath(QWidget* parent, const QString& initialFile = {});

// The folder the real dialogs start in (empty: the toolkit's choice).
void SetDialogFolder(const QString& folder);
QString DialogFolder();

// File-save dialog: same filters, default suffix "vku", `defaultName` as the
// initial name, and a confirmation before an existing file is replaced.
QString AskSavePath(QWidget* parent, const QString& defaultName);

// Asked when the name the user confirmed in the save dialog is not the name
// written (".vku" was appended) and a file of the written name exists: the
// dialog only ever checked the name it was given.
bool ConfirmReplace(QWidget* parent, const QString& path);

// A hook left empty uses the real dialog. Returns the hooks set before.
FileDialogHooks SetFileDialogHooks(FileDialogHooks hooks);

}  // namespace vark
