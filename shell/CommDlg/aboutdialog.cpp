#include "aboutdialog.h"

#include "FileVersion.h"
#include "VX_Prod.h"
#include "WritablePlaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace {

QString linkHtml(const QString& site)
{
    return QStringLiteral("<html><head/><body><p><a href='") + site
           + QStringLiteral("'><span style=' text-decoration: underline; color : #0000ff; '>") + site
           + QStringLiteral("</span></a></p></body></html>");
}

QFont consolas(int points, bool bold)
{
    QFont font(QStringLiteral("Consolas"));
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

// The 20 x 10 gaps between the lines give way first when the fonts need
// more height than the fixed dialog has (and share out any height left).
QSpacerItem* gap()
{
    return new QSpacerItem(20, 10, QSizePolicy::Minimum, QSizePolicy::Expanding);
}

QLabel* makeLabel(QWidget* parent, const char* name, int points)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(consolas(points, true));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

AboutDialog::AboutDialog(const QString& iniPath, QWidget* parent, const QString& programDir)
    : QDialog(parent)
{
    Q_INIT_RESOURCE(VXTools);
    buildForm();
    setWindowFlags(Qt::FramelessWindowHint);

    // The user's INI file, over the one shipped beside the program (the same
    // file when the user's lives there).
    const QString appDir = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    const QString shippedIni = appDir + QStringLiteral("/VXTools.ini");
    auto text = [&](const char* key) {
        return vx::iniValue(iniPath, shippedIni, QLatin1String(key)).toString();
    };
    m_logoImageName = text("VersionInfo/LogoImageName");
    m_programName = text("VersionInfo/ProgramName");
    m_companyWebSite = text("VersionInfo/CompanyWebSite");
    m_copyright = text("VersionInfo/Copyright");
    m_warning = text("VersionInfo/Warning");

    // Only a file counts: an empty name would point at the folder itself.
    const QString logoPath = appDir + QStringLiteral("/image/") + m_logoImageName;
    QPixmap logo;
    if (!m_logoImageName.isEmpty() && QFileInfo(logoPath).isFile())
        logo.load(logoPath);
    if (logo.isNull())
        logo.load(QStringLiteral(":/VXTools/norvane"));
    showLogo(logo);

    if (m_copyright.isEmpty())
        m_copyright = tr("Copyright (C) VXTools developers. All rights reserved.");
    lb_copyright->setText(m_copyright);

    if (m_companyWebSite.isEmpty())
        lb_companyWebSite->setText(linkHtml(QStringLiteral("https://vxtools.example.org")));
    else
        lb_companyWebSite->setText(linkHtml(m_companyWebSite));

    m_fileVersion = vx::fileVersionText();

    // A controller that does not answer leaves all seven numbers at 0.
    VXRPC_ReadVersion(&m_version[0], &m_version[1], &m_version[2], &m_version[3], &m_version[4],
                      &m_version[5], &m_version[6]);

    lb_warning->adjustSize();
    lb_warning->setWordWrap(true);
    lb_warning->setAlignment(Qt::AlignTop);
    fillTexts();
}

void AboutDialog::buildForm()
{
    setObjectName(QStringLiteral("AboutDialog"));
    resize(kWidth, kHeight);
    setMinimumSize(kWidth, kHeight);
    setMaximumSize(kWidth, kHeight);

    verticalLayout_2 = new QVBoxLayout(this);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setSpacing(6);
    verticalLayout_2->setContentsMargins(kMargin, kMargin, kMargin, kMargin);

    lb_dlgTitle = makeLabel(this, "lb_dlgTitle", 18);
    lb_dlgTitle->setMinimumHeight(40);
    lb_dlgTitle->setMaximumHeight(40);
    lb_dlgTitle->setStyleSheet(QStringLiteral("background-color: rgb(0, 170, 255);"));
    verticalLayout_2->addWidget(lb_dlgTitle);

    lb_mainLogo = makeLabel(this, "lb_mainLogo", 14);
    lb_mainLogo->setMinimumHeight(30);
    verticalLayout_2->addWidget(lb_mainLogo);
    verticalLayout_2->addItem(gap());

    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setSpacing(6);
    horizontalLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));
    verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(6);

    lb_programName = makeLabel(this, "lb_programName", 14);
    verticalLayout->addWidget(lb_programName);
    verticalLayout->addItem(gap());
    lb_companyWebSite = makeLabel(this, "lb_companyWebSite", 14);
    lb_companyWebSite->setOpenExternalLinks(true);
    verticalLayout->addWidget(lb_companyWebSite);
    verticalLayout->addItem(gap());
    lb_copyright = makeLabel(this, "lb_copyright", 14);
    verticalLayout->addWidget(lb_copyright);
    verticalLayout->addItem(gap());
    lb_versionTip = makeLabel(this, "lb_versionTip", 14);
    verticalLayout->addWidget(lb_versionTip);

    frame_ver = new QFrame(this);
    frame_ver->setObjectName(QStringLiteral("frame_ver"));
    frame_ver->setFrameShape(QFrame::WinPanel);
    verticalLayout_3 = new QVBoxLayout(frame_ver);
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    verticalLayout_3->setSpacing(3);
    verticalLayout_3->setContentsMargins(11, 11, 11, 11);
    lb_ZPSversionTip = makeLabel(frame_ver, "lb_ZPSversionTip", 14);
    lb_BoxversionTip = makeLabel(frame_ver, "lb_BoxversionTip", 14);
    lb_AlgorithmversionTip = makeLabel(frame_ver, "lb_AlgorithmversionTip", 14);
    lb_FirmwareversionTip = makeLabel(frame_ver, "lb_FirmwareversionTip", 14);
    for (QLabel* label : {lb_ZPSversionTip, lb_BoxversionTip, lb_AlgorithmversionTip, lb_FirmwareversionTip}) {
        label->setFrameShape(QFrame::NoFrame);
        verticalLayout_3->addWidget(label);
    }
    verticalLayout->addWidget(frame_ver);

    lb_warning = makeLabel(this, "lb_warning", 14);
    verticalLayout->addWidget(lb_warning);
    horizontalLayout->addLayout(verticalLayout);
    horizontalLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));
    verticalLayout_2->addLayout(horizontalLayout);
    verticalLayout_2->addItem(gap());

    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    horizontalLayout_2->setSpacing(6);
    btn_close = new QPushButton(this);
    btn_close->setObjectName(QStringLiteral("btn_close"));
    btn_close->setMinimumHeight(40);
    btn_close->setMaximumHeight(40);
    btn_close->setFont(consolas(9, true));
    horizontalLayout_2->addWidget(btn_close);
    verticalLayout_2->addLayout(horizontalLayout_2);

    connect(btn_close, &QPushButton::clicked, this, &AboutDialog::slot_btnCloseClicked);
}

