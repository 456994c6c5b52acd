#include "app/window_memory.h"

#include <QDebug>
#include <QSettings>

#include "archive/settings.h"
#include "platform/system.h"

namespace vark {

namespace {

constexpr char kX[] = "window/x";
constexpr char kY[] = "window/y";
constexpr char kWidth[] = "window/width";
constexpr char kHeight[] = "window/height";
constexpr char kMaximized[] = "window/maximized";
constexpr char kFolder[] = "files/last_folder";
constexpr char kGolden[] = "compare/golden_file";

std::optional<int> IntAt(const QSettings& s, const char* key) {
    bool ok = false;
    const int v = s.value(QLatin1String(key)).toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

}  // namespace

QString WindowMemory::UserFile() {
    if (platform::ConfigFolder().empty()) {
        return {};
    }
    return QString::fromStdString(archive::SettingsFilePath());
}

WindowMemory::WindowMemory(QString file) : file_(std::move(file)) {}

std::optional<WindowMemory::Place> WindowMemory::WindowPlace() const {
    if (place_) {
        return place_;
    }
    if (file_.isEmpty()) {
        return std::nullopt;
    }
    const QSettings s(file_, QSettings::IniFormat);
    const auto x = IntAt(s, kX);
    const auto y = IntAt(s, kY);
    const auto w = IntAt(s, kWidth);
    const auto h = IntAt(s, kHeight);
    if (!x || !y || !w || !h || *w <= 0 || *h <= 0) {
        return std::nullopt;
    }
    return Place{{*x, *y}, {*w, *h}, s.value(QLatin1String(kMaximized)).toBool()};
}

void WindowMemory::SetWindowPlace(const Place& place) {
    place_ = place;
}

QString WindowMemory::LastFolder() const {
    if (folder_ || file_.isEmpty()) {
        return folder_.value_or(QString());
    }
    return QSettings(file_, QSettings::IniFormat).value(QLatin1String(kFolder)).toString();
}

void WindowMemory::SetLastFolder(const QString& folder) {
    folder_ = folder;
}

QString WindowMemory::LastGoldenFile() const {
    if (golden_ || file_.isEmpty()) {
        return golden_.value_or(QString());
    }
    return QSettings(file_, QSettings::IniFormat).value(QLatin1String(kGolden)).toString();
}

void WindowMemory::SetLastGoldenFile(const QString& path) {
    golden_ = path;
}

bool WindowMemory::Save() {
    if (file_.isEmpty()) {
        return false;
    }
    QSettings s(file_, QSettings::IniFormat);
    if (place_) {
        s.setValue(QLatin1String(kX), place_->frameTopLeft.x());
        s.setValue(QLatin1String(kY), place_->frameTopLeft.y());
        s.setValue(QLatin1String(kWidth), place_->clientSize.width());
        s.setValue(QLatin1String(kHeight), place_->clientSize.height());
        s.setValue(QLatin1String(kMaximized), place_->maximized);
    }
    if (folder_) {
        s.setValue(QLatin1String(kFolder), *folder_);
    }
    if (golden_) {
        s.setValue(QLatin1String(kGolden), *golden_);
    }
    s.sync();
    if (s.status() != QSettings::NoError) {
        qWarning().noquote() << "window settings not saved to" << file_;
        return false;
    }
    return true;
}

}  // namespace vark
