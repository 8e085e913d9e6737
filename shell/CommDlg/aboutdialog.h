// The frameless About dialog: logo, program name, web link, copyright, the
// tool's file version, the controller's version lines and a warning.
#pragma once

#include <QDialog>

class QFrame;
class QHBoxLayout;
class QLabel;
class QPixmap;
class QPushButton;
class QVBoxLayout;

class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    // `programDir` is where the "image" folder is looked up; empty means the
    // application directory.
    explicit AboutDialog(const QString& iniPath, QWidget* parent = nullptr, const QString& programDir = QString());

    // The firmware number as shown after "0x": base 16, a minus sign kept,
    // zeros in front up to eight characters, upper case.
    static QString firmwareDigits(int firmware);

    // The product logo's height: a larger logo is scaled down to it.
    static constexpr int kLogoHeight = 86;

public slots:
    void slot_btnCloseClicked();

protected:
    void changeEvent(QEvent* event) override;

private:
    static constexpr int kWidth = 740;
    static constexpr int kHeight = 550;
    static constexpr int kMargin = 11;

    void buildForm();
    void showLogo(const QPixmap& logo);
    void fillTexts();

    QString m_fileVersion;
    QString m_logoImageName;
    QString m_programName;
    QString m_companyWebSite;
    QString m_copyright;
    QString m_warning;
    int m_version[7] = {0, 0, 0, 0, 0, 0, 0};

    QVBoxLayout* verticalLayout_2 = nullptr;
    QLabel* lb_dlgTitle = nullptr;
    QLabel* lb_mainLogo = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QLabel* lb_programName = nullptr;
    QLabel* lb_companyWebSite = nullptr;
    QLabel* lb_copyright = nullptr;
    QLabel* lb_versionTip = nullptr;
    QFrame* frame_ver = nullptr;
    QVBoxLayout* verticalLayout_3 = nullptr;
    QLabel* lb_ZPSversionTip = nullptr;
    QLabel* lb_BoxversionTip = nullptr;
    QLabel* lb_AlgorithmversionTip = nullptr;
    QLabel* lb_FirmwareversionTip = nullptr;
    QLabel* lb_warning = nullptr;
    QHBoxLayout* horizontalLayout_2 = nullptr;
    QPushButton* btn_close = nullptr;
};
