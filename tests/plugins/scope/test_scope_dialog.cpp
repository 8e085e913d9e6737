#include "MarkingTranslator.h"
#include "ScopeChannels.h"
#include "qscopesetting.h"
#include "scope_test_app.h"
#include "scopetreemodel.h"

#include <QAbstractItemModelTester>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

class ScopeDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { scopeTestApp(); }
};

QVariant checkValue(Qt::CheckState state)
{
    return QVariant(static_cast<int>(state));
}

bool isChecked(const QAbstractItemModel& model, const QModelIndex& index)
{
    return model.data(index, Qt::CheckStateRole).toInt() == Qt::Checked;
}

// A small two-level tree as the catalogue tables give them.
const char* kGroups = "GroupA\n A1\n A2\nGroupB\n B1\n B2\n B3\nTop\n";

TEST_F(ScopeDialogTest, TreeIsBuiltFromIndentedLines)
{
    TreeModel model("Header", kGroups);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Header");
    EXPECT_FALSE(model.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    const QModelIndex a = model.index(0, 0);
    const QModelIndex b = model.index(1, 0);
    EXPECT_EQ(model.data(a, Qt::DisplayRole).toString(), "GroupA");
    EXPECT_EQ(model.rowCount(a), 2);
    EXPECT_EQ(model.rowCount(b), 3);
    EXPECT_EQ(model.data(model.index(2, 0, b), Qt::DisplayRole).toString(), "B3");
    EXPECT_EQ(model.data(model.index(2, 0), Qt::DisplayRole).toString(), "Top");
    EXPECT_EQ(model.parent(model.index(1, 0, b)), b);
    EXPECT_FALSE(model.parent(b).isValid());
    EXPECT_FALSE(model.index(5, 0).isValid());
    EXPECT_FALSE(model.index(0, 1).isValid());
}

TEST_F(ScopeDialogTest, IdsCountNonEmptyLinesAndDeepFirstLineStaysTopLevel)
{
    // Empty and blank lines use up no id; two blanks before the very first
    // line find no parent yet and stay on the top level.
    TreeModel model("H", "  first\n\nG\n\t \n child\n   grandchild?\nlast");
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "first");
    const QModelIndex g = model.index(1, 0);
    ASSERT_EQ(model.rowCount(g), 1);
    const QModelIndex child = model.index(0, 0, g);
    ASSERT_EQ(model.rowCount(child), 1);

    // Check everything by id: the ids are 0..4 in line order.
    for (int id = 0; id < 5; ++id)
        model.setItemChecked(id, true);
    EXPECT_EQ(model.checkedIds(), (QList<int>{0, 3, 4}));  // leaves only
    model.setItemChecked(3, false);
    EXPECT_EQ(model.checkedIds(), (QList<int>{0, 4}));
    EXPECT_TRUE(isChecked(model, child));  // group flags are kept, not collected
}

TEST_F(ScopeDialogTest, TabsSplitColumnsAndFlagsDependOnColumn)
{
    TreeModel model("H\tUnused", "name\tunit\t\tthird\nsolo\n");
    const QModelIndex first = model.index(0, 0);
    EXPECT_EQ(model.columnCount(), 1);  // the root has one header column
    EXPECT_EQ(model.data(first, Qt::DisplayRole).toString(), "name");

    // Column values of a multi-column line are reachable through a
    // one-column root only via the item; the flags are what views see.
    EXPECT_EQ(static_cast<int>(model.flags(first)), 49);
    EXPECT_EQ(static_cast<int>(model.flags(QModelIndex())), 0);
    EXPECT_FALSE(model.data(QModelIndex(), Qt::DisplayRole).isValid());
    EXPECT_EQ(model.data(first, Qt::CheckStateRole).toInt(), 0);
    EXPECT_FALSE(model.data(first, Qt::ToolTipRole).isValid());

    TreeItem item({QString("a"), QString("b")});
    EXPECT_EQ(item.columnCount(), 2);
    EXPECT_EQ(item.data(1).toString(), "b");
    EXPECT_FALSE(item.data(2).isValid());
    EXPECT_FALSE(item.data(-1).isValid());
    EXPECT_EQ(item.child(0), nullptr);
    EXPECT_EQ(item.row(), 0);
    EXPECT_EQ(item.id(), -1);
    EXPECT_FALSE(item.checked());
}

