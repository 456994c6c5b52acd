// The window program as a person meets it, on a real X server with a window
// manager (scripts/test-gui.sh starts both). Sizes, places and stacking are
// asked of the X server itself, and clicks and keys go through it, so what
// the window manager does with the program's windows is what is checked.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "app/about_dialog.h"
#include "app/compare_view.h"
#include "app/dialog_units.h"
#include "app/file_dialogs.h"
#include "app/main_window.h"
#include "app/tester_watch.h"
#include "app/upload_dialog.h"
#include "device/bridge_ports.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "ui/contrast.h"

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
    // Nobody can resize a window before the window manager has framed it;
    // on a cold, busy start that may come after the first paint, and the
    // window learns its frame then. Shrunk far below the minimum without
    // ever being moved, again while the frame is not yet applied; the
    // window manager may also answer the first request with the old size.
    QRect frame;
    for (int attempt = 0; attempt < 4; ++attempt) {
        WaitFor([&] { return main_.minimumSize().height() < 360; }, 2000);
        const QRect before = FrameRect(&main_);
        ASSERT_TRUE(WaitFor(
            [&] {
                Xdotool({QStringLiteral("windowsize"), QString::number(main_.winId()),
                         QStringLiteral("100"), QStringLiteral("100")});
                return WaitFor([&] { return FrameRect(&main_).size() != before.size(); }, 500) ||
                       FrameRect(&main_).width() < start.width();
            },
            10000));
        Settle(200);
        frame = FrameRect(&main_);
        if (frame.size() == QSize(480, 360)) {
            break;
        }
    }
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

// --- The window on an ordinary desktop ---

// A colour pair read off rendered pixels: the commonest colour of a cell is
// its background, the pixel standing out from it most is the full ink of
// its text.
struct InkOnPaper {
    QColor background;
    QColor text;
    double contrast = 0;
};

vark::Rgb RgbOf(QRgb p) {
    return {static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
            static_cast<std::uint8_t>(qBlue(p))};
}

InkOnPaper ReadCell(const QImage& image, const QRect& cell) {
    QMap<QRgb, int> counts;
    // Inside the grid lines.
    const QRect inner = cell.adjusted(1, 1, -2, -2) & image.rect();
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
        for (int x = inner.left(); x <= inner.right(); ++x) {
            ++counts[image.pixel(x, y) | 0xFF000000u];
        }
    }
    QRgb paper = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            paper = it.key();
        }
    }
    InkOnPaper out;
    out.background = QColor(paper);
    double best = 1.0;
    QRgb ink = paper;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const double c = vark::ContrastRatio(RgbOf(paper), RgbOf(it.key()));
        if (c > best) {
            best = c;
            ink = it.key();
        }
    }
    out.text = QColor(ink);
    out.contrast = best;
    return out;
}

QPalette DarkPalette() {
    QPalette p;
    const QColor window(0x35, 0x35, 0x35);
    const QColor text(0xEE, 0xEE, 0xEC);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0x2D, 0x2D, 0x2D));
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, QColor(0x40, 0x40, 0x30));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(0x15, 0x53, 0x9E));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

class DesktopWithRecords : public Desktop {
  protected:
    void SetUp() override {
        Desktop::SetUp();
        ASSERT_TRUE(dir_.isValid());
        const QString run = dir_.filePath(QStringLiteral("run.vku"));
        ASSERT_EQ(
            vark::WriteRecordFile(QFile::encodeName(run).toStdString(), vark::ProductionRunBlock()),
            vark::FileStatus::Ok);
        ASSERT_TRUE(main_.OpenFile(run));
    }
    void TearDown() override {
        QApplication::setPalette(QPalette());
        Desktop::TearDown();
    }
    QTemporaryDir dir_;
};

