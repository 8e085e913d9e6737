// The channel selection dialog: three check trees built from the catalogue.
// The scope page reads the selections after OK and whenever sampling starts.
#pragma once

#include "ScopeChannels.h"

#include <QWidget>

#include <map>
#include <memory>

class QLabel;
class QPushButton;
class QTreeView;
class QVBoxLayout;
class QHBoxLayout;
class TreeModel;

class QScopeSetting : public QWidget
{
    Q_OBJECT

public:
    explicit QScopeSetting(QWidget* parent = nullptr);
    ~QScopeSetting() override;

    // Checked leaves of each tree, keyed by catalogue key. The component map
    // holds the key itself, the other two the channel's base index (0 when the
    // catalogue has none).
    std::map<emAXIS, int> componentSelection() const;
    std::map<emLINK, int> linkSelection() const;
    std::map<emENDEFF, int> endEffectorSelection() const;

    // Called after a scope file import: clears every check mark (the keys
    // rebuilt from the file are not applied) and collapses the trees.
    void setCheckedKeys(const std::map<emAXIS, int>& components,
                        const std::map<emLINK, int>& links,
                        const std::map<emENDEFF, int>& endEffectors);

signals:
    void userSetAxisInfo();

protected slots:
    void OnCompSelectAll();
    void OnCompUnSelectAll();
    void OnLinkSelectAll();
    void OnLinkUnSelectAll();
    void OnEndSelectAll();
    void OnEndUnSelectAll();
    void OnOk();
    void OnCancle();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Ui;
    void setupUi();
    static void checkAll(TreeModel* model, QTreeView* view, const std::vector<int>& keys, bool on);

    std::unique_ptr<Ui> ui;
    std::unique_ptr<TreeModel> m_componentModel;
    std::unique_ptr<TreeModel> m_linkModel;
    std::unique_ptr<TreeModel> m_endEffectorModel;
};
