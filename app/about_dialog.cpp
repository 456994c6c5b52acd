#include "app/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/app_icons.h"
#include "app/dialog_units.h"

namespace vark {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QString::fromLatin1(kAboutCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    setFont(DialogFont());
    const DialogUnits du(font());

    // Placed as the template places them, in dialog units of the dialog font.
    icon_ = new QLabel(this);
    icon_->setObjectName(QStringLiteral("Icon"));
    icon_->setAccessibleName(QStringLiteral("VARK-u icon"));
    icon_->setAccessibleDescription(QStringLiteral("The program's icon"));
    icon_->setPixmap(AppIcon().pixmap(32, 32));
    icon_->setGeometry(du.X(11), du.Y(22), 32, 32);  // an icon control takes the icon's size

    // Plain text keeps the three blanks before "Version".
    version_ = new QLabel(QString::fromLatin1(kAboutVersion), this);
    version_->setObjectName(QStringLiteral("VersionText"));
    version_->setAccessibleName(QStringLiteral("Version"));
    version_->setAccessibleDescription(QString::fromLatin1(kAboutVersion).trimmed());
    version_->setTextFormat(Qt::PlainText);
    version_->setGeometry(du.Rect(42, 17, 119, 8));
    rights_ = new QLabel(QString::fromLatin1(kAboutRights), this);
    rights_->setObjectName(QStringLiteral("RightsText"));
    rights_->setAccessibleName(QStringLiteral("Rights"));
    rights_->setAccessibleDescription(QString::fromLatin1(kAboutRights));
    rights_->setTextFormat(Qt::PlainText);
    rights_->setGeometry(du.Rect(42, 34, 119, 8));

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("OkButton"));
    okButton_->setAccessibleName(QStringLiteral("OK"));
    okButton_->setAccessibleDescription(QStringLiteral("Closes the About box"));
    okButton_->setDefault(true);
    okButton_->setGeometry(du.Rect(173, 14, 50, 18));
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(du.X(kAboutWidthDlu), du.Y(kAboutHeightDlu));
    okButton_->setFocus();
}

}  // namespace vark