TEST_F(DesktopWithRecords, EveryTintReadsAtLeast4Point5ToOneInLightAndDark) {
    auto* list = Child<QTableView>(main_, "PinList");
    // The open-pin record as reference: row 5 the reference, 1 differs, 18 an error.
    Child<vark::CompareView>(main_, "CompareView")->UseAsReference(4);
    list->clearSelection();
    list->setCurrentIndex({});
    const struct {
        int row;
        const char* what;
    } rows[] = {{4, "reference"}, {0, "differs"}, {17, "error"}};
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? DarkPalette() : QPalette(QColor(0xEF, 0xEF, 0xEF)));
        Settle(150);
        const QImage shot = list->viewport()->grab().toImage();
        const QColor base = list->palette().color(QPalette::Base);
        for (const auto& r : rows) {
            const QRect cell(list->columnViewportPosition(1), list->rowViewportPosition(r.row),
                             list->columnWidth(1), list->rowHeight(r.row));
            const InkOnPaper seen = ReadCell(shot, cell);
            EXPECT_GE(seen.contrast, 4.5)
                << (dark ? "dark " : "light ") << r.what << ": " << seen.text.name().toStdString()
                << " on " << seen.background.name().toStdString();
            // A tint, not the plain base.
            EXPECT_NE(seen.background, base) << (dark ? "dark " : "light ") << r.what;
        }
        // The row header's sign is drawn too, readable.
        QHeaderView* header = list->verticalHeader();
        const QImage headerShot = header->viewport()->grab().toImage();
        const InkOnPaper sign = ReadCell(
            headerShot,
            QRect(0, header->sectionViewportPosition(0), header->width(), header->sectionSize(0)));
        EXPECT_GE(sign.contrast, 4.5) << (dark ? "dark" : "light");
    }
}

// The key of every toolbar command reaches it, wherever the focus is.
TEST_F(Desktop, EveryToolbarCommandAnswersItsKey) {
    const struct {
        vark::MainWindow::Command command;
        const char* key;
    } keys[] = {
        {vark::MainWindow::CmdOpen, "ctrl+o"},  {vark::MainWindow::CmdSave, "ctrl+s"},
        {vark::MainWindow::CmdPrint, "ctrl+p"}, {vark::MainWindow::CmdUpload, "ctrl+u"},
        {vark::MainWindow::CmdAbout, "F1"},     {vark::MainWindow::CmdExit, "ctrl+q"},
    };
    main_.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return main_.isActiveWindow(); }));
    for (const char* focus : {"PathEdit", "PinList", "OpenButton"}) {
        Child<QWidget>(main_, focus)->setFocus();
        for (const auto& k : keys) {
            QAction* action = main_.CommandAction(k.command);
            // Counted instead of run: what each command does is tested elsewhere.
            QObject::disconnect(action, &QAction::triggered, &main_, nullptr);
            int fired = 0;
            const auto counter =
                QObject::connect(action, &QAction::triggered, [&fired] { ++fired; });
            PressKey(k.key);
            EXPECT_TRUE(WaitFor([&] { return fired == 1; }, 2000))
                << k.key << " with the focus on " << focus;
            QObject::disconnect(counter);
        }
    }
    EXPECT_TRUE(main_.isVisible());
}

// Tab or no Tab, the control with the focus looks different from the same
// control without it.
TEST_F(Desktop, FocusIsVisibleFromTheStart) {
    auto* open = Child<QPushButton>(main_, "OpenButton");
    main_.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return main_.isActiveWindow(); }));
    open->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(WaitFor([&] { return open->hasFocus(); }));
    Settle(100);
    const QImage focused = open->grab().toImage();

    Child<QWidget>(main_, "PinList")->setFocus(Qt::OtherFocusReason);
    Settle(100);
    const QImage unfocused = open->grab().toImage();

    EXPECT_NE(focused, unfocused) << "the Open button looks the same with and without focus";

    vark::test::MessageRecorder messages;
    vark::UploadDialog::SetDiscoveryOverride([] { return std::vector<vark::BridgePort>{}; });
    vark::UploadDialog upload(&main_, [](const vark::RecordBlock&) {});
    upload.show();
    ASSERT_TRUE(WaitShown(&upload));
    ASSERT_TRUE(WaitFor([&] { return upload.isActiveWindow(); }));
    Settle(100);
    QWidget* first = upload.focusWidget();
    ASSERT_NE(first, nullptr) << "nothing has the focus in the Upload dialog";
    const QImage firstFocused = first->grab().toImage();
    first->clearFocus();
    Settle(100);
    EXPECT_NE(firstFocused, first->grab().toImage())
        << first->objectName().toStdString() << " does not show its focus";
    upload.reject();
}

