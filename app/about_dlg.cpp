#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/app_icons.h"
#include "app/dialog_units.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CAboutDlg"));
    setWindowTitle(QString::fromLatin1(vark::kAboutCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    setFont(vark::DialogFont());
    const vark::DialogUnits du(font());

    // Placed as the template places them, in dialog units of the dialog font.
    m_pIcon = new QLabel(this);
    m_pIcon->setPixmap(vark::AppIcon().pixmap(32, 32));
    m_pIcon->setGeometry(du.X(11), du.Y(22), 32, 32);  // an icon control takes the icon's size

    // Plain text keeps the three blanks before "Version".
    m_pVersion = new QLabel(QString::fromLatin1(vark::kAboutVersion), this);
    m_pVersion->setTextFormat(Qt::PlainText);
    m_pVersion->setGeometry(du.Rect(42, 17, 119, 8));
    m_pRights = new QLabel(QString::fromLatin1(vark::kAboutRights), this);
    m_pRights->setTextFormat(Qt::PlainText);
    m_pRights->setGeometry(du.Rect(42, 34, 119, 8));

    m_pOkButton = new QPushButton(QStringLiteral("OK"), this);
    m_pOkButton->setDefault(true);
    m_pOkButton->setGeometry(du.Rect(173, 14, 50, 18));
    connect(m_pOkButton, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(du.X(vark::kAboutWidthDlu), du.Y(vark::kAboutHeightDlu));
    m_pOkButton->setFocus();
}
