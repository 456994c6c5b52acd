// The window program as a person meets it, on a real X server with a window
// manager (scripts/test-gui.sh starts both). Sizes, places and stacking are
// asked of the X server itself, and clicks and keys go through it, so what
// the window manager does with the program's windows is what is checked.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "app/about_dialog.h"
#include "app/dialog_units.h"
#include "app/main_window.h"
#include "app/tester_watch.h"
#include "app/upload_dialog.h"
#include "device/bridge_ports.h"

// Last: Xlib's macros (None, Bool, Status...) would clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "app_test_support.h"

using vark::test::Child;

namespace {

Display* g_dpy = nullptr;

// Keeps the program's own events flowing while waiting; bounded.
bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

void Settle(int ms) {
    WaitFor([] { return false; }, ms);
}

Window RootOf() {
    return DefaultRootWindow(g_dpy);
}

// The window manager's frame around a client: its ancestor just below the root.
Window FrameOf(Window w) {
    for (;;) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(g_dpy, w, &root, &parent, &children, &n)) {
            return w;
        }
        if (children) {
            XFree(children);
        }
        if (parent == root || parent == 0) {
            return w;
        }
        w = parent;
    }
}

QRect RectOnScreen(Window w) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(g_dpy, w, &a)) {
        return {};
    }
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(g_dpy, w, RootOf(), 0, 0, &x, &y, &child);
    return QRect(x, y, a.width, a.height);
}

QRect FrameRect(QWidget* w) {
    XSync(g_dpy, False);
    return RectOnScreen(FrameOf(static_cast<Window>(w->winId())));
}

QRect ClientRect(QWidget* w) {
    XSync(g_dpy, False);
    return RectOnScreen(static_cast<Window>(w->winId()));
}

bool Framed(QWidget* w) {
    return FrameOf(static_cast<Window>(w->winId())) != static_cast<Window>(w->winId());
}

// The managed windows, bottom to top, as the window manager stacks them.
std::vector<Window> Stacking() {
    XSync(g_dpy, False);
    const Atom prop = XInternAtom(g_dpy, "_NET_CLIENT_LIST_STACKING", False);
    Atom type = 0;
    int format = 0;
    unsigned long n = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<Window> out;
    if (XGetWindowProperty(g_dpy, RootOf(), prop, 0, 4096, False, XA_WINDOW, &type, &format, &n,
                           &after, &data) == Success &&
        data) {
        const auto* ids = reinterpret_cast<const unsigned long*>(data);
        out.assign(ids, ids + n);
        XFree(data);
    }
    return out;
}

// True when `top` is stacked above `below` (both must be managed).
bool StackedAbove(QWidget* top, QWidget* below) {
    const std::vector<Window> order = Stacking();
    const auto pos = [&](QWidget* w) {
        const auto it = std::find(order.begin(), order.end(), static_cast<Window>(w->winId()));
        return it == order.end() ? -1 : static_cast<int>(it - order.begin());
    };
    const int t = pos(top);
    const int b = pos(below);
    return t >= 0 && b >= 0 && t > b;
}

int Xdotool(const QStringList& args) {
    return QProcess::execute(QStringLiteral("xdotool"), args);
}

void ClickAt(QPoint p) {
    Xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
             QStringLiteral("click"), QStringLiteral("1")});
}

void PressKey(const char* key) {
    Xdotool({QStringLiteral("key"), QString::fromLatin1(key)});
}

// A shown top-level window that the window manager has framed, placed and
// drawn.
bool WaitShown(QWidget* w) {
    return WaitFor([w] { return w->isVisible() && Framed(w) && !FrameRect(w).isEmpty(); });
}

// Calls `check` for each modal window of the program as it comes up, from
// inside its modal run; `check` must end it.
class ModalWatcher {
  public:
    explicit ModalWatcher(std::function<void(QWidget*)> check) : check_(std::move(check)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(20);
    }

  private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last_ || !modal->isVisible()) {
            return;
        }
        last_ = modal;
        timer_.stop();
        check_(modal);
        timer_.start(20);
    }

    std::function<void(QWidget*)> check_;
    QTimer timer_;
    // Guarded: a box made after the last one is gone may sit at its address.
    QPointer<QWidget> last_;
};

class Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
        main_.show();
        ASSERT_TRUE(WaitShown(&main_));
        // Let the frame settle before anything is measured against it.
        Settle(200);
    }
    void TearDown() override { vark::UploadDialog::SetDiscoveryOverride({}); }

    void TriggerLater(vark::MainWindow::Command command) {
        QTimer::singleShot(0, &main_, [this, command] { main_.CommandAction(command)->trigger(); });
    }

    // A point of the main window that no box covers: above its status strip,
    // at the left.
    QPoint FreeSpotOfMain() const {
        const QRect f = FrameRect(const_cast<vark::MainWindow*>(&main_));
        return QPoint(f.left() + 12, f.bottom() - 30);
    }

    vark::MainWindow main_;
};

