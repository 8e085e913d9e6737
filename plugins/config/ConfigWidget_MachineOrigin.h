// The machine origin page: reads the six axes' current encoder values, lets
// the user adjust them and writes them back as the home encoder values.
// The values live only in the widgets' texts.
#pragma once

#include <QWidget>

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QVBoxLayout;

class ConfigWidget_MachineOrigin : public QWidget
{
    Q_OBJECT

public:
    explicit ConfigWidget_MachineOrigin(QWidget* parent = nullptr);
    ~ConfigWidget_MachineOrigin() override;

    // How an encoder value and an origin value are shown.
    static QString encoderText(int value);
    static QString originText(int value);

private slots:
    void on_btnGetCurEncode_clicked();
    void on_btnSetHomeEncode_clicked();

private:
    void setupUi();
    void retranslateUi();
    void refreshOrigin();

    QGridLayout* gridLayout = nullptr;
    QTabWidget* tw_Origin = nullptr;
    QWidget* tab_2 = nullptr;
    QWidget* verticalLayoutWidget = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QHBoxLayout* horizontalLayout_20 = nullptr;
    QLabel* lb_HomeAxis1 = nullptr;
    QLineEdit* le_CurEncode_J1 = nullptr;
    QLabel* lb_HomeAxis4 = nullptr;
    QLineEdit* le_CurEncode_J4 = nullptr;
    QHBoxLayout* horizontalLayout_22 = nullptr;
    QLabel* lb_HomeAxis2 = nullptr;
    QLineEdit* le_CurEncode_J2 = nullptr;
    QLabel* lb_HomeAxis5 = nullptr;
    QLineEdit* le_CurEncode_J5 = nullptr;
    QHBoxLayout* horizontalLayout_28 = nullptr;
    QLabel* lb_HomeAxis3 = nullptr;
    QLineEdit* le_CurEncode_J3 = nullptr;
    QLabel* lb_HomeAxis6 = nullptr;
    QLineEdit* le_CurEncode_J6 = nullptr;
    QVBoxLayout* verticalLayout_11 = nullptr;
    QLabel* lb_homeEndatTip = nullptr;
    QLabel* lb_homeEncodeValue = nullptr;
    QLabel* lb_homeEncodeValue2 = nullptr;
    QLabel* lb_homeEncodeValue3 = nullptr;
    QHBoxLayout* horizontalLayout_12 = nullptr;
    QPushButton* btn_GetHomeEndat = nullptr;
    QPushButton* btn_SetHomeEndat = nullptr;
};
