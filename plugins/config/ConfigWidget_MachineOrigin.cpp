#include "ConfigWidget_MachineOrigin.h"

#include "VX_Prod.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QStringList>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QLabel* makeAxisLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QLineEdit* makeEncoderEdit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMinimumSize(QSize(110, 30));
    edit->setMaximumSize(QSize(110, 30));
    edit->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);
    return edit;
}

QLabel* makeOriginLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setMaximumSize(QSize(16777215, 30));
    QFont font;
    font.setFamily(QStringLiteral("楷体"));
    font.setPointSize(12);
    label->setFont(font);
    return label;
}

QHBoxLayout* makeAxisRow(const char* name, QLabel* labelA, QLineEdit* editA, QLabel* labelB, QLineEdit* editB)
{
    auto* row = new QHBoxLayout();
    row->setSpacing(6);
    row->setObjectName(QLatin1String(name));
    row->addWidget(labelA);
    row->addWidget(editA);
    row->addWidget(labelB);
    row->addWidget(editB);
    return row;
}

} // namespace

// Every 32-bit value fits in 10 significant digits, so both precisions show
// plain decimal digits.
QString ConfigWidget_MachineOrigin::encoderText(int value)
{
    return QString::number(static_cast<double>(value), 'g', 10);
}

QString ConfigWidget_MachineOrigin::originText(int value)
{
    return QString::number(static_cast<double>(value), 'g', 17);
}

ConfigWidget_MachineOrigin::ConfigWidget_MachineOrigin(QWidget* parent)
    : QWidget(parent)
{
    setupUi();
    connect(btn_GetHomeEndat, &QPushButton::clicked, this, &ConfigWidget_MachineOrigin::on_btnGetCurEncode_clicked);
    connect(btn_SetHomeEndat, &QPushButton::clicked, this, &ConfigWidget_MachineOrigin::on_btnSetHomeEncode_clicked);
}

ConfigWidget_MachineOrigin::~ConfigWidget_MachineOrigin() = default;

void ConfigWidget_MachineOrigin::setupUi()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("ConfigWidget_MachineOrigin"));
    resize(891, 661);

    gridLayout = new QGridLayout(this);
    gridLayout->setSpacing(6);
    gridLayout->setContentsMargins(11, 11, 11, 11);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));

    tw_Origin = new QTabWidget(this);
    tw_Origin->setObjectName(QStringLiteral("tw_Origin"));
    tab_2 = new QWidget();
    tab_2->setObjectName(QStringLiteral("tab_2"));

    verticalLayoutWidget = new QWidget(tab_2);
    verticalLayoutWidget->setObjectName(QStringLiteral("verticalLayoutWidget"));
    verticalLayoutWidget->setGeometry(QRect(0, 20, 511, 441));
    verticalLayout = new QVBoxLayout(verticalLayoutWidget);
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

    QWidget* host = verticalLayoutWidget;
    lb_HomeAxis1 = makeAxisLabel(host, "lb_HomeAxis1");
    le_CurEncode_J1 = makeEncoderEdit(host, "le_CurEncode_J1");
    lb_HomeAxis4 = makeAxisLabel(host, "lb_HomeAxis4");
    le_CurEncode_J4 = makeEncoderEdit(host, "le_CurEncode_J4");
    horizontalLayout_20 =
        makeAxisRow("horizontalLayout_20", lb_HomeAxis1, le_CurEncode_J1, lb_HomeAxis4, le_CurEncode_J4);
    verticalLayout->addLayout(horizontalLayout_20);

    lb_HomeAxis2 = makeAxisLabel(host, "lb_HomeAxis2");
    le_CurEncode_J2 = makeEncoderEdit(host, "le_CurEncode_J2");
    lb_HomeAxis5 = makeAxisLabel(host, "lb_HomeAxis5");
    le_CurEncode_J5 = makeEncoderEdit(host, "le_CurEncode_J5");
    horizontalLayout_22 =
        makeAxisRow("horizontalLayout_22", lb_HomeAxis2, le_CurEncode_J2, lb_HomeAxis5, le_CurEncode_J5);
    verticalLayout->addLayout(horizontalLayout_22);

    lb_HomeAxis3 = makeAxisLabel(host, "lb_HomeAxis3");
    le_CurEncode_J3 = makeEncoderEdit(host, "le_CurEncode_J3");
    lb_HomeAxis6 = makeAxisLabel(host, "lb_HomeAxis6");
    le_CurEncode_J6 = makeEncoderEdit(host, "le_CurEncode_J6");
    horizontalLayout_28 =
        makeAxisRow("horizontalLayout_28", lb_HomeAxis3, le_CurEncode_J3, lb_HomeAxis6, le_CurEncode_J6);
    verticalLayout->addLayout(horizontalLayout_28);

    verticalLayout_11 = new QVBoxLayout();
    verticalLayout_11->setSpacing(6);
    verticalLayout_11->setObjectName(QStringLiteral("verticalLayout_11"));
    lb_homeEndatTip = makeOriginLabel(host, "lb_homeEndatTip");
    verticalLayout_11->addWidget(lb_homeEndatTip);
    verticalLayout_11->addItem(new QSpacerItem(20, 20, QSizePolicy::Minimum, QSizePolicy::Fixed));
    lb_homeEncodeValue = makeOriginLabel(host, "lb_homeEncodeValue");
    verticalLayout_11->addWidget(lb_homeEncodeValue);
    verticalLayout_11->addItem(new QSpacerItem(20, 20, QSizePolicy::Minimum, QSizePolicy::Fixed));
    lb_homeEncodeValue2 = makeOriginLabel(host, "lb_homeEncodeValue2");
    verticalLayout_11->addWidget(lb_homeEncodeValue2);
    verticalLayout_11->addItem(new QSpacerItem(20, 20, QSizePolicy::Minimum, QSizePolicy::Fixed));
    lb_homeEncodeValue3 = makeOriginLabel(host, "lb_homeEncodeValue3");
    verticalLayout_11->addWidget(lb_homeEncodeValue3);
    verticalLayout->addLayout(verticalLayout_11);

    horizontalLayout_12 = new QHBoxLayout();
    horizontalLayout_12->setSpacing(6);
    horizontalLayout_12->setObjectName(QStringLiteral("horizontalLayout_12"));
    btn_GetHomeEndat = new QPushButton(host);
    btn_GetHomeEndat->setObjectName(QStringLiteral("btn_GetHomeEndat"));
    btn_GetHomeEndat->setMinimumSize(QSize(75, 40));
    horizontalLayout_12->addWidget(btn_GetHomeEndat);
    horizontalLayout_12->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    btn_SetHomeEndat = new QPushButton(host);
    btn_SetHomeEndat->setObjectName(QStringLiteral("btn_SetHomeEndat"));
    btn_SetHomeEndat->setEnabled(true);
    btn_SetHomeEndat->setMinimumSize(QSize(75, 40));
    horizontalLayout_12->addWidget(btn_SetHomeEndat);
    verticalLayout->addLayout(horizontalLayout_12);

    tw_Origin->addTab(tab_2, QString());
    gridLayout->addWidget(tw_Origin, 0, 1, 1, 1);

    retranslateUi();
    tw_Origin->setCurrentIndex(0);

    // Finds nothing: the slots are not named after the buttons.
    QMetaObject::connectSlotsByName(this);
}