TEST_F(ScopeDialogTest, CheckingAGroupChecksItsChannelsAndGroupsFollowTheirChannels)
{
    TreeModel model("H", kGroups);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QModelIndex b = model.index(1, 0);

    EXPECT_TRUE(model.setData(b, checkValue(Qt::Checked), Qt::CheckStateRole));
    for (int r = 0; r < 3; ++r)
        EXPECT_TRUE(isChecked(model, model.index(r, 0, b)));
    EXPECT_TRUE(isChecked(model, b));
    EXPECT_GE(changed.count(), 4);  // the group and its three channels
    EXPECT_EQ(model.checkedIds(), (QList<int>{4, 5, 6}));

    // One channel off: the group shows unchecked, its sisters stay.
    EXPECT_TRUE(model.setData(model.index(1, 0, b), checkValue(Qt::Unchecked), Qt::CheckStateRole));
    EXPECT_FALSE(isChecked(model, b));
    EXPECT_EQ(model.checkedIds(), (QList<int>{4, 6}));

    // Checking the last missing channel checks the group again.
    EXPECT_TRUE(model.setData(model.index(1, 0, b), checkValue(Qt::Checked), Qt::CheckStateRole));
    EXPECT_TRUE(isChecked(model, b));

    // Channels of group A one by one.
    const QModelIndex a = model.index(0, 0);
    model.setData(model.index(0, 0, a), checkValue(Qt::Checked), Qt::CheckStateRole);
    EXPECT_FALSE(isChecked(model, a));
    model.setData(model.index(1, 0, a), checkValue(Qt::Checked), Qt::CheckStateRole);
    EXPECT_TRUE(isChecked(model, a));

    // Unchecking the group clears every channel under it.
    model.setData(a, checkValue(Qt::Unchecked), Qt::CheckStateRole);
    EXPECT_EQ(model.checkedIds(), (QList<int>{4, 5, 6}));
}

TEST_F(ScopeDialogTest, OtherRolesAndValuesChangeNoCheckMark)
{
    TreeModel model("H", kGroups);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QModelIndex a1 = model.index(0, 0, model.index(0, 0));
    for (int role : {int(Qt::EditRole), int(Qt::DisplayRole), int(Qt::DecorationRole)}) {
        EXPECT_TRUE(model.setData(a1, checkValue(Qt::Checked), role));
        EXPECT_TRUE(model.setData(model.index(0, 0), checkValue(Qt::Checked), role));
    }
    EXPECT_TRUE(model.setData(QModelIndex(), checkValue(Qt::Checked), Qt::CheckStateRole));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(model.checkedIds().isEmpty());

    // A value that is neither checked nor unchecked sets no flag.
    EXPECT_TRUE(model.setData(a1, checkValue(Qt::PartiallyChecked), Qt::CheckStateRole));
    EXPECT_TRUE(model.checkedIds().isEmpty());
    EXPECT_FALSE(isChecked(model, model.index(0, 0)));
}

QTreeView* view(QWidget& dialog, const char* name)
{
    return dialog.findChild<QTreeView*>(name);
}

TreeModel* modelOf(QWidget& dialog, const char* name)
{
    QTreeView* v = view(dialog, name);
    return v ? qobject_cast<TreeModel*>(v->model()) : nullptr;
}

