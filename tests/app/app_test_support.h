// Shared pieces of the window tests: captured message boxes, scripted file
// dialogs and running a modal loop with a step inside it.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/file_dialogs.h"
#include "app/message_box.h"

// Readable failures for Qt geometry.
inline void PrintTo(const QSize& s, std::ostream* os) {
    *os << s.width() << "x" << s.height();
}
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << "x" << r.height() << ")";
}

namespace vark::test {

// Records every message instead of showing it, for as long as it lives.
class MessageRecorder {
  public:
    struct Message {
        QWidget* parent;
        QString text;
    };

    MessageRecorder() {
        previous_ = SetMessageInterceptor([this](QWidget* parent, const QString& text) {
            messages.push_back({parent, text});
            return 0x400;  // QMessageBox::Ok
        });
    }
    ~MessageRecorder() { SetMessageInterceptor(previous_); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QStringList Texts() const {
        QStringList out;
        for (const Message& m : messages) {
            out << m.text;
        }
        return out;
    }

    std::vector<Message> messages;

  private:
    MessageInterceptor previous_;
};

// Answers the file dialogs with the given paths (empty = cancel) and counts
// how often each was asked.
class ScriptedFileDialogs {
  public:
    ScriptedFileDialogs() {
        FileDialogHooks hooks;
        hooks.open = [this](QWidget*) {
            ++openCalls;
            return openAnswer;
        };
        hooks.save = [this](QWidget*, const QString& defaultName) {
            ++saveCalls;
            lastDefaultName = defaultName;
            return saveAnswer;
        };
        previous_ = SetFileDialogHooks(hooks);
    }
    ~ScriptedFileDialogs() { SetFileDialogHooks(previous_); }
    ScriptedFileDialogs(const ScriptedFileDialogs&) = delete;
    ScriptedFileDialogs& operator=(const ScriptedFileDialogs&) = delete;

    QString openAnswer;
    QString saveAnswer;
    QString lastDefaultName;
    int openCalls = 0;
    int saveCalls = 0;

  private:
    FileDialogHooks previous_;
};

// Calls `step` once `find` yields a widget of type T (polling the event
// loop), handing it over; gives up after `timeoutMs` and hands over null.
template <typename T>
void WhenFound(std::function<QWidget*()> find, std::function<void(T*)> step, int timeoutMs) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, find, step, timeoutMs] {
        T* widget = qobject_cast<T*>(find());
        if (widget || clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            step(widget);
        }
    });
    timer->start(10);
}

// The modal widget of type T, once it is up.
template <typename T>
void WhenModal(std::function<void(T*)> step, int timeoutMs = 5000) {
    WhenFound<T>([] { return QApplication::activeModalWidget(); }, std::move(step), timeoutMs);
}

// The pop-up (a menu) of type T, once it is up.
template <typename T>
void WhenPopup(std::function<void(T*)> step, int timeoutMs = 5000) {
    WhenFound<T>([] { return QApplication::activePopupWidget(); }, std::move(step), timeoutMs);
}

// The child of `parent` of type T with the object name `name`, as a person
// would point at it; a missing one fails the test at once.
template <typename T>
T* Child(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child) {
        throw std::runtime_error(std::string("no child named ") + name);
    }
    return child;
}

}  // namespace vark::test
