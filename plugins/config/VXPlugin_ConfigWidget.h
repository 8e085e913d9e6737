// The configuration page: a navigation tree on the left, the setting pages
// in a stack on the right.
#pragma once

#include <QModelIndex>
#include <QWidget>

class ConfigBTNModel;
class QHBoxLayout;
class QStackedWidget;
class QTreeView;

class VXPlugin_ConfigWidget : public QWidget
{
    Q_OBJECT

public:
    explicit VXPlugin_ConfigWidget(QWidget* parent = nullptr);
    ~VXPlugin_ConfigWidget() override;

    // Type number of the entry clicked last; 0 (the machine origin) at start.
    int currentType() const { return m_nCurType; }

public slots:
    void slot_ConfigBTNtreeClicked(const QModelIndex& index);

private:
    void setupUi();

    ConfigBTNModel* m_pModel = nullptr;
    int m_nCurType = 0;
    QWidget* m_pMachineOrigin = nullptr;

    QHBoxLayout* horizontalLayout = nullptr;
    QTreeView* tv_setup = nullptr;
    QStackedWidget* sw_setup = nullptr;
};
