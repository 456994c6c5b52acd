#include "app/screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "ui/window_place.h"

namespace vark {

namespace {

// A title bar and thin borders, in the window's own (scaled) pixels.
constexpr QMargins kGuessedFrame(4, 28, 4, 4);

class ScreenFitter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The native window's Show comes after the widget's own (where a
        // dialog is centred on its parent) and before the window is mapped:
        // the place can still be corrected unseen.
        if (event->type() == QEvent::Show && watched->isWindowType()) {
            if (QWidget* w = WidgetOf(static_cast<QWindow*>(watched))) {
                const Qt::WindowType type = w->windowType();
                if (type == Qt::Window || type == Qt::Dialog) {
                    FitOnScreen(w);
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    static QWidget* WidgetOf(const QWindow* window) {
        const QWidgetList tops = QApplication::topLevelWidgets();
        for (QWidget* w : tops) {
            if (w->windowHandle() == window) {
                return w;
            }
        }
        return nullptr;
    }
};

}  // namespace

QMargins FrameMargins(const QWidget* window) {
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    if (frame == client) {
        // Platforms without a window manager draw no frames.
        const QString platform = QGuiApplication::platformName();
        const bool frameless =
            platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
        return frameless ? QMargins() : kGuessedFrame;
    }
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

void FitOnScreen(QWidget* window, QSize minimumFrame) {
    const QScreen* screen = window->screen();
    if (!screen) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QMargins m = FrameMargins(window);
    const QRect client = window->geometry();
    const Box frame{client.x() - m.left(), client.y() - m.top(),
                    client.width() + m.left() + m.right(), client.height() + m.top() + m.bottom()};
    const QSize least = minimumFrame.expandedTo(window->minimumSize().grownBy(m));
    const Box fitted = FitInside(frame, {area.x(), area.y(), area.width(), area.height()},
                                 {least.width(), least.height()});
    if (fitted == frame) {
        return;
    }
    // Placed by its client area: once the window exists, a move would place
    // the client too while its frame is still unknown.
    window->setGeometry(fitted.x + m.left(), fitted.y + m.top(),
                        fitted.width - m.left() - m.right(), fitted.height - m.top() - m.bottom());
}

void KeepWindowsOnScreen() {
    static ScreenFitter* fitter = nullptr;
    if (!fitter && qApp) {
        fitter = new ScreenFitter(qApp);
        qApp->installEventFilter(fitter);
    }
}

}  // namespace vark
