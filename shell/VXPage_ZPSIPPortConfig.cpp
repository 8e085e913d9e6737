#include "VXPage_ZPSIPPortConfig.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

VXPage_ZPSIPPortConfig::VXPage_ZPSIPPortConfig(const QString& zpsIp, QWidget* parent)
    : QDialog(parent)
    , m_zpsIp(zpsIp)
{
    setObjectName(QStringLiteral("VXPage_ZPSIPPortConfig"));
    resize(378, 236);
    setWindowTitle(tr("VXTools ZPS Connect"));

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(14, 100, 51, 25);
    label->setText(tr("ZPS IP:"));

    le_ZPSIP = new QLineEdit(this);
    le_ZPSIP->setObjectName(QStringLiteral("le_ZPSIP"));
    le_ZPSIP->setGeometry(80, 100, 200, 25);
    le_ZPSIP->setMinimumSize(200, 25);
    le_ZPSIP->setMaximumSize(200, 25);
    le_ZPSIP->setText(zpsIp);
    // The address proposed is selected: what the user types replaces it,
    // Return takes it as it stands.
    le_ZPSIP->selectAll();

    btn_SetZPSIP = new QPushButton(this);
    btn_SetZPSIP->setObjectName(QStringLiteral("btn_SetZPSIP"));
    btn_SetZPSIP->setGeometry(290, 100, 75, 25);
    btn_SetZPSIP->setMinimumSize(0, 25);
    btn_SetZPSIP->setMaximumSize(16777215, 25);
    btn_SetZPSIP->setText(tr("SetZPSIP"));

    btn_Cancel = new QPushButton(this);
    btn_Cancel->setObjectName(QStringLiteral("btn_Cancel"));
    btn_Cancel->setGeometry(290, 170, 75, 31);
    btn_Cancel->setText(tr("Cancel"));

    connect(btn_SetZPSIP, &QPushButton::clicked, this, &VXPage_ZPSIPPortConfig::slot_SetZPSIP);
    connect(btn_Cancel, &QPushButton::clicked, this, &VXPage_ZPSIPPortConfig::slot_Cacnel);
}

QString VXPage_ZPSIPPortConfig::zpsIp() const
{
    return m_zpsIp;
}

void VXPage_ZPSIPPortConfig::slot_SetZPSIP()
{
    // Taken as typed: the link library reports an unusable address by
    // leaving the lamp gray.
    m_zpsIp = le_ZPSIP->text();
    done(QDialog::Accepted);
}

void VXPage_ZPSIPPortConfig::slot_Cacnel()
{
    done(QDialog::Rejected);
}