void click(QWidget& dialog, const char* name)
{
    auto* button = dialog.findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

TEST_F(ScopeDialogTest, FormHasItsObjectNamesTextsAndWindowFlags)
{
    QScopeSetting dialog;
    EXPECT_EQ(dialog.windowTitle(), "QScopeSetting");
    EXPECT_EQ(dialog.size(), QSize(800, 600));
    EXPECT_TRUE(dialog.windowFlags() & Qt::Dialog);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);

    const std::pair<const char*, const char*> labels[] = {
        {"KDLX_Scope_label_SetComponent", "Component:"},
        {"KDLX_Scope_label_SetLink", "Link:"},
        {"KDLX_Scope_label_SetEndEffector", "End Effector:"},
    };
    for (const auto& [name, text] : labels) {
        auto* label = dialog.findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), text);
    }
    const std::pair<const char*, const char*> buttons[] = {
        {"KDLX_Scope_btn_SetCompSelectAll", "Select All"}, {"KDLX_Scope_btn_SetCompUnSelectAll", "Deselect All"},
        {"KDLX_Scope_btn_SetLinkSelectAll", "Select All"}, {"KDLX_Scope_btn_SetLinkUnSelectAll", "Deselect All"},
        {"KDLX_Scope_btn_SetEndSelectAll", "Select All"},  {"KDLX_Scope_btn_SetEndUnSelectAll", "Deselect All"},
        {"KDLX_Scope_btn_SetOK", "OK"},                    {"KDLX_Scope_btn_SetCancel", "Cancel"},
    };
    for (const auto& [name, text] : buttons) {
        auto* button = dialog.findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->text(), text);
    }
    for (const char* name : {"KDLX_Scope_btn_SetOK", "KDLX_Scope_btn_SetCancel"}) {
        auto* button = dialog.findChild<QPushButton*>(name);
        EXPECT_EQ(button->minimumWidth(), 100);
        EXPECT_EQ(button->maximumWidth(), 100);
    }
    const std::pair<const char*, const char*> trees[] = {
        {"KDLX_Scope_tree_SetComponent", "Component List"},
        {"KDLX_Scope_tree_SetLink", "Link Data Capture"},
        {"KDLX_Scope_tree_SetEndEffector", "End Effector Data Capture"},
    };
    for (const auto& [name, header] : trees) {
        TreeModel* model = modelOf(dialog, name);
        ASSERT_NE(model, nullptr) << name;
        EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), header);
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    auto* outer = qobject_cast<QVBoxLayout*>(dialog.layout());
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(outer->objectName(), "verticalLayout");
    for (const char* name : {"horizontalLayout", "horizontalLayout_2", "horizontalLayout_3", "horizontalLayout_4",
                             "horizontalLayout_5"})
        EXPECT_NE(dialog.findChild<QHBoxLayout*>(name), nullptr) << name;
    for (const char* name : {"verticalLayout_2", "verticalLayout_3", "verticalLayout_4"})
        EXPECT_NE(dialog.findChild<QVBoxLayout*>(name), nullptr) << name;
}

TEST_F(ScopeDialogTest, CatalogueTreesHaveTheirGroups)
{
    QScopeSetting dialog;
    TreeModel* comp = modelOf(dialog, "KDLX_Scope_tree_SetComponent");
    TreeModel* link = modelOf(dialog, "KDLX_Scope_tree_SetLink");
    TreeModel* end = modelOf(dialog, "KDLX_Scope_tree_SetEndEffector");
    EXPECT_EQ(comp->rowCount(), 33);  // no headings: every entry is top level
    ASSERT_EQ(link->rowCount(), 4);
    const int linkChildren[] = {5, 4, 6, 4};
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(link->rowCount(link->index(r, 0)), linkChildren[r]);
    // The leading blank is read as depth and trimmed from the shown text.
    EXPECT_EQ(link->data(link->index(0, 0, link->index(0, 0)), Qt::DisplayRole).toString(), "Target ACS");
    ASSERT_EQ(end->rowCount(), 3);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(end->rowCount(end->index(r, 0)), 2);
}

// Headings are words for the user and go through translation; channel names
// are the controller's and stay as they are, and so does what is selected.
TEST_F(ScopeDialogTest, HeadingsAreTranslatedOnScreenChannelNamesAreNot)
{
    MarkingTranslator marking("ScopeChannels");
    QScopeSetting dialog;
    TreeModel* link = modelOf(dialog, "KDLX_Scope_tree_SetLink");
    TreeModel* end = modelOf(dialog, "KDLX_Scope_tree_SetEndEffector");
    const QModelIndex position = link->index(0, 0);
    EXPECT_EQ(link->data(position, Qt::DisplayRole).toString(), "<Motor Position>");
    EXPECT_EQ(link->data(link->index(3, 0), Qt::DisplayRole).toString(), "<Motor Status>");
    EXPECT_EQ(end->data(end->index(2, 0), Qt::DisplayRole).toString(), "<ForceSensor>");
    EXPECT_EQ(link->data(link->index(0, 0, position), Qt::DisplayRole).toString(), "Target ACS");
    EXPECT_EQ(LinkNames().at(LINK_MotorPosition), "Motor Position");
    link->setData(position, checkValue(Qt::Checked), Qt::CheckStateRole);
    const auto chosen = dialog.linkSelection();
    ASSERT_EQ(chosen.size(), 5u);
    EXPECT_EQ(chosen.begin()->first, LINK_TargetACS);
}

