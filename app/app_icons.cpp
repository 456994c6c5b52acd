#include "app/app_icons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The resources live in this static library; naming their initialiser here
// keeps the linker from dropping them.
static void InitVarkResources() {
    Q_INIT_RESOURCE(vark);
}

namespace vark {
namespace {

void EnsureResources() {
    static const bool initialised = (InitVarkResources(), true);
    (void)initialised;
}

// Rendered here rather than through the SVG icon-engine plugin, so the icons
// do not depend on a plugin being found at run time.
QIcon RenderSvg(const QString& resource, std::initializer_list<int> sizes) {
    EnsureResources();
    QSvgRenderer renderer(resource);
    if (!renderer.isValid()) {
        return {};
    }
    QIcon icon;
    for (int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon AppIcon() {
    // The sizes a window's title, task bar and About box ask for; each
    // rendering costs start-up time, and larger ones are scaled from 64.
    return RenderSvg(QStringLiteral(":/icons/app.svg"), {16, 32, 64});
}

QIcon ToolBarIcon(const QString& name) {
    EnsureResources();
    const QString resource = QStringLiteral(":/icons/tb_%1.svg").arg(name);
    if (!QFile::exists(resource)) {
        return {};
    }
    // The toolbar shows them at 32 pixels only.
    return RenderSvg(resource, {32});
}

}  // namespace vark
