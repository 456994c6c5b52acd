// The About box: application icon, product name and version, a notice of
// rights and OK. Enter, Escape, OK and the close box all end it.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* m_pIcon = nullptr;
    QLabel* m_pVersion = nullptr;
    QLabel* m_pRights = nullptr;
    QPushButton* m_pOkButton = nullptr;
};

namespace vark {
inline constexpr char kAboutCaption[] = "About VARK-u";
inline constexpr char kAboutVersion[] = "Kelvor VARK-u   Version 2.0";
inline constexpr char kAboutRights[] = "(C) Kelvor. All rights reserved.";
// The box's inside, in dialog units.
inline constexpr int kAboutWidthDlu = 235;
inline constexpr int kAboutHeightDlu = 65;
}  // namespace vark
