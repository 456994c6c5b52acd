#include "app/focus_frame.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace vark {

namespace {

void MarkKeyboardFocus(QWidget* widget) {
    if (widget) {
        QWidget* window = widget->window();
        if (!window->testAttribute(Qt::WA_KeyboardFocusChange)) {
            window->setAttribute(Qt::WA_KeyboardFocusChange);
            widget->update();
        }
    }
}

// The toolkit clears the mark again at times (a window's activation, a
// click); it is set anew whenever the focus lands or a window comes forward.
class FocusMarker : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if ((type == QEvent::WindowActivate || type == QEvent::FocusIn) &&
            watched->isWidgetType()) {
            MarkKeyboardFocus(QApplication::focusWidget());
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void KeepFocusVisible() {
    static FocusMarker* marker = nullptr;
    if (!marker && qApp) {
        marker = new FocusMarker(qApp);
        qApp->installEventFilter(marker);
        QObject::connect(qApp, &QApplication::focusChanged, marker,
                         [](QWidget*, QWidget* now) { MarkKeyboardFocus(now); });
    }
}

}  // namespace vark
