#include "VXPlugin_ConfigWidget.h"

#include "ConfigBTNModel.h"
#include "ConfigWidget_MachineOrigin.h"
#include "TreeItem.h"
#include "VXPlugin_ConfigResources.h"

#include <QHBoxLayout>
#include <QStackedWidget>
#include <QTreeView>

namespace {
// Type numbers of the navigation entries.
constexpr unsigned int kTypeMachineOrigin = 0;
} // namespace

VXPlugin_ConfigWidget::VXPlugin_ConfigWidget(QWidget* parent)
    : QWidget(parent)
{
    vxconfig::initResources();
    setupUi();

    m_pMachineOrigin = new ConfigWidget_MachineOrigin();
    sw_setup->addWidget(m_pMachineOrigin);

    tv_setup->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tv_setup->setSelectionMode(QAbstractItemView::SingleSelection);
    tv_setup->setIconSize(QSize(32, 32));
    tv_setup->setHeaderHidden(true);

    m_pModel = new ConfigBTNModel(QString(), this);
    tv_setup->setModel(m_pModel);

    ST_SetupBase origin;
    origin.strName = tr("MachineOrigin");
    origin.strIconPath = QStringLiteral(":/VXPlugin_Config/MachineOrigin");
    m_pModel->AddRow(0, kTypeMachineOrigin, QVariant::fromValue(origin), tv_setup->currentIndex());

    connect(tv_setup, &QTreeView::clicked, this, &VXPlugin_ConfigWidget::slot_ConfigBTNtreeClicked);
}

VXPlugin_ConfigWidget::~VXPlugin_ConfigWidget() = default;

void VXPlugin_ConfigWidget::setupUi()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("VXPlugin_ConfigWidget"));
    resize(721, 519);
    setWindowTitle(tr("VXPlugin_ConfigWidget"));

    horizontalLayout = new QHBoxLayout(this);
    horizontalLayout->setSpacing(6);
    horizontalLayout->setContentsMargins(11, 11, 11, 11);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));

    tv_setup = new QTreeView(this);
    tv_setup->setObjectName(QStringLiteral("tv_setup"));
    QSizePolicy treePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    treePolicy.setHorizontalStretch(0);
    treePolicy.setVerticalStretch(0);
    treePolicy.setHeightForWidth(tv_setup->sizePolicy().hasHeightForWidth());
    tv_setup->setSizePolicy(treePolicy);
    tv_setup->setMinimumSize(QSize(210, 0));
    tv_setup->setMaximumSize(QSize(210, 16777215));
    horizontalLayout->addWidget(tv_setup);

    sw_setup = new QStackedWidget(this);
    sw_setup->setObjectName(QStringLiteral("sw_setup"));
    QSizePolicy stackPolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    stackPolicy.setHorizontalStretch(1);
    stackPolicy.setVerticalStretch(0);
    stackPolicy.setHeightForWidth(sw_setup->sizePolicy().hasHeightForWidth());
    sw_setup->setSizePolicy(stackPolicy);
    horizontalLayout->addWidget(sw_setup);

    QMetaObject::connectSlotsByName(this);
}

void VXPlugin_ConfigWidget::slot_ConfigBTNtreeClicked(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    TreeItem* item = m_pModel->getItem(index);
    m_nCurType = static_cast<int>(item->type());
    if (item->type() == kTypeMachineOrigin)
        sw_setup->setCurrentWidget(m_pMachineOrigin);
}