TEST_F(DesktopWithRecords, WarningWholeAndTestNumbersInViewAtTheDefaultSize) {
    auto* list = Child<QTableView>(main_, "PinList");
    Child<vark::CompareView>(main_, "CompareView")->UseAsReference(4);
    Settle(150);
    auto* text = Child<QLabel>(main_, "CompareWarningText");
    ASSERT_TRUE(text->isVisible());
    EXPECT_TRUE(
        text->text().endsWith(QStringLiteral("the reference itself may be the bad cable.")));
    // Every wrapped line inside the label, the label inside the window.
    EXPECT_GE(text->height(), text->heightForWidth(text->width()));
    const QRect inWindow(text->mapTo(&main_, QPoint(0, 0)), text->size());
    EXPECT_TRUE(main_.rect().contains(inWindow));

    // Scrolled all the way right: the row header still names each row.
    list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
    Settle(150);
    QHeaderView* rows = list->verticalHeader();
    ASSERT_TRUE(rows->isVisible());
    const QImage shot = rows->viewport()->grab().toImage();
    const InkOnPaper first =
        ReadCell(shot, QRect(0, rows->sectionViewportPosition(0), rows->width(), 20));
    EXPECT_GE(first.contrast, 4.5) << "no test number drawn in the row header";
    EXPECT_EQ(rows->model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("\u2260 001"));
}

TEST_F(Desktop, EmptyListHintIsDrawnAndGoesWithTheFirstRecord) {
    auto* list = Child<QTableView>(main_, "PinList");
    // Pixels unlike the list's background from row `top` down, at most `rows` rows.
    const auto inked = [&](int top, int rows) {
        Settle(100);
        const QImage image = list->viewport()->grab().toImage();
        const QRgb base = list->palette().color(QPalette::Base).rgb();
        int n = 0;
        for (int y = top * 20; y < std::min(image.height(), (top + rows) * 20); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                n += (image.pixel(x, y) | 0xFF000000u) != base;
            }
        }
        return n;
    };
    EXPECT_GT(inked(0, 3), 50) << "no hint in the empty list";
    vark::RecordBlock block = vark::ProductionRunBlock();
    main_.SetBlock(block);
    // Twenty rows; below them nothing, the hint included.
    ASSERT_GT(list->viewport()->height(), 21 * 20);
    EXPECT_EQ(inked(21, 10), 0) << "the hint outlived the first record";
    block.count = 0;
    main_.SetBlock(block);
    EXPECT_EQ(main_.RowCount(), 0);
    EXPECT_GT(inked(0, 3), 50) << "the hint did not come back with an empty list";
}

// --- The program itself, started as a user starts it ---

QRect ScreenRect() {
    return QRect(0, 0, DisplayWidth(g_dpy, DefaultScreen(g_dpy)),
                 DisplayHeight(g_dpy, DefaultScreen(g_dpy)));
}

QRect XFrameRect(Window w) {
    XSync(g_dpy, False);
    return RectOnScreen(FrameOf(w));
}

std::vector<unsigned long> WindowProperty(Window w, const char* name, Atom type) {
    const Atom prop = XInternAtom(g_dpy, name, False);
    Atom actual = 0;
    int format = 0;
    unsigned long n = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> out;
    if (XGetWindowProperty(g_dpy, w, prop, 0, 1 << 20, False, type, &actual, &format, &n, &after,
                           &data) == Success &&
        data) {
        if (format == 32) {
            const auto* v = reinterpret_cast<const unsigned long*>(data);
            out.assign(v, v + n);
        }
        XFree(data);
    }
    return out;
}

std::string AtomName(unsigned long atom) {
    char* name = XGetAtomName(g_dpy, static_cast<Atom>(atom));
    std::string out = name ? name : "";
    if (name) {
        XFree(name);
    }
    return out;
}

