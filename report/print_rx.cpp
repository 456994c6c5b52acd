#include "report/print_rx.h"

#include <cstdint>
#include <limits>

namespace vark {

int MulDiv(int a, int b, int c) {
    if (c == 0) {
        return -1;
    }
    const std::int64_t p = static_cast<std::int64_t>(a) * b;
    std::int64_t q = p / c;
    const std::int64_t r = p % c;
    // Round half away from zero: compare twice the remainder with the divisor.
    const std::int64_t absR = r < 0 ? -r : r;
    const std::int64_t absC = c < 0 ? -static_cast<std::int64_t>(c) : c;
    if (2 * absR >= absC) {
        q += ((p < 0) != (c < 0)) ? -1 : 1;
    }
    if (q > std::numeric_limits<int>::max() || q < std::numeric_limits<int>::min()) {
        return -1;
    }
    return static_cast<int>(q);
}

CPrintRX::CPrintRX(ChooserFactory makeDialog) : m_makeDialog(std::move(makeDialog)) {}

CPrintRX::~CPrintRX() {
    for (auto& set : m_fonts) {
        for (FontHandle& f : set) {
            if (f != 0 && m_hPrinter) {
                m_hPrinter->DeleteFont(f);
            }
            f = 0;
        }
    }
    m_pDialog.reset();
    m_pDC = nullptr;
    m_hPrinter.reset();
}

int CPrintRX::Caps(DeviceCap cap) const {
    return m_pDC ? m_pDC->DeviceCaps(cap) : 0;
}

int CPrintRX::SelectPrinter(const std::optional<std::u16string>& device) {
    if (!m_pDialog && m_makeDialog) {
        m_pDialog = m_makeDialog();
    }
    if (!m_pDialog) {
        return -1;
    }
    std::unique_ptr<PageSurface> dc = device ? m_pDialog->ByName(*device) : m_pDialog->Choose();
    if (!dc) {
        return -1;  // cancelled, or no context: the dialog object stays until destruction
    }
    // A second successful choice replaces the first job's context.
    m_pDC = nullptr;
    m_hPrinter = std::move(dc);
    m_pDC = m_hPrinter.get();
    m_pDialog.reset();

    LogicalFont font;
    font.height = -MulDiv(10, Caps(DeviceCap::LogPixelsY), 72);
    font.weight = kWeightNormal;
    font.charSet = kAnsiCharset;
    font.pitchAndFamily = kFixedPitch;
    font.faceName = u"Arial";
    AddFontSet(font);
    SelectFont(0, 0);
    return 0;
}

int CPrintRX::AddFontSet(LogicalFont& font) {
    if (m_nFontSets >= kFontSets) {
        return -1;
    }
    auto& set = m_fonts[static_cast<std::size_t>(m_nFontSets)];
    auto create = [&](const LogicalFont& lf) -> FontHandle {
        return m_hPrinter ? m_hPrinter->CreateFont(lf) : 0;
    };
    set[0] = create(font);
    font.weight = kWeightBlack;
    set[1] = create(font);
    font.weight = kWeightNormal;
    font.height = -MulDiv(25, Caps(DeviceCap::LogPixelsY), 72);
    set[2] = create(font);
    font.weight = kWeightBlack;
    set[3] = create(font);
    ++m_nFontSets;
    return 0;
}

int CPrintRX::SelectFont(int set, int variant) {
    m_nCurSet = set;
    // A set never created or a variant out of range selects nothing.
    if (set < 0 || set >= m_nFontSets || variant < 0 || variant >= kFontVariants) {
        return 0;
    }
    m_nVariant[static_cast<std::size_t>(set)] = variant;
    const FontHandle f = m_fonts[static_cast<std::size_t>(set)][static_cast<std::size_t>(variant)];
    if (m_pDC && f != 0) {
        m_pDC->SelectFont(f);
    }
    return 0;
}

int CPrintRX::BeginDoc() {
    if (!m_pDC) {
        return -1;
    }
    // The resources hold no application title, so every job is unnamed.
    if (m_pDC->StartDoc(std::u16string()) == kSpError) {
        return -1;
    }
    m_nPageWidth = m_pDC->DeviceCaps(DeviceCap::HorzRes);
    m_nPageHeight = m_pDC->DeviceCaps(DeviceCap::VertRes);
    return 0;
}

int CPrintRX::PageWidth() {
    return MulDiv(m_nPageWidth, 72, Caps(DeviceCap::LogPixelsX));
}

int CPrintRX::PageHeight() {
    return MulDiv(m_nPageHeight, 72, Caps(DeviceCap::LogPixelsY));
}

int CPrintRX::BeginPage() {
    if (!m_pDC) {
        return -1;
    }
    return m_pDC->StartPage() < 0 ? -1 : 0;
}

int CPrintRX::DrawLine(int x1, int y1, int x2, int y2, PenHandle pen) {
    if (!m_pDC) {
        return 0;
    }
    const PenHandle old = m_pDC->SelectPen(pen);
    m_pDC->MoveTo(X(x1), Y(y1));
    m_pDC->LineTo(X(x2), Y(y2));
    m_pDC->SelectPen(old);
    return 0;
}

int CPrintRX::PrintText(const std::string& text, const PrintRect& rect, int flags) {
    // Widen byte by byte: the report's texts are single-byte.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    return PrintText(std::u16string(bytes, bytes + text.size()), rect, flags);
}

int CPrintRX::TextWidth(const std::u16string& text) {
    return m_pDC ? MulDiv(m_pDC->MeasureText(text).cx, 72, Caps(DeviceCap::LogPixelsX)) : 0;
}

int CPrintRX::PrintText(const std::u16string& wide, const PrintRect& rect, int flags) {
    if (!m_pDC) {
        return 1;
    }
    const TextExtent size = m_pDC->MeasureText(wide);
    const int L = X(rect.left);
    const int Wd = X(rect.right - rect.left);
    const int T = Y(rect.top);
    const int Hd = Y(rect.bottom - rect.top);

    int x = L;
    if (flags & PT_HCENTER) {
        x = L + (Wd / 2 - size.cx / 2);
    } else if (flags & PT_RIGHT) {
        x = L + Wd - size.cx;
    }
    if (x < L) {
        x = L;
    }
    int y = T;
    if (flags & PT_VCENTER) {
        y = T + (Hd / 2 - size.cy / 2);
    }
    if (y < T) {
        y = T;
    }
    m_pDC->TextOut(x, y, wide);
    return 1;
}

int CPrintRX::FinishPage() {
    return m_pDC ? m_pDC->EndPage() : -1;
}

void CPrintRX::NextPage() {
    if (m_pDC) {
        m_pDC->EndPage();
        m_pDC->StartPage();
    }
}

int CPrintRX::FinishDoc() {
    if (m_pDC) {
        m_pDC->EndDoc();
    }
    // Detach only: the context itself is released with the engine.
    m_pDC = nullptr;
    return 0;
}

}  // namespace vark