void ConfigWidget_MachineOrigin::retranslateUi()
{
    setWindowTitle(tr("ConfigWidget_MachineOrigin"));
    lb_HomeAxis1->setText(tr("Axis1"));
    le_CurEncode_J1->setText(tr("0"));
    lb_HomeAxis4->setText(tr("Axis4"));
    le_CurEncode_J4->setText(tr("0"));
    lb_HomeAxis2->setText(tr("Axis2"));
    le_CurEncode_J2->setText(tr("0"));
    lb_HomeAxis5->setText(tr("Axis5"));
    le_CurEncode_J5->setText(tr("0"));
    lb_HomeAxis3->setText(tr("Axis3"));
    le_CurEncode_J3->setText(tr("0"));
    lb_HomeAxis6->setText(tr("Axis6"));
    le_CurEncode_J6->setText(tr("0"));
    lb_homeEndatTip->setText(tr("Machine Origin："));
    lb_homeEncodeValue->setText(tr("0,0"));
    lb_homeEncodeValue2->setText(tr("0,0"));
    lb_homeEncodeValue3->setText(tr("0,0"));
    btn_GetHomeEndat->setText(tr("Get"));
    btn_SetHomeEndat->setText(tr("Set"));
    tw_Origin->setTabText(tw_Origin->indexOf(tab_2), tr("Origin Set"));
}

void ConfigWidget_MachineOrigin::on_btnGetCurEncode_clicked()
{
    // An unreachable controller leaves the zeros in place.
    int a1 = 0, a2 = 0, a3 = 0, a4 = 0, a5 = 0, a6 = 0;
    VXRPC_ReadCurEncode(&a1, &a2, &a3, &a4, &a5, &a6);
    le_CurEncode_J1->setText(encoderText(a1));
    le_CurEncode_J2->setText(encoderText(a2));
    le_CurEncode_J3->setText(encoderText(a3));
    le_CurEncode_J4->setText(encoderText(a4));
    le_CurEncode_J5->setText(encoderText(a5));
    le_CurEncode_J6->setText(encoderText(a6));
    refreshOrigin();
}

void ConfigWidget_MachineOrigin::on_btnSetHomeEncode_clicked()
{
    QLineEdit* const edits[6] = {le_CurEncode_J1, le_CurEncode_J2, le_CurEncode_J3,
                                 le_CurEncode_J4, le_CurEncode_J5, le_CurEncode_J6};
    QLabel* const labels[6] = {lb_HomeAxis1, lb_HomeAxis2, lb_HomeAxis3,
                               lb_HomeAxis4, lb_HomeAxis5, lb_HomeAxis6};
    int values[6] = {};
    QStringList invalid;
    QLineEdit* firstInvalid = nullptr;
    for (int axis = 0; axis < 6; ++axis) {
        bool ok = false;
        values[axis] = edits[axis]->text().toInt(&ok, 10);
        if (!ok) {
            invalid << labels[axis]->text();
            if (!firstInvalid)
                firstInvalid = edits[axis];
        }
    }
    // These values become the robot's home position: a typo must never be
    // written as 0.
    if (firstInvalid) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("ERROR:%1 must be a whole number from -2147483648 to 2147483647 ! Nothing was set.")
                                 .arg(invalid.join(QStringLiteral(", "))),
                             QMessageBox::Ok);
        firstInvalid->setFocus();
        firstInvalid->selectAll();
        return;
    }
    VXRPC_SetHomeEncode(values[0], values[1], values[2], values[3], values[4], values[5]);
    refreshOrigin();
}

void ConfigWidget_MachineOrigin::refreshOrigin()
{
    int a1 = 0, a2 = 0, a3 = 0, a4 = 0, a5 = 0, a6 = 0;
    VXRPC_ReadMachineOrigin(&a1, &a2, &a3, &a4, &a5, &a6);
    const QString pair = QStringLiteral("%1,%2");
    lb_homeEncodeValue->setText(pair.arg(originText(a1), originText(a2)));
    lb_homeEncodeValue2->setText(pair.arg(originText(a3), originText(a4)));
    lb_homeEncodeValue3->setText(pair.arg(originText(a5), originText(a6)));
}
