// What the window remembers from one run to the next, per user: its size
// and place, the folder of the last record file opened or saved, and the
// golden file last compared with. It lives in the program's settings file
// (the one that also holds the archive's settings), each in a group of its
// own so no other setting is touched.
#pragma once

#include <QRect>
#include <QString>
#include <optional>

namespace vark {

class WindowMemory {
  public:
    // The user's settings file; empty when the system names no folder for it.
    static QString UserFile();

    // Reads and writes `file`, an INI file (created when first written).
    explicit WindowMemory(QString file);

    const QString& File() const { return file_; }

    struct Place {
        QPoint frameTopLeft;  // where the window manager's frame starts
        QSize clientSize;
        bool maximized = false;
    };
    std::optional<Place> WindowPlace() const;
    void SetWindowPlace(const Place& place);

    QString LastFolder() const;
    void SetLastFolder(const QString& folder);
    QString LastGoldenFile() const;
    void SetLastGoldenFile(const QString& path);

    // Writes what was set; false (and a warning in the log) when the file
    // could not be written.
    bool Save();

  private:
    QString file_;
    std::optional<Place> place_;
    std::optional<QString> folder_;
    std::optional<QString> golden_;
};

}  // namespace vark
