// VARK-u: the window program of the Kelvor VARK-u cable tester.
#include <QApplication>

#include "app/font_warmup.h"
#include "app/vark_app.h"

int main(int argc, char* argv[]) {
    const vark::FontWarmUp fonts;
    QApplication application(argc, argv);
    CVarkApp app(QCoreApplication::applicationFilePath());
    return app.InitInstance();
}