TEST_F(ScopeDialogTest, SelectAllThenOkHandsBackLeavesWithTheirValues)
{
    QScopeSetting dialog;
    QSignalSpy accepted(&dialog, &QScopeSetting::userSetAxisInfo);
    dialog.show();
    click(dialog, "KDLX_Scope_btn_SetCompSelectAll");
    click(dialog, "KDLX_Scope_btn_SetLinkSelectAll");
    click(dialog, "KDLX_Scope_btn_SetEndSelectAll");
    click(dialog, "KDLX_Scope_btn_SetOK");
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(dialog.isVisible());

    const auto comp = dialog.componentSelection();
    ASSERT_EQ(comp.size(), 33u);
    for (const auto& [key, value] : comp)
        EXPECT_EQ(static_cast<int>(key), value);

    const auto link = dialog.linkSelection();
    ASSERT_EQ(link.size(), 19u);  // headings 0, 6, 11, 18 are groups
    for (int heading : {0, 6, 11, 18})
        EXPECT_EQ(link.count(static_cast<emLINK>(heading)), 0u);
    for (const auto& [key, value] : link)
        EXPECT_EQ(value, *linkIndexBase(key));
    EXPECT_EQ(link.at(LINK_StatusWord), 127);

    const auto end = dialog.endEffectorSelection();
    ASSERT_EQ(end.size(), 6u);
    EXPECT_EQ(end.at(ENDEFF_CaliData), 175);
    EXPECT_EQ(end.count(ENDEFF_ForceSensor), 0u);

    // Deselect all empties just its own tree.
    click(dialog, "KDLX_Scope_btn_SetLinkUnSelectAll");
    EXPECT_TRUE(dialog.linkSelection().empty());
    EXPECT_EQ(dialog.componentSelection().size(), 33u);
    click(dialog, "KDLX_Scope_btn_SetCompUnSelectAll");
    click(dialog, "KDLX_Scope_btn_SetEndUnSelectAll");
    EXPECT_TRUE(dialog.componentSelection().empty());
    EXPECT_TRUE(dialog.endEffectorSelection().empty());
}

TEST_F(ScopeDialogTest, SelectAllCollapsesTheTree)
{
    QScopeSetting dialog;
    dialog.show();
    QTreeView* tree = view(dialog, "KDLX_Scope_tree_SetLink");
    tree->expandAll();
    ASSERT_TRUE(tree->isExpanded(tree->model()->index(1, 0)));
    click(dialog, "KDLX_Scope_btn_SetLinkSelectAll");
    EXPECT_FALSE(tree->isExpanded(tree->model()->index(1, 0)));
    tree->expandAll();
    click(dialog, "KDLX_Scope_btn_SetLinkUnSelectAll");
    EXPECT_FALSE(tree->isExpanded(tree->model()->index(1, 0)));
}

TEST_F(ScopeDialogTest, CancelAndCloseHideWithoutEmittingAndKeepChecks)
{
    QScopeSetting dialog;
    QSignalSpy accepted(&dialog, &QScopeSetting::userSetAxisInfo);
    TreeModel* link = modelOf(dialog, "KDLX_Scope_tree_SetLink");
    TreeModel* comp = modelOf(dialog, "KDLX_Scope_tree_SetComponent");
    dialog.show();
    link->setData(link->index(2, 0), checkValue(Qt::Checked), Qt::CheckStateRole);  // "Motor Current"
    comp->setData(comp->index(AXIS_J2, 0), checkValue(Qt::Checked), Qt::CheckStateRole);
    click(dialog, "KDLX_Scope_btn_SetCancel");
    EXPECT_FALSE(dialog.isVisible());

    dialog.show();
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(accepted.count(), 0);

    const auto links = dialog.linkSelection();
    EXPECT_EQ(links.size(), 6u);
    EXPECT_EQ(links.at(LINK_TargetCur), 67);
    EXPECT_EQ(links.at(LINK_FilDisturbanceTor), 115);
    EXPECT_EQ(dialog.componentSelection(), (std::map<emAXIS, int>{{AXIS_J2, AXIS_J2}}));

    // What the page builds from it: J2 with the six current channels.
    const ScopeChannelList list =
        buildChannelList(dialog.componentSelection(), links, dialog.endEffectorSelection());
    ASSERT_EQ(list.count(), 6);
    EXPECT_EQ(list.channels[0].title, "J2 Target Cur");
    EXPECT_EQ(list.indexes[0], 68);
}

