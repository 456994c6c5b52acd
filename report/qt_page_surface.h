// The page surface over a Qt printer: QPrinter (a real printer or a PDF file)
// drawn with QPainter in device pixels. Needs a QGuiApplication.
#pragma once

#include <QFont>
#include <QPainter>
#include <QPen>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>

#include "report/page_surface.h"

class QPrinter;
class QTemporaryDir;

namespace vark {

class QtPageSurface : public PageSurface {
  public:
    explicit QtPageSurface(std::unique_ptr<QPrinter> printer);
    ~QtPageSurface() override;

    int DeviceCaps(DeviceCap cap) override;
    int StartDoc(const std::u16string& name) override;
    int EndDoc() override;
    int StartPage() override;
    int EndPage() override;
    FontHandle CreateFont(const LogicalFont& font) override;
    FontHandle SelectFont(FontHandle font) override;
    void DeleteFont(FontHandle font) override;
    PenHandle CreatePen(int width, std::uint32_t colour) override;
    PenHandle SelectPen(PenHandle pen) override;
    void DeletePen(PenHandle pen) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    TextExtent MeasureText(const std::u16string& text) override;
    void TextOut(int x, int y, const std::u16string& text) override;

    QPrinter& printer() { return *printer_; }
    // Told once whether the document was completed (false when it was never
    // started or the surface went before its end).
    void setOnFinished(std::function<void(bool)> f) { onFinished_ = std::move(f); }
    // Makes a PDF printer write the file `target` (the file system's own bytes)
    // the safe way: the document goes to a private temporary file, and only a
    // complete document replaces the target, as a record file save does. A
    // failure leaves the target as it was, makes the document incomplete and
    // puts the system's reason into `reason` when given. Call before StartDoc.
    void DeliverTo(std::string target, std::shared_ptr<std::error_code> reason = {});
    // The Qt font a logical font asks for: pixel size from a negative height.
    static QFont ToQFont(const LogicalFont& font);

  private:
    QFont CurrentFont() const;
    QPen CurrentPen() const;

    std::unique_ptr<QPrinter> printer_;
    QPainter painter_;
    std::map<FontHandle, QFont> fonts_;
    std::map<PenHandle, QPen> pens_;
    FontHandle nextHandle_ = 0x10;
    FontHandle font_ = 0;
    QFont selectedFont_;  // kept even when its handle is deleted while selected
    PenHandle pen_ = 0;
    QPen selectedPen_;
    int pagesStarted_ = 0;
    int curX_ = 0;
    int curY_ = 0;
    std::function<void(bool)> onFinished_;
    std::string deliverTo_;
    std::shared_ptr<std::error_code> deliveryReason_;
    std::unique_ptr<QTemporaryDir> scratch_;
};

// Makes QPrinters that write PDF files, without any dialog: the report on a
// machine with no printer or no display.
class PdfFileChooser : public PrinterChooser {
  public:
    enum class PageSize { A4, Letter };
    // `outputFile` in the file system's own bytes, passed through unchanged.
    PdfFileChooser(std::string outputFile, PageSize size, int resolution = 600);
    PdfFileChooser(const QString& outputFile, PageSize size, int resolution = 600);

    // Set to true when a document was completed into the file.
    std::shared_ptr<bool> written() const { return written_; }
    // Why the file could not be written, when it could not.
    std::shared_ptr<std::error_code> failure() const { return failure_; }

    std::unique_ptr<PageSurface> Choose() override;
    // The device name is the output file.
    std::unique_ptr<PageSurface> ByName(const std::u16string& device) override;

  private:
    std::unique_ptr<PageSurface> Make(const std::string& file) const;

    std::string file_;
    PageSize size_;
    int resolution_;
    std::shared_ptr<bool> written_ = std::make_shared<bool>(false);
    std::shared_ptr<std::error_code> failure_ = std::make_shared<std::error_code>();
};

// Sets QT_QPA_PLATFORM to offscreen when no display is reachable (or when it
// is unset), before a QGuiApplication is made.
void PrepareQtPlatform();

// Fonts and printers need a QGuiApplication: makes one for the rest of the
// process when there is none.
void EnsureGuiApplication();

}  // namespace vark
