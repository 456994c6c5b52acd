#include "app/about_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/app_icons.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CAboutDlg"));
    setWindowTitle(QString::fromLatin1(vark::kAboutCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    m_pIcon = new QLabel(this);
    m_pIcon->setPixmap(vark::AppIcon().pixmap(32, 32));
    m_pIcon->setFixedSize(32, 32);

    // Plain text keeps the three blanks before "Version".
    m_pVersion = new QLabel(QString::fromLatin1(vark::kAboutVersion), this);
    m_pVersion->setTextFormat(Qt::PlainText);
    m_pRights = new QLabel(QString::fromLatin1(vark::kAboutRights), this);
    m_pRights->setTextFormat(Qt::PlainText);

    m_pOkButton = new QPushButton(QStringLiteral("OK"), this);
    m_pOkButton->setDefault(true);
    m_pOkButton->setMinimumWidth(75);
    connect(m_pOkButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(10);
    grid->addWidget(m_pIcon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(m_pVersion, 0, 1);
    grid->addWidget(m_pRights, 1, 1);
    grid->addWidget(m_pOkButton, 0, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    m_pOkButton->setFocus();
}
