#include "report/qt_page_surface.h"

#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>

#include "platform/file_io.h"

namespace vark {

QtPageSurface::QtPageSurface(std::unique_ptr<QPrinter> printer) : printer_(std::move(printer)) {
    selectedPen_ = QPen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QtPageSurface::~QtPageSurface() {
    if (painter_.isActive()) {
        painter_.end();  // a job that never finished still closes its file
    }
    if (onFinished_) {
        onFinished_(false);
    }
}

int QtPageSurface::DeviceCaps(DeviceCap cap) {
    switch (cap) {
        case DeviceCap::LogPixelsX:
            return printer_->logicalDpiX();
        case DeviceCap::LogPixelsY:
            return printer_->logicalDpiY();
        case DeviceCap::HorzRes:
            return printer_->width();
        case DeviceCap::VertRes:
            return printer_->height();
    }
    return 0;
}

void QtPageSurface::DeliverTo(std::string target, std::shared_ptr<std::error_code> reason) {
    deliverTo_ = std::move(target);
    deliveryReason_ = std::move(reason);
}

int QtPageSurface::StartDoc(const std::u16string& name) {
    printer_->setDocName(QString::fromStdU16String(name));
    if (!deliverTo_.empty()) {
        scratch_ = std::make_unique<QTemporaryDir>();
        if (!scratch_->isValid()) {
            if (deliveryReason_) {
                *deliveryReason_ = std::make_error_code(std::errc::io_error);
            }
            return kSpError;
        }
        printer_->setOutputFileName(scratch_->filePath(QStringLiteral("report.pdf")));
    }
    if (!painter_.begin(printer_.get())) {
        return kSpError;
    }
    // begin() resets the painter: carry over what was selected before the document.
    painter_.setFont(CurrentFont());
    painter_.setPen(CurrentPen());
    pagesStarted_ = 0;
    return 1;
}

int QtPageSurface::EndDoc() {
    if (!painter_.isActive()) {
        return -1;
    }
    bool ok = painter_.end();
    if (!deliverTo_.empty()) {
        // The PDF engine does not report its write errors: the document is
        // read back whole and must end with the PDF trailer before it may
        // replace anything.
        std::error_code reason;
        QFile done(printer_->outputFileName());
        QByteArray bytes;
        if (ok && done.open(QIODevice::ReadOnly)) {
            bytes = done.readAll();
        }
        if (!ok || bytes.isEmpty() || !bytes.trimmed().endsWith("%%EOF")) {
            reason = std::make_error_code(std::errc::io_error);
        } else {
            reason = platform::ReplaceFileContents(
                deliverTo_,
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        }
        scratch_.reset();
        if (deliveryReason_) {
            *deliveryReason_ = reason;
        }
        ok = ok && !reason;
    }
    if (onFinished_) {
        onFinished_(ok);
        onFinished_ = nullptr;
    }
    return ok ? 1 : -1;
}

int QtPageSurface::StartPage() {
    if (!painter_.isActive()) {
        return -1;
    }
    // QPainter::begin opened the first page already.
    if (pagesStarted_++ > 0 && !printer_->newPage()) {
        return -1;
    }
    return 1;
}

int QtPageSurface::EndPage() {
    return painter_.isActive() ? 1 : -1;
}

QFont QtPageSurface::ToQFont(const LogicalFont& lf) {
    // The face decides; the pitch bits are not passed on, since asking for a
    // fixed pitch would make fontconfig trade Arial (Liberation Sans) for a
    // monospaced face. Character set, precisions and quality have no Qt meaning.
    QFont f(QString::fromStdU16String(lf.faceName));
    const int px = lf.height < 0 ? -lf.height : lf.height;
    if (px > 0) {
        f.setPixelSize(px);
    }
    const int weight = lf.weight <= 0 ? kWeightNormal : std::clamp(lf.weight, 1, 1000);
    f.setWeight(static_cast<QFont::Weight>(weight));
    f.setItalic(lf.italic);
    f.setUnderline(lf.underline);
    f.setStrikeOut(lf.strikeOut);
    // Printer output: no hinting to screen pixels, so widths scale exactly.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

FontHandle QtPageSurface::CreateFont(const LogicalFont& font) {
    const FontHandle h = nextHandle_++;
    fonts_.emplace(h, ToQFont(font));
    return h;
}

FontHandle QtPageSurface::SelectFont(FontHandle font) {
    const FontHandle old = font_;
    const auto it = fonts_.find(font);
    if (it == fonts_.end()) {
        return 0;
    }
    font_ = font;
    selectedFont_ = it->second;
    if (painter_.isActive()) {
        painter_.setFont(selectedFont_);
    }
    return old;
}

void QtPageSurface::DeleteFont(FontHandle font) {
    fonts_.erase(font);
}

PenHandle QtPageSurface::CreatePen(int width, std::uint32_t colour) {
    const PenHandle h = nextHandle_++;
    const QColor c(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                   static_cast<int>((colour >> 16) & 0xFF));
    pens_.emplace(h, QPen(c, std::max(width, 1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    return h;
}

PenHandle QtPageSurface::SelectPen(PenHandle pen) {
    const PenHandle old = pen_;
    if (pen == 0) {
        selectedPen_ = QPen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    } else {
        const auto it = pens_.find(pen);
        if (it == pens_.end()) {
            return 0;
        }
        selectedPen_ = it->second;
    }
    pen_ = pen;
    if (painter_.isActive()) {
        painter_.setPen(selectedPen_);
    }
    return old;
}

void QtPageSurface::DeletePen(PenHandle pen) {
    pens_.erase(pen);
}

void QtPageSurface::MoveTo(int x, int y) {
    curX_ = x;
    curY_ = y;
}

void QtPageSurface::LineTo(int x, int y) {
    if (painter_.isActive()) {
        painter_.drawLine(curX_, curY_, x, y);
    }
    curX_ = x;
    curY_ = y;
}

TextExtent QtPageSurface::MeasureText(const std::u16string& text) {
    const QFontMetrics fm(CurrentFont(), printer_.get());
    return {fm.horizontalAdvance(QString::fromStdU16String(text)), fm.height()};
}

void QtPageSurface::TextOut(int x, int y, const std::u16string& text) {
    if (!painter_.isActive()) {
        return;
    }
    // QPainter places text on its baseline; the caller gives the top-left corner.
    const QFontMetrics fm(painter_.font(), printer_.get());
    painter_.drawText(QPoint(x, y + fm.ascent()), QString::fromStdU16String(text));
}

QFont QtPageSurface::CurrentFont() const {
    return selectedFont_;
}

QPen QtPageSurface::CurrentPen() const {
    return selectedPen_;
}

PdfFileChooser::PdfFileChooser(std::string outputFile, PageSize size, int resolution)
    : file_(std::move(outputFile)), size_(size), resolution_(resolution) {}

PdfFileChooser::PdfFileChooser(const QString& outputFile, PageSize size, int resolution)
    : PdfFileChooser(QFile::encodeName(outputFile).toStdString(), size, resolution) {}

std::unique_ptr<PageSurface> PdfFileChooser::Make(const std::string& file) const {
    if (file.empty()) {
        return nullptr;
    }
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setResolution(resolution_);
    // The whole sheet is printable in a PDF: the layout's own margins do the rest.
    const QPageSize page(size_ == PageSize::Letter ? QPageSize::Letter : QPageSize::A4);
    printer->setPageLayout(QPageLayout(page, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    printer->setCreator(QStringLiteral("VARK-u"));
    auto surface = std::make_unique<QtPageSurface>(std::move(printer));
    surface->DeliverTo(file, failure_);
    surface->setOnFinished([written = written_](bool ok) { *written = ok; });
    return surface;
}

std::unique_ptr<PageSurface> PdfFileChooser::Choose() {
    return Make(file_);
}

std::unique_ptr<PageSurface> PdfFileChooser::ByName(const std::u16string& device) {
    return Make(QFile::encodeName(QString::fromStdU16String(device)).toStdString());
}

void PrepareQtPlatform() {
    // Printing draws nothing on screen: without a display the offscreen
    // platform serves, and it is the default even with one.
    const bool display =
        std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
    ::setenv("QT_QPA_PLATFORM", "offscreen", display ? 0 : 1);
}

void EnsureGuiApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    PrepareQtPlatform();
    static int argc = 1;
    static char name[] = "vark";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

}  // namespace vark