void AboutDialog::showLogo(const QPixmap& logo)
{
    // The dialog's size is fixed, and with wide fonts its texts ask for more
    // height than it has: a label that may shrink would lose the logo's top
    // and bottom. The label keeps the whole picture instead; a picture
    // larger than the room made for the product logo is scaled down to it.
    const QSize room(kWidth - 2 * kMargin, kLogoHeight);
    QPixmap shown = logo;
    if (!logo.isNull() && (logo.width() > room.width() || logo.height() > room.height()))
        shown = logo.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    lb_mainLogo->setPixmap(shown);
    lb_mainLogo->setMinimumSize(shown.size().expandedTo(QSize(0, 30)));
}

void AboutDialog::fillTexts()
{
    lb_dlgTitle->setText(tr("About"));
    lb_programName->setText(m_programName.isEmpty()
                                ? tr("VXTools - service tool for six-axis robot arms")
                                : m_programName);
    lb_versionTip->setText(tr("VXTool Version %1").arg(m_fileVersion));
    lb_ZPSversionTip->setText(tr("ZPS Version %1.%2").arg(m_version[0]).arg(m_version[1]));
    lb_BoxversionTip->setText(tr("Box Version %1.%2.%3").arg(m_version[2]).arg(m_version[3]).arg(m_version[4]));
    lb_AlgorithmversionTip->setText(tr("Algorithm Version %1").arg(m_version[5]));
    lb_FirmwareversionTip->setText(tr("Firmware Version 0x%1").arg(firmwareDigits(m_version[6])));
    lb_warning->setText(m_warning.isEmpty()
                            ? tr("Warning: VXTools changes the settings of a live robot controller. Keep clear of "
                                 "the arm and check every value before you write it.")
                            : m_warning);
    btn_close->setText(tr("Close"));
}

QString AboutDialog::firmwareDigits(int firmware)
{
    // Qt writes a negative number in base 16 as its 64-bit pattern; the
    // controller's number keeps its sign instead.
    const QString digits = firmware < 0 ? QLatin1Char('-') + QString::number(-qlonglong(firmware), 16)
                                        : QString::number(firmware, 16);
    return QStringLiteral("%1").arg(digits, 8, QLatin1Char('0')).toUpper();
}

void AboutDialog::slot_btnCloseClicked()
{
    close();
}

void AboutDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        fillTexts();
    QDialog::changeEvent(event);
}