struct BoxSeen {
    QString text;
    bool overMain = false;
    bool centred = false;
    bool aboveMain = false;
    bool aboveAfterClick = false;
    bool closedByKey = false;
    bool plainOk = false;
    QRect frame;
    QRect mainFrame;
};

// Looks at one message box against the main window, clicks the main window
// and answers the box with Enter through the window system.
BoxSeen LookAtBox(QMessageBox* box, vark::MainWindow& main, QPoint freeSpot) {
    BoxSeen seen;
    seen.text = box->text();
    const QAbstractButton* ok = box->button(QMessageBox::Ok);
    seen.plainOk = ok && ok->icon().isNull() && box->buttons().size() == 1;
    if (!WaitShown(box)) {
        box->accept();
        return seen;
    }
    Settle(150);
    seen.frame = FrameRect(box);
    seen.mainFrame = FrameRect(&main);
    seen.overMain = seen.mainFrame.contains(seen.frame);
    const QPoint d = seen.frame.center() - seen.mainFrame.center();
    seen.centred = std::abs(d.x()) <= 4 && std::abs(d.y()) <= 4;
    seen.aboveMain = StackedAbove(box, &main);

    ClickAt(freeSpot);
    Settle(400);
    seen.aboveAfterClick = StackedAbove(box, &main);

    PressKey("Return");
    seen.closedByKey = WaitFor([box] { return !box->isVisible(); }, 2000);
    if (!seen.closedByKey) {
        box->accept();
    }
    return seen;
}

TEST_F(Desktop, FramedWindowIsAtLeast480By360FromTheFirstShow) {
    const QRect start = FrameRect(&main_);
    EXPECT_GT(start.width(), 480);
    EXPECT_GT(start.height(), 360);
    // Shrunk far below the minimum without ever being moved. Asked again until
    // it takes: on a cold start the window manager may still be placing the
    // window and answer the first request with the old size.
    ASSERT_TRUE(WaitFor(
        [&] {
            Xdotool({QStringLiteral("windowsize"), QString::number(main_.winId()),
                     QStringLiteral("100"), QStringLiteral("100")});
            return WaitFor([&] { return FrameRect(&main_).width() < start.width(); }, 500);
        },
        10000));
    Settle(200);
    const QRect frame = FrameRect(&main_);
    EXPECT_EQ(frame.size(), QSize(480, 360))
        << "client " << ClientRect(&main_).width() << "x" << ClientRect(&main_).height();
}

TEST_F(Desktop, AboutBoxHasTheTemplateSizeInTheDialogFont) {
    QSize client;
    QFont font;
    bool above = false;
    ModalWatcher watch([&](QWidget* w) {
        auto* about = qobject_cast<vark::AboutDialog*>(w);
        if (!about) {
            w->close();
            return;
        }
        if (WaitShown(about)) {
            Settle(100);
            client = ClientRect(about).size();
            above = StackedAbove(about, &main_);
        }
        font = Child<QLabel>(*about, "VersionText")->font();
        PressKey("Escape");
        if (!WaitFor([about] { return !about->isVisible(); }, 2000)) {
            about->reject();
        }
    });
    TriggerLater(vark::MainWindow::CmdAbout);
    ASSERT_TRUE(WaitFor([&] { return client.isValid(); }));
    const vark::DialogUnits du(vark::DialogFont());
    EXPECT_EQ(client, QSize(du.X(235), du.Y(65)));
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_TRUE(above);
}