// VARK-u run in a process of its own with a settings folder of its own.
class Program {
  public:
    explicit Program(const QString& configHome, double scale = 1.0) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale));
        // No tester of the machine is looked for.
        env.insert(QStringLiteral("VARK_PORT"), QStringLiteral("/nonexistent/vark-test-port"));
        // On the accessibility bus whether or not a screen reader runs.
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        process_.setProcessEnvironment(env);
        process_.setProgram(QStringLiteral(VARK_APP_BINARY));
        process_.start();
        process_.waitForStarted();
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    // The visible windows of the program titled `title`.
    std::vector<Window> Windows(const char* title) const {
        QProcess search;
        search.start(
            QStringLiteral("xdotool"),
            {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
             QStringLiteral("--pid"), QString::number(process_.processId()),
             QStringLiteral("--name"), QStringLiteral("^%1$").arg(QLatin1String(title))});
        search.waitForFinished(5000);
        std::vector<Window> out;
        for (const QByteArray& line : search.readAllStandardOutput().split('\n')) {
            if (!line.trimmed().isEmpty()) {
                out.push_back(static_cast<Window>(line.trimmed().toULong()));
            }
        }
        return out;
    }
    // The first such window once it is framed, or 0.
    Window WaitWindow(const char* title, int ms = 15000) const {
        Window found = 0;
        WaitFor(
            [&] {
                const auto ws = Windows(title);
                if (!ws.empty() && FrameOf(ws.front()) != ws.front()) {
                    found = ws.front();
                }
                return found != 0;
            },
            ms);
        Settle(300);
        return found;
    }
    static void Key(Window w, const char* key) {
        // Bounded: a window a modal dialog blocks never becomes active.
        QProcess activate;
        activate.start(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"),
                                                   QStringLiteral("--sync"), QString::number(w)});
        if (!activate.waitForFinished(3000)) {
            activate.kill();
            activate.waitForFinished();
        }
        Xdotool(
            {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QString::fromLatin1(key)});
    }
    qint64 Pid() const { return process_.processId(); }
    bool WaitEnded(int ms = 10000) {
        return process_.waitForFinished(ms) && process_.exitStatus() == QProcess::NormalExit &&
               process_.exitCode() == 0;
    }

  private:
    QProcess process_;
};

