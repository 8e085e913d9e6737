// The small modal dialog that asks for the controller's IP address.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class VXPage_ZPSIPPortConfig : public QDialog
{
    Q_OBJECT

public:
    explicit VXPage_ZPSIPPortConfig(const QString& zpsIp, QWidget* parent = nullptr);

    QString zpsIp() const;

public slots:
    void slot_SetZPSIP();
    void slot_Cacnel();

private:
    QString m_zpsIp;
    QLabel* label;
    QLineEdit* le_ZPSIP;
    QPushButton* btn_SetZPSIP;
    QPushButton* btn_Cancel;
};
