// The yardstick the program's start-up is compared against: a plain Qt
// window of the main window's first size that, like any real window, shows
// some text (one label in a layout), with Qt's defaults and nothing else.
// A window drawing no text would leave out the font set-up every window
// with text pays for. Says "window shown" on standard error when it is
// shown and "window painted" when it has first painted, as the program
// does, and runs until killed.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

namespace {

class Bare : public QWidget {
  public:
    Bare() {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("A plain window with a line of text.")));
    }

  protected:
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        Say("window shown");
    }
    void paintEvent(QPaintEvent* event) override {
        QWidget::paintEvent(event);
        if (!painted_) {
            painted_ = true;
            Say("window painted");
        }
    }

  private:
    static void Say(const char* what) {
        std::fprintf(stderr, "%s\n", what);
        std::fflush(stderr);
    }
    bool painted_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Bare window;
    window.resize(800, 600);
    window.show();
    return app.exec();
}