TEST(Program, MainWindowIsAnOrdinaryApplicationWindowAndEscapeStillEndsIt) {
    QTemporaryDir config;
    Program program(config.path());
    const Window w = program.WaitWindow("VARK-u");
    ASSERT_NE(w, 0u);
    std::vector<std::string> states;
    for (unsigned long a : WindowProperty(w, "_NET_WM_STATE", XA_ATOM)) {
        states.push_back(AtomName(a));
    }
    for (const char* never :
         {"_NET_WM_STATE_MODAL", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        EXPECT_EQ(std::count(states.begin(), states.end(), never), 0) << never;
    }
    const auto types = WindowProperty(w, "_NET_WM_WINDOW_TYPE", XA_ATOM);
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(AtomName(types.front()), "_NET_WM_WINDOW_TYPE_NORMAL");
    EXPECT_TRUE(WindowProperty(w, "WM_TRANSIENT_FOR", XA_WINDOW).empty());
    // Its icon, for the task bar: width, height, then the pixels.
    const auto icon = WindowProperty(w, "_NET_WM_ICON", XA_CARDINAL);
    ASSERT_GE(icon.size(), 2u);
    EXPECT_GE(icon.size(), icon[0] * icon[1] + 2) << "the first picture is not whole";
    EXPECT_GT(icon[0], 0u);
    // The window manager lists it among the client windows a task bar shows.
    const auto clients = WindowProperty(RootOf(), "_NET_CLIENT_LIST", XA_WINDOW);
    EXPECT_NE(std::find(clients.begin(), clients.end(), w), clients.end());

    Program::Key(w, "Escape");
    EXPECT_TRUE(program.WaitEnded()) << "Escape did not end the program";
}

TEST(Program, WindowAndDialogsFitTheScreenAtEveryScale) {
    const QRect screen = ScreenRect();
    for (const double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        QTemporaryDir config;
        Program program(config.path(), scale);
        const Window w = program.WaitWindow("VARK-u");
        ASSERT_NE(w, 0u);
        const QRect frame = XFrameRect(w);
        EXPECT_TRUE(screen.contains(frame))
            << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        // Never below the minimum, in the window's own pixels.
        EXPECT_GE(frame.width(), qRound(480 * scale) - 1);
        EXPECT_GE(frame.height(), qRound(360 * scale) - 1);

        const auto inside = [&](Window d, const char* what) {
            const QRect r = XFrameRect(d);
            EXPECT_TRUE(screen.contains(r))
                << what << " at " << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
        };
        // Print is left out: its dialog would list the machine's printers.
        for (const auto& [key, title] :
             {std::pair{"F1", "About VARK-u"}, std::pair{"ctrl+o", "Open"},
              std::pair{"ctrl+s", "Save As"}, std::pair{"ctrl+u", "Upload Data"}}) {
            Program::Key(w, key);
            bool seen = false;
            WaitFor(
                [&] {
                    // Boxes on the way (the Upload dialog's port cannot be opened).
                    for (Window box : program.Windows("VARK-u")) {
                        if (box != w && FrameOf(box) != box) {
                            Settle(200);
                            inside(box, "a message box");
                            Xdotool({QStringLiteral("key"), QStringLiteral("Return")});
                            Settle(300);
                        }
                    }
                    const auto ds = program.Windows(title);
                    if (!ds.empty() && FrameOf(ds.front()) != ds.front()) {
                        Settle(300);
                        inside(ds.front(), title);
                        seen = true;
                    }
                    return seen;
                },
                15000);
            EXPECT_TRUE(seen) << title;
            for (int i = 0; i < 4 && !program.Windows(title).empty(); ++i) {
                Program::Key(program.Windows(title).front(), "Escape");
                Settle(400);
            }
            ASSERT_TRUE(program.Windows(title).empty()) << title << " did not close";
        }
        Program::Key(w, "Escape");
        EXPECT_TRUE(program.WaitEnded());
    }
}

TEST(Program, PlaceIsRestoredOnlyWhileItsScreenIsThere) {
    QTemporaryDir config;
    const QRect screen = ScreenRect();
    QRect before;
    {
        Program program(config.path());
        const Window w = program.WaitWindow("VARK-u");
        ASSERT_NE(w, 0u);
        Xdotool({QStringLiteral("windowsize"), QString::number(w), QStringLiteral("640"),
                 QStringLiteral("420")});
        Xdotool({QStringLiteral("windowmove"), QString::number(w), QStringLiteral("200"),
                 QStringLiteral("150")});
        Settle(500);
        before = XFrameRect(w);
        Program::Key(w, "Escape");
        ASSERT_TRUE(program.WaitEnded());
    }
    const QString file = config.filePath(QStringLiteral("vark-u/vark-u.conf"));
    ASSERT_TRUE(QFile::exists(file));
    {
        Program program(config.path());
        const Window w = program.WaitWindow("VARK-u");
        ASSERT_NE(w, 0u);
        const QRect after = XFrameRect(w);
        EXPECT_EQ(after, before) << after.x() << "," << after.y() << " " << after.width() << "x"
                                 << after.height() << " was " << before.x() << "," << before.y()
                                 << " " << before.width() << "x" << before.height();
        Program::Key(w, "Escape");
        ASSERT_TRUE(program.WaitEnded());
    }
    // As if it had last been on a second screen, right of this one.
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(QStringLiteral("window/x"), screen.width() + 300);
        settings.setValue(QStringLiteral("window/y"), 100);
    }
    {
        Program program(config.path());
        const Window w = program.WaitWindow("VARK-u");
        ASSERT_NE(w, 0u);
        const QRect frame = XFrameRect(w);
        EXPECT_TRUE(screen.contains(frame)) << frame.x() << "," << frame.y();
        Program::Key(w, "Escape");
        ASSERT_TRUE(program.WaitEnded());
    }
}

struct AccessibleNode {
    int depth = 0;
    QString role;
    QString name;
    QString description;
};

