// The About box: application icon, product name and version, a notice of
// rights and OK. Enter, Escape, OK and the close box all end it.
#pragma once

#include <QDialog>

#include "vark_version.h"

class QLabel;
class QPushButton;

namespace vark {

inline constexpr char kAboutCaption[] = "About VARK-u";
inline constexpr char kAboutVersion[] = "Kelvor VARK-u   Version " VARK_VERSION;
inline constexpr char kAboutRights[] = "(C) Kelvor. All rights reserved.";
// The box's inside, in dialog units.
inline constexpr int kAboutWidthDlu = 235;
inline constexpr int kAboutHeightDlu = 65;

// Its parts, by object name: "Icon", "VersionText", "RightsText", "OkButton".
class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);

  private:
    QLabel* icon_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* rights_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace vark
