#include "app/message_box.h"

#include <QAbstractButton>
#include <QIcon>
#include <QMessageBox>
#include <utility>

namespace vark {
namespace {

// A box centred over its window's frame once it has its final size: the
// size comes only as the box is shown, after the framework placed it.
class CentredBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
        if (!over || !over->isVisible()) {
            return;
        }
        // The box will be framed as its window is.
        const QRect outer = over->frameGeometry();
        const QSize margins = outer.size() - over->size();
        const QSize frame = size() + margins;
        // setGeometry places the inside, which is unambiguous before the
        // window manager has framed the box.
        const QPoint inset = over->geometry().topLeft() - outer.topLeft();
        const QPoint frameAt(outer.x() + (outer.width() - frame.width()) / 2,
                             outer.y() + (outer.height() - frame.height()) / 2);
        setGeometry(QRect(frameAt + inset, size()));
    }
};

MessageInterceptor& Interceptor() {
    static MessageInterceptor interceptor;
    return interceptor;
}

}  // namespace

int ShowMessage(QWidget* parent, const QString& text) {
    if (const MessageInterceptor& hook = Interceptor()) {
        return hook(parent, text);
    }
    CentredBox box(QMessageBox::NoIcon, QString::fromLatin1(kMessageCaption), text, QMessageBox::Ok,
                   parent);
    // Plain text, so the framing blanks and line breaks show as written.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    // An OK button only, as plain as the box: some styles give the standard
    // button an icon of the desktop theme.
    if (QAbstractButton* ok = box.button(QMessageBox::Ok)) {
        ok->setIcon(QIcon());
    }
    box.exec();
    return QMessageBox::Ok;
}

MessageInterceptor SetMessageInterceptor(MessageInterceptor interceptor) {
    return std::exchange(Interceptor(), std::move(interceptor));
}

}  // namespace vark
