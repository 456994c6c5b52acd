// A bare Qt window of the main window's first size: the yardstick the
// program's start-up is compared against. Says "window shown" on standard
// error when it is shown, as the program does, and runs until killed.
#include <QApplication>
#include <QWidget>
#include <cstdio>

namespace {

class Bare : public QWidget {
  protected:
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        std::fputs("window shown\n", stderr);
        std::fflush(stderr);
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Bare window;
    window.resize(800, 600);
    window.show();
    return app.exec();
}
