#include "app/message_box.h"

#include <QMessageBox>
#include <utility>

namespace vark {
namespace {

MessageInterceptor& Interceptor() {
    static MessageInterceptor interceptor;
    return interceptor;
}

}  // namespace

int ShowMessage(QWidget* parent, const QString& text) {
    if (const MessageInterceptor& hook = Interceptor()) {
        return hook(parent, text);
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kMessageCaption), text,
                    QMessageBox::Ok, parent);
    // Plain text, so the framing blanks and line breaks show as written.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    return QMessageBox::Ok;
}

MessageInterceptor SetMessageInterceptor(MessageInterceptor interceptor) {
    return std::exchange(Interceptor(), std::move(interceptor));
}

}  // namespace vark