TEST_F(ScopeDialogTest, SetCheckedKeysClearsEveryCheck)
{
    QScopeSetting dialog;
    click(dialog, "KDLX_Scope_btn_SetCompSelectAll");
    click(dialog, "KDLX_Scope_btn_SetLinkSelectAll");
    click(dialog, "KDLX_Scope_btn_SetEndSelectAll");
    dialog.setCheckedKeys({{AXIS_J1, AXIS_J1}}, {{LINK_TargetACS, 43}}, {{ENDEFF_SrcData, 169}});
    EXPECT_TRUE(dialog.componentSelection().empty());
    EXPECT_TRUE(dialog.linkSelection().empty());
    EXPECT_TRUE(dialog.endEffectorSelection().empty());
    TreeModel* link = modelOf(dialog, "KDLX_Scope_tree_SetLink");
    for (int r = 0; r < link->rowCount(); ++r)
        EXPECT_FALSE(isChecked(*link, link->index(r, 0)));
}

TEST_F(ScopeDialogTest, ModelTesterFollowsChecksThroughTheCatalogueTrees)
{
    QScopeSetting dialog;
    for (const char* name : {"KDLX_Scope_tree_SetComponent", "KDLX_Scope_tree_SetLink",
                             "KDLX_Scope_tree_SetEndEffector"}) {
        TreeModel* model = modelOf(dialog, name);
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        for (int r = 0; r < model->rowCount(); ++r) {
            const QModelIndex group = model->index(r, 0);
            model->setData(group, checkValue(Qt::Checked), Qt::CheckStateRole);
            if (model->rowCount(group) > 0)
                model->setData(model->index(0, 0, group), checkValue(Qt::Unchecked), Qt::CheckStateRole);
        }
    }
}

TEST_F(ScopeDialogTest, RendersThreeTreesSideBySide)
{
    QScopeSetting dialog;
    dialog.show();
    click(dialog, "KDLX_Scope_btn_SetEndSelectAll");
    TreeModel* link = modelOf(dialog, "KDLX_Scope_tree_SetLink");
    link->setData(link->index(0, 0), checkValue(Qt::Checked), Qt::CheckStateRole);
    TreeModel* comp = modelOf(dialog, "KDLX_Scope_tree_SetComponent");
    comp->setData(comp->index(AXIS_J1, 0), checkValue(Qt::Checked), Qt::CheckStateRole);
    view(dialog, "KDLX_Scope_tree_SetLink")->expandAll();
    view(dialog, "KDLX_Scope_tree_SetEndEffector")->expandAll();
    QApplication::processEvents();
    const QImage image = dialog.grab().toImage();
    const QByteArray dir = qgetenv("SCOPE_SNAPSHOT_DIR");
    if (!dir.isEmpty())
        image.save(QString::fromLocal8Bit(dir) + "/scope_dialog.png");

    // The three columns share the width, left to right, above OK/Cancel.
    QTreeView* trees[] = {view(dialog, "KDLX_Scope_tree_SetComponent"), view(dialog, "KDLX_Scope_tree_SetLink"),
                          view(dialog, "KDLX_Scope_tree_SetEndEffector")};
    EXPECT_LT(trees[0]->geometry().right(), trees[1]->geometry().left());
    EXPECT_LT(trees[1]->geometry().right(), trees[2]->geometry().left());
    auto* ok = dialog.findChild<QPushButton*>("KDLX_Scope_btn_SetOK");
    auto* cancel = dialog.findChild<QPushButton*>("KDLX_Scope_btn_SetCancel");
    EXPECT_GT(ok->geometry().top(), trees[0]->geometry().bottom());
    EXPECT_LT(ok->geometry().right(), cancel->geometry().left());
    EXPECT_GT(ok->geometry().left(), dialog.width() / 2);  // pushed right by the spacer
    EXPECT_EQ(ok->width(), 100);
}

} // namespace