// The program's controls as a screen reader reads them over AT-SPI.
std::vector<AccessibleNode> AccessibleTree(qint64 pid) {
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(VARK_ACCESSIBLE_TREE), QString::number(pid)});
    if (!reader.waitForFinished(30000)) {
        reader.kill();
        reader.waitForFinished();
    }
    std::vector<AccessibleNode> nodes;
    for (const QString& line : QString::fromUtf8(reader.readAllStandardOutput()).split('\n')) {
        const QStringList f = line.split('\t');
        if (f.size() == 4) {
            nodes.push_back({f[0].toInt(), f[1], f[2], f[3]});
        }
    }
    return nodes;
}

// Every control named and described, no two buttons alike, no stray blanks.
void ExpectNamedControls(const std::vector<AccessibleNode>& nodes, const char* where) {
    const QStringList controls = {"push button",  "text",     "table",
                                  "label",        "tool bar", "status bar",
                                  "progress bar", "panel",    "table column header"};
    QStringList buttons;
    QStringList columns;
    for (const AccessibleNode& n : nodes) {
        if (n.role == QLatin1String("panel") && n.depth > 2 && n.name.isEmpty()) {
            continue;  // a list's own inner parts
        }
        if (!controls.contains(n.role)) {
            continue;
        }
        EXPECT_FALSE(n.name.isEmpty()) << where << ": a " << n.role.toStdString() << " has no name";
        EXPECT_EQ(n.name, n.name.trimmed()) << where << ": \"" << n.name.toStdString() << "\"";
        if (n.role == QLatin1String("table column header")) {
            columns << n.name;
            continue;
        }
        EXPECT_FALSE(n.description.isEmpty()) << where << ": " << n.role.toStdString() << " "
                                              << n.name.toStdString() << " has no description";
        if (n.role == QLatin1String("push button")) {
            EXPECT_FALSE(buttons.contains(n.name))
                << where << ": two buttons read \"" << n.name.toStdString() << "\"";
            buttons << n.name;
        }
    }
    EXPECT_EQ(columns.size(), QSet<QString>(columns.begin(), columns.end()).size())
        << where << ": columns read alike: " << columns.join(QLatin1Char('|')).toStdString();
}

TEST(Program, ScreenReadersFindEveryControlByName) {
    QTemporaryDir config;
    Program program(config.path());
    const Window w = program.WaitWindow("VARK-u");
    ASSERT_NE(w, 0u);
    const std::vector<AccessibleNode> main = AccessibleTree(program.Pid());
    ASSERT_GE(main.size(), 10u) << "the program is not on the accessibility bus";
    // The main window is a frame to assistive tools, not a dialog.
    ASSERT_GE(main.size(), 2u);
    EXPECT_EQ(main[1].role, QStringLiteral("frame"));
    EXPECT_EQ(main[1].name, QStringLiteral("VARK-u"));
    ExpectNamedControls(main, "main window");
    const auto named = [&](const char* role, const char* name) {
        return std::any_of(main.begin(), main.end(), [&](const AccessibleNode& n) {
            return n.role == QLatin1String(role) && n.name == QLatin1String(name);
        });
    };
    EXPECT_TRUE(named("text", "Record file path"));
    EXPECT_TRUE(named("table", "Test records"));
    EXPECT_TRUE(named("table column header", "ID"));
    EXPECT_TRUE(named("table column header", "Pin State 6"));

    Program::Key(w, "F1");
    const Window about = program.WaitWindow("About VARK-u", 10000);
    ASSERT_NE(about, 0u);
    const std::vector<AccessibleNode> box = AccessibleTree(program.Pid());
    EXPECT_TRUE(std::any_of(box.begin(), box.end(), [](const AccessibleNode& n) {
        return n.role == QLatin1String("dialog") && n.name == QLatin1String("About VARK-u");
    }));
    ExpectNamedControls(box, "About box");
    Program::Key(about, "Escape");
    ASSERT_TRUE(WaitFor([&] { return program.Windows("About VARK-u").empty(); }));
    Program::Key(w, "Escape");
    EXPECT_TRUE(program.WaitEnded());
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