TEST_F(Desktop, ConnectionBoxesSitOnTheMainWindowAndTheCaptionFits) {
    // A port named the way Linux users copy it, that does not exist here.
    const std::string port =
        "/nonexistent/serial/by-id/"
        "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0";
    vark::BridgePort tester;
    tester.vendorId = vark::kVendorSiliconBridge;
    tester.path = port;
    tester.tester = true;
    vark::UploadDialog::SetDiscoveryOverride([tester] { return std::vector{tester}; });

    std::vector<BoxSeen> boxes;
    QString shown;
    QString tip;
    int textWidth = 0;
    int labelWidth = 0;
    bool dialogAbove = false;
    ModalWatcher watch([&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            boxes.push_back(LookAtBox(box, main_, FreeSpotOfMain()));
            return;
        }
        auto* dlg = qobject_cast<vark::UploadDialog*>(w);
        if (!dlg) {
            w->close();
            return;
        }
        if (WaitShown(dlg)) {
            Settle(100);
            dialogAbove = StackedAbove(dlg, &main_);
        }
        shown = Child<QLabel>(*dlg, "DeviceText")->text();
        tip = Child<QLabel>(*dlg, "DeviceText")->toolTip();
        textWidth =
            QFontMetrics(Child<QLabel>(*dlg, "DeviceText")->font()).horizontalAdvance(shown);
        labelWidth = Child<QLabel>(*dlg, "DeviceText")->width();
        dlg->reject();
    });
    TriggerLater(vark::MainWindow::CmdUpload);
    ASSERT_TRUE(WaitFor([&] { return !shown.isEmpty(); }, 15000));

    // The port cannot be opened: its own box, then the connection box.
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("Failed!"))) << boxes[0].text.toStdString();
    EXPECT_EQ(boxes[1].text, QStringLiteral("\n    Device  connection is successful!    \n"));
    for (const BoxSeen& b : boxes) {
        const std::string what = b.text.trimmed().toStdString();
        EXPECT_TRUE(b.overMain) << what;
        EXPECT_TRUE(b.centred) << what << ": box at " << b.frame.x() << "," << b.frame.y() << " "
                               << b.frame.width() << "x" << b.frame.height();
        EXPECT_TRUE(b.aboveMain) << what;
        EXPECT_TRUE(b.aboveAfterClick) << what << " fell behind the clicked main window";
        EXPECT_TRUE(b.closedByKey) << what << " did not take Enter";
        EXPECT_TRUE(b.plainOk) << what << " has more than a plain OK button";
    }
    EXPECT_TRUE(dialogAbove);

    const QString caption = QStringLiteral("Kelvor VARK-u  Port:") + QString::fromStdString(port);
    EXPECT_LE(textWidth, labelWidth);
    EXPECT_EQ(tip, caption);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Kelvor VARK-u  Port:/non")))
        << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("port0"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
}

TEST_F(Desktop, NoTesterBoxSitsOnTheMainWindow) {
    vark::UploadDialog::SetDiscoveryOverride([] { return std::vector<vark::BridgePort>{}; });
    std::vector<BoxSeen> boxes;
    bool dialogSeen = false;
    ModalWatcher watch([&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            boxes.push_back(LookAtBox(box, main_, FreeSpotOfMain()));
            return;
        }
        dialogSeen = true;
        static_cast<QDialog*>(w)->reject();
    });
    TriggerLater(vark::MainWindow::CmdUpload);
    ASSERT_TRUE(WaitFor([&] { return dialogSeen; }, 10000));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("\n    Device connection failed!    \n"));
    EXPECT_TRUE(boxes[0].overMain);
    EXPECT_TRUE(boxes[0].centred) << boxes[0].frame.x() << "," << boxes[0].frame.y() << " "
                                  << boxes[0].frame.width() << "x" << boxes[0].frame.height();
    EXPECT_TRUE(boxes[0].aboveAfterClick);
    EXPECT_TRUE(boxes[0].closedByKey);
    EXPECT_TRUE(boxes[0].plainOk);
}

TEST_F(Desktop, TesterStatusSitsWholeAtTheRightOfTheStatusLine) {
    vark::TesterWatch watch;
    main_.SetTesterWatch(&watch);
    auto* status = Child<QLabel>(main_, "TesterStatus");
    auto* bar = Child<QStatusBar>(main_, "StatusBar");
    vark::BridgePort tester;
    tester.vendorId = vark::kVendorSiliconBridge;
    tester.path = "/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0";
    tester.tester = true;
    watch.Update({{tester}, {}});
    Settle(200);
    const QString text = status->text();
    EXPECT_EQ(text, QString::fromStdString("Tester on " + tester.path));
    EXPECT_TRUE(status->isVisible());
    // Whole (its underscores too), inside the status line, at its right end
    // but clear of the grip.
    EXPECT_GE(status->width(), QFontMetrics(status->font()).horizontalAdvance(text));
    EXPECT_GE(status->height(), QFontMetrics(status->font()).height());
    const QRect inBar(status->mapTo(bar, QPoint(0, 0)), status->size());
    EXPECT_TRUE(bar->rect().contains(inBar));
    EXPECT_GT(inBar.x(), bar->width() / 3);
    EXPECT_LE(inBar.right(), bar->width() - 8) << "under the size grip";
    // A message of the list's comparison does not hide it.
    bar->showMessage(QStringLiteral("14 same, 4 differs"));
    Settle(100);
    EXPECT_TRUE(status->isVisible());
    // And it follows the tester.
    watch.Update({{}, {}});
    Settle(100);
    EXPECT_EQ(status->text(), QStringLiteral("No tester attached"));
    main_.SetTesterWatch(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    // This suite is about a real display; it never falls back to offscreen.
    qputenv("QT_QPA_PLATFORM", "xcb");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    g_dpy = XOpenDisplay(nullptr);
    if (!g_dpy) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const int rc = RUN_ALL_TESTS();
    XCloseDisplay(g_dpy);
    return rc;
}
