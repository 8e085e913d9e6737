// Tree item and tree model of VX_Controls: bounds of every item operation,
// the model's notifications (announced only for what really changes) and
// Qt's own model consistency checks over a populated tree.
#include "TreeItem.h"
#include "TreeModel.h"
#include "VX_Controls.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// An item with n columns holding "c0".."c<n-1>".
std::unique_ptr<TreeItem> makeItem(int columns)
{
    QVector<QVariant> data;
    for (int c = 0; c < columns; ++c)
        data << QString("c%1").arg(c);
    return std::make_unique<TreeItem>(data);
}

// Gives each child of item column 0 = its name, so orders can be compared.
void nameChildren(TreeItem& item, const QStringList& names)
{
    item.insertChildren(0, names.size(), 1);
    for (int i = 0; i < names.size(); ++i)
        item.child(i)->setData(0, names[i]);
}

QStringList childNames(TreeItem& item)
{
    QStringList names;
    for (int i = 0; i < item.childCount(); ++i)
        names << item.child(i)->data(0).toString();
    return names;
}

QStringList rowNames(TreeModel& model, const QModelIndex& parent = QModelIndex())
{
    QStringList names;
    for (int r = 0; r < model.rowCount(parent); ++r)
        names << model.getItem(model.index(r, 0, parent))->data(0).toString();
    return names;
}

// A model with top-level rows named by names (all of type 0).
void fill(TreeModel& model, const QStringList& names, const QModelIndex& parent = QModelIndex())
{
    for (int i = 0; i < names.size(); ++i)
        ASSERT_TRUE(model.AddRow(static_cast<unsigned>(i), 0, names[i], parent));
}

const QStringList kABCDE = {"A", "B", "C", "D", "E"};

} // namespace

// ---------------------------------------------------------------- TreeItem

TEST(TreeItem, NewItemIsBareAndNotLinkedIntoItsParent)
{
    auto parent = makeItem(2);
    TreeItem item({QVariant(1), QVariant(2)}, parent.get());
    EXPECT_EQ(item.parent(), parent.get());
    EXPECT_EQ(parent->childCount(), 0);
    EXPECT_EQ(item.childCount(), 0);
    EXPECT_EQ(item.columnCount(), 2);
    EXPECT_EQ(item.type(), 0u);
    EXPECT_FALSE(item.running());
    QModelIndex stored = QModelIndex();
    item.GetIndex(stored);
    EXPECT_FALSE(stored.isValid());
    EXPECT_EQ(parent->childNumber(), 0) << "an item without parent is at position 0";
}

TEST(TreeItem, OutOfRangeChildAndColumnGiveNullOrInvalid)
{
    auto item = makeItem(3);
    item->insertChildren(0, 2, 3);
    for (int number : {-1, 2, 100, INT_MIN})
        EXPECT_EQ(item->child(number), nullptr) << number;
    for (int column : {-1, 3, 100, INT_MIN})
        EXPECT_FALSE(item->data(column).isValid()) << column;
    EXPECT_EQ(item->data(2).toString(), "c2");
}

TEST(TreeItem, SetDataAcceptsOnlyExistingColumns)
{
    auto item = makeItem(2);
    struct Case { int column; bool accepted; } cases[] = {{-1, false}, {0, true}, {1, true}, {2, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(item->setData(c.column, "x"), c.accepted) << c.column;
    }
    EXPECT_EQ(item->data(0).toString(), "x");
    EXPECT_EQ(item->data(1).toString(), "x");

    TreeItem noColumns({});
    EXPECT_FALSE(noColumns.setData(0, "x"));
}

TEST(TreeItem, InsertChildrenRange)
{
    struct Case { int position; int count; bool accepted; int childrenAfter; } cases[] = {
        {0, 1, true, 3},   // front
        {2, 1, true, 3},   // at the child count: appends
        {1, 3, true, 5},
        {0, 0, true, 2},   // nothing, still true
        {-1, 1, false, 2},
        {3, 1, false, 2},  // past the end
    };
    for (const auto& c : cases) {
        auto item = makeItem(1);
        nameChildren(*item, {"A", "B"});
        EXPECT_EQ(item->insertChildren(c.position, c.count, 4), c.accepted) << c.position << "/" << c.count;
        EXPECT_EQ(item->childCount(), c.childrenAfter) << c.position << "/" << c.count;
    }
}

TEST(TreeItem, InsertedChildrenHaveTheirColumnsAndParent)
{
    auto item = makeItem(1);
    nameChildren(*item, {"A", "B"});
    ASSERT_TRUE(item->insertChildren(2, 2, 3));
    EXPECT_EQ(childNames(*item), QStringList({"A", "B", "", ""}));
    for (int i = 2; i < 4; ++i) {
        EXPECT_EQ(item->child(i)->parent(), item.get());
        EXPECT_EQ(item->child(i)->columnCount(), 3);
        EXPECT_FALSE(item->child(i)->data(0).isValid());
        EXPECT_EQ(item->child(i)->childNumber(), i);
    }
}

TEST(TreeItem, ColumnsAreInsertedAndRemovedInTheWholeSubtree)
{
    auto root = makeItem(2);
    root->insertChildren(0, 1, 2);
    root->child(0)->insertChildren(0, 1, 2);
    TreeItem* grandChild = root->child(0)->child(0);
    grandChild->setData(1, "g1");

    ASSERT_TRUE(root->insertColumns(1, 2));
    EXPECT_EQ(root->columnCount(), 4);
    EXPECT_EQ(root->data(3).toString(), "c1");
    EXPECT_EQ(root->child(0)->columnCount(), 4);
    EXPECT_EQ(grandChild->columnCount(), 4);
    EXPECT_EQ(grandChild->data(3).toString(), "g1");

    ASSERT_TRUE(root->removeColumns(0, 3));
    EXPECT_EQ(root->columnCount(), 1);
    EXPECT_EQ(grandChild->columnCount(), 1);
    EXPECT_EQ(grandChild->data(0).toString(), "g1");
}

TEST(TreeItem, ColumnRangeChecks)
{
    struct Case { const char* op; int position; int columns; bool accepted; } cases[] = {
        {"insert", -1, 1, false}, {"insert", 3, 1, true}, {"insert", 4, 1, false}, {"insert", 0, -1, false},
        {"remove", -1, 1, false}, {"remove", 2, 1, true}, {"remove", 2, 2, false}, {"remove", 0, 3, true},
        {"remove", 0, -1, false},
    };
    for (const auto& c : cases) {
        auto item = makeItem(3);
        const bool insert = std::string(c.op) == "insert";
        const bool result = insert ? item->insertColumns(c.position, c.columns)
                                   : item->removeColumns(c.position, c.columns);
        EXPECT_EQ(result, c.accepted) << c.op << " " << c.position << "/" << c.columns;
        if (!c.accepted) {
            EXPECT_EQ(item->columnCount(), 3) << "a refused change leaves the item alone";
        }
    }
}

TEST(TreeItem, RemoveChildrenRange)
{
    struct Case { int position; int count; bool accepted; QStringList after; } cases[] = {
        {0, 1, true, {"B", "C"}},
        {1, 2, true, {"A"}},
        {0, 3, true, {}},
        {3, 0, true, {"A", "B", "C"}},
        {2, 2, false, {"A", "B", "C"}},
        {-1, 1, false, {"A", "B", "C"}},
        {0, -1, false, {"A", "B", "C"}},
    };
    for (const auto& c : cases) {
        auto item = makeItem(1);
        nameChildren(*item, {"A", "B", "C"});
        EXPECT_EQ(item->removeChildren(c.position, c.count), c.accepted) << c.position << "/" << c.count;
        EXPECT_EQ(childNames(*item), c.after) << c.position << "/" << c.count;
    }
}

TEST(TreeItem, TwoArgumentMoveSwaps)
{
    struct Case { int from; int to; bool accepted; QStringList after; } cases[] = {
        {0, 1, true, {"B", "A", "C"}},
        {0, 2, true, {"C", "B", "A"}},
        {1, 1, true, {"A", "B", "C"}},
        {0, 3, false, {"A", "B", "C"}},
        {3, 0, false, {"A", "B", "C"}},
        {-1, 0, false, {"A", "B", "C"}},
    };
    for (const auto& c : cases) {
        auto item = makeItem(1);
        nameChildren(*item, {"A", "B", "C"});
        EXPECT_EQ(item->moveChildren(c.from, c.to), c.accepted) << c.from << "->" << c.to;
        EXPECT_EQ(childNames(*item), c.after) << c.from << "->" << c.to;
    }
}

TEST(TreeItem, ThreeArgumentMoveKeepsTheBlockTogether)
{
    struct Case { int from; int count; int to; bool accepted; QStringList after; } cases[] = {
        {0, 1, 1, true, {"B", "A", "C", "D", "E"}},   // the first behind the second
        {3, 2, 0, true, {"D", "E", "A", "B", "C"}},   // upwards
        {0, 2, 2, true, {"C", "D", "A", "B", "E"}},   // downwards, overlapping
        {0, 2, 3, true, {"C", "D", "E", "A", "B"}},   // downwards to the end
        {1, 3, 2, true, {"A", "E", "B", "C", "D"}},
        {2, 2, 2, true, {"A", "B", "C", "D", "E"}},   // onto itself
        {0, 0, 4, true, {"A", "B", "C", "D", "E"}},
        {0, 1, 5, false, {"A", "B", "C", "D", "E"}},  // to the child count
        {5, 1, 0, false, {"A", "B", "C", "D", "E"}},  // from the child count
        {4, 2, 0, false, {"A", "B", "C", "D", "E"}},  // block runs past the end
        {0, 2, 4, false, {"A", "B", "C", "D", "E"}},  // target block runs past the end
        {-1, 1, 0, false, {"A", "B", "C", "D", "E"}},
        {0, -1, 0, false, {"A", "B", "C", "D", "E"}},
    };
    for (const auto& c : cases) {
        auto item = makeItem(1);
        nameChildren(*item, kABCDE);
        EXPECT_EQ(item->moveChildren(c.from, c.count, c.to), c.accepted)
            << c.from << "+" << c.count << "->" << c.to;
        EXPECT_EQ(childNames(*item), c.after) << c.from << "+" << c.count << "->" << c.to;
    }
}

TEST(TreeItem, GetChildsListWalksDepthFirstWithoutClearing)
{
    TreeItem root({QString("root")});
    nameChildren(root, {"A", "B"});
    nameChildren(*root.child(0), {"A1", "A2"});
    nameChildren(*root.child(0)->child(1), {"A2x"});
    nameChildren(*root.child(1), {"B1"});

    QList<TreeItem*> list;
    TreeItem marker({QString("before")});
    list << &marker;
    root.GetChildsList(list);
    QStringList names;
    for (TreeItem* item : list)
        names << item->data(0).toString();
    EXPECT_EQ(names, QStringList({"before", "root", "A", "A1", "A2", "A2x", "B", "B1"}));
}

TEST(TreeItem, AppendChildrenLeavesTheParentPointerToTheCaller)
{
    auto parent = makeItem(1);
    auto* stranger = new TreeItem({QString("s")});
    parent->appendChildren(stranger);
    EXPECT_EQ(parent->childCount(), 1);
    EXPECT_EQ(parent->child(0), stranger);
    EXPECT_EQ(stranger->parent(), nullptr);
    auto* own = new TreeItem({QString("o")}, parent.get());
    parent->appendChildren(own);
    EXPECT_EQ(own->childNumber(), 1);
}

TEST(TreeItem, TypeRunningAndStoredIndex)
{
    TreeItem item({QString("x")});
    item.setType(0xFFFFFFFFu);
    item.setRunning(true);
    EXPECT_EQ(item.type(), 0xFFFFFFFFu);
    EXPECT_TRUE(item.running());
    TreeModel model("h");
    model.AddRow(0, 0, "r", QModelIndex());
    QModelIndex index = model.index(0, 0);
    item.SetIndex(index);
    QModelIndex out;
    item.GetIndex(out);
    EXPECT_EQ(out, index);
}

// --------------------------------------------------------------- TreeModel

TEST(TreeModel, NewModelHasOneTitledColumnAndNoRows)
{
    TreeModel model("Title");
    EXPECT_EQ(model.columnCount(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Title");
    struct Case { int section; Qt::Orientation orientation; int role; } invalid[] = {
        {1, Qt::Horizontal, Qt::DisplayRole},
        {-1, Qt::Horizontal, Qt::DisplayRole},
        {0, Qt::Vertical, Qt::DisplayRole},
        {0, Qt::Horizontal, Qt::EditRole},
        {0, Qt::Horizontal, Qt::ToolTipRole},
    };
    for (const auto& c : invalid)
        EXPECT_FALSE(model.headerData(c.section, c.orientation, c.role).isValid())
            << c.section << " " << c.orientation << " " << c.role;
    EXPECT_EQ(model.getItem(QModelIndex()), model.rootItem());
    VX_Controls nothing;
    (void)nothing;
}

TEST(TreeModel, DataIsAlwaysInvalidWhileTheItemKeepsTheValue)
{
    TreeModel model("h");
    ASSERT_TRUE(model.AddRow(0, 3, QString("stored"), QModelIndex()));
    const QModelIndex index = model.index(0, 0);
    ASSERT_TRUE(index.isValid());
    for (int role : {int(Qt::DisplayRole), int(Qt::EditRole), int(Qt::DecorationRole), int(Qt::UserRole),
                     int(Qt::UserRole) + 1, int(Qt::SizeHintRole)}) {
        EXPECT_FALSE(model.data(index, role).isValid()) << role;
        EXPECT_FALSE(model.data(QModelIndex(), role).isValid()) << role;
    }
    EXPECT_EQ(model.getItem(index)->data(0).toString(), "stored");
}

TEST(TreeModel, FlagsAreEditableSelectableEnabledNeverCheckable)
{
    TreeModel model("h");
    fill(model, {"A"});
    EXPECT_EQ(int(model.flags(QModelIndex())), 0);
    const Qt::ItemFlags flags = model.flags(model.index(0, 0));
    EXPECT_EQ(int(flags), 35);
    EXPECT_FALSE(flags.testFlag(Qt::ItemIsUserCheckable));
}

TEST(TreeModel, AddRowStoresTypeValueAndAStaleIndex)
{
    TreeModel model("h");
    QModelIndex first;
    ASSERT_TRUE(model.AddRow(0, 7, QString("first"), QModelIndex(), first));
    ASSERT_EQ(model.rowCount(), 1);
    TreeItem* firstItem = model.getItem(first);
    EXPECT_EQ(firstItem->type(), 7u);
    EXPECT_EQ(firstItem->data(0).toString(), "first");
    QModelIndex stored;
    firstItem->GetIndex(stored);
    EXPECT_EQ(stored.row(), 0);
    EXPECT_EQ(stored.column(), 0);
    EXPECT_EQ(first, stored);

    ASSERT_TRUE(model.AddRow(0, 8, QString("second"), QModelIndex()));
    EXPECT_EQ(rowNames(model), QStringList({"second", "first"}));
    firstItem->GetIndex(stored);
    EXPECT_EQ(stored.row(), 0) << "the stored index is not kept up to date";
    EXPECT_EQ(firstItem->childNumber(), 1);
    EXPECT_EQ(model.index(1, 0).internalPointer(), firstItem);
}

TEST(TreeModel, AddRowUnderAChildAndParentLookup)
{
    TreeModel model("h");
    fill(model, {"A", "B"});
    const QModelIndex b = model.index(1, 0);
    QModelIndex child;
    ASSERT_TRUE(model.AddRow(0, 1, QString("B1"), b, child));
    EXPECT_EQ(model.parent(child), b);
    EXPECT_FALSE(model.parent(b).isValid());
    EXPECT_FALSE(model.parent(QModelIndex()).isValid());
    EXPECT_EQ(model.rowCount(b), 1);
    EXPECT_EQ(rowNames(model, b), QStringList({"B1"}));
}

TEST(TreeModel, AddRowPastTheEndAddsNothingAndAnnouncesNothing)
{
    TreeModel model("h");
    fill(model, {"A"});
    QSignalSpy inserting(&model, &QAbstractItemModel::rowsAboutToBeInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QModelIndex sentinel = model.index(0, 0);
    QModelIndex out = sentinel;
    for (unsigned row : {2u, 100u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(model.AddRow(row, 1, QString("x"), QModelIndex(), out)) << row;
        EXPECT_EQ(out, sentinel) << "a failed AddRow leaves newIndex alone";
    }
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(inserting.count(), 0);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(model.rootItem()->type(), 0u);
}

namespace {
// A subclass whose setData refuses everything: AddRow goes through it.
class RefusingModel : public TreeModel
{
public:
    RefusingModel() : TreeModel("h") {}
    bool setData(const QModelIndex&, const QVariant&, int) override { return false; }
};
} // namespace

TEST(TreeModel, AddRowGoesThroughTheVirtualSetData)
{
    RefusingModel model;
    QModelIndex out;
    EXPECT_FALSE(model.AddRow(0, 5, QString("x"), QModelIndex(), out));
    EXPECT_FALSE(out.isValid());
    ASSERT_EQ(model.rowCount(), 1) << "the row itself was inserted";
    EXPECT_EQ(model.getItem(model.index(0, 0))->type(), 5u);
    EXPECT_FALSE(model.getItem(model.index(0, 0))->data(0).isValid());
}

TEST(TreeModel, AddRowOnAModelWithoutColumnsLeavesTheRootAlone)
{
    TreeModel model("h");
    ASSERT_TRUE(model.removeColumns(0, 1));
    QModelIndex out;
    EXPECT_FALSE(model.AddRow(0, 9, QString("x"), QModelIndex(), out));
    EXPECT_EQ(model.rootItem()->type(), 0u);
    QModelIndex stored;
    model.rootItem()->GetIndex(stored);
    EXPECT_FALSE(stored.isValid());
}

TEST(TreeModel, SetDataOnlyForEditRoleAndExistingCells)
{
    TreeModel model("h");
    fill(model, {"A"});
    const QModelIndex a = model.index(0, 0);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    EXPECT_FALSE(model.setData(a, "no", Qt::DisplayRole));
    EXPECT_FALSE(model.setData(QModelIndex(), "no", Qt::EditRole)) << "reaches the root with column -1";
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "h");
    EXPECT_EQ(changed.count(), 0);

    EXPECT_TRUE(model.setData(a, "yes", Qt::EditRole));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), a);
    EXPECT_EQ(changed[0][1].toModelIndex(), a);
    EXPECT_TRUE(changed[0][2].value<QVector<int>>().isEmpty());
    EXPECT_EQ(model.getItem(a)->data(0).toString(), "yes");
}

TEST(TreeModel, DataChangedForwardsTheRange)
{
    TreeModel model("h");
    fill(model, {"A", "B"});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.DataChanged(model.index(0, 0), model.index(1, 0));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 1);
    EXPECT_TRUE(changed[0][2].value<QVector<int>>().isEmpty());
}

TEST(TreeModel, SetHeaderData)
{
    TreeModel model("h");
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
    EXPECT_FALSE(model.setHeaderData(0, Qt::Vertical, "v", Qt::EditRole));
    EXPECT_FALSE(model.setHeaderData(0, Qt::Horizontal, "v", Qt::DisplayRole));
    EXPECT_FALSE(model.setHeaderData(1, Qt::Horizontal, "v", Qt::EditRole));
    EXPECT_EQ(headers.count(), 0);
    EXPECT_TRUE(model.setHeaderData(0, Qt::Horizontal, "New", Qt::EditRole));
    ASSERT_EQ(headers.count(), 1);
    EXPECT_EQ(headers[0][1].toInt(), 0);
    EXPECT_EQ(headers[0][2].toInt(), 0);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "New");
}

TEST(TreeModel, InsertRowsAnnouncesOnlyRealInsertions)
{
    struct Case { int position; int rows; bool accepted; int announced; } cases[] = {
        {0, 2, true, 1}, {2, 1, true, 1}, {1, 0, true, 0},
        {3, 1, false, 0}, {-1, 1, false, 0}, {0, -2, false, 0},
    };
    for (const auto& c : cases) {
        TreeModel model("h");
        fill(model, {"A", "B"});
        QSignalSpy about(&model, &QAbstractItemModel::rowsAboutToBeInserted);
        QSignalSpy done(&model, &QAbstractItemModel::rowsInserted);
        EXPECT_EQ(model.insertRows(c.position, c.rows), c.accepted) << c.position << "/" << c.rows;
        EXPECT_EQ(about.count(), c.announced) << c.position << "/" << c.rows;
        EXPECT_EQ(done.count(), c.announced) << c.position << "/" << c.rows;
        EXPECT_EQ(model.rowCount(), 2 + (c.accepted ? c.rows : 0));
        if (c.announced) {
            EXPECT_EQ(done[0][1].toInt(), c.position);
            EXPECT_EQ(done[0][2].toInt(), c.position + c.rows - 1);
        }
    }
}

TEST(TreeModel, RemoveRowsAnnouncesOnlyRealRemovals)
{
    struct Case { int position; int rows; bool accepted; QStringList after; } cases[] = {
        {0, 1, true, {"B", "C"}},
        {1, 2, true, {"A"}},
        {3, 1, false, {"A", "B", "C"}},  // at the row count: nothing there to remove
        {4, 1, true, {"A", "B", "C"}},   // beyond the row count: nothing to do
        {2, 5, false, {"A", "B", "C"}},
        {-1, 1, false, {"A", "B", "C"}},
        {1, 0, true, {"A", "B", "C"}},
    };
    for (const auto& c : cases) {
        TreeModel model("h");
        fill(model, {"A", "B", "C"});
        QSignalSpy about(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
        EXPECT_EQ(model.removeRows(c.position, c.rows), c.accepted) << c.position << "/" << c.rows;
        EXPECT_EQ(rowNames(model), c.after) << c.position << "/" << c.rows;
        const bool changed = c.after.size() != 3;
        EXPECT_EQ(about.count(), changed ? 1 : 0) << c.position << "/" << c.rows;
    }
}

TEST(TreeModel, InsertColumnsReachesTheWholeTree)
{
    TreeModel model("h");
    fill(model, {"A"});
    QModelIndex child;
    ASSERT_TRUE(model.AddRow(0, 0, QString("A1"), model.index(0, 0), child));
    QSignalSpy about(&model, &QAbstractItemModel::columnsAboutToBeInserted);
    EXPECT_FALSE(model.insertColumns(2, 1));
    EXPECT_EQ(about.count(), 0);
    ASSERT_TRUE(model.insertColumns(1, 2));
    EXPECT_EQ(about.count(), 1);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.getItem(model.index(0, 0))->columnCount(), 3);
    EXPECT_EQ(model.getItem(child)->columnCount(), 3);
    EXPECT_TRUE(model.setHeaderData(2, Qt::Horizontal, "third"));
    EXPECT_TRUE(model.setData(model.index(0, 2, model.index(0, 0)), "A1c2"));
    EXPECT_EQ(model.getItem(child)->data(2).toString(), "A1c2");
    ASSERT_TRUE(model.AddRow(1, 0, QString("B"), QModelIndex()));
    EXPECT_EQ(model.getItem(model.index(1, 0))->columnCount(), 3) << "new rows get the root's column count";
}

TEST(TreeModel, RemovingTheLastColumnRemovesAllRows)
{
    TreeModel model("h");
    fill(model, {"A", "B"});
    ASSERT_TRUE(model.insertColumns(1, 1));
    QSignalSpy rowsGone(&model, &QAbstractItemModel::rowsRemoved);
    EXPECT_FALSE(model.removeColumns(1, 2));
    ASSERT_TRUE(model.removeColumns(1, 1));
    EXPECT_EQ(model.rowCount(), 2) << "one column left, rows stay";
    EXPECT_EQ(rowsGone.count(), 0);
    ASSERT_TRUE(model.removeColumns(0, 1));
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_EQ(model.rowCount(), 0);
    ASSERT_EQ(rowsGone.count(), 1);
    EXPECT_EQ(rowsGone[0][1].toInt(), 0);
    EXPECT_EQ(rowsGone[0][2].toInt(), 1);
}

TEST(TreeModel, MoveRowsWithinOneParentKeepsViewsInStep)
{
    struct Case { int source; int count; int destination; bool accepted; QStringList after; } cases[] = {
        {0, 1, 1, true, {"B", "A", "C", "D", "E"}},
        {0, 2, 2, true, {"C", "D", "A", "B", "E"}},
        {3, 2, 1, true, {"A", "D", "E", "B", "C"}},
        {4, 1, 0, true, {"E", "A", "B", "C", "D"}},
        {2, 1, 2, true, {"A", "B", "C", "D", "E"}},
        {0, 1, 5, false, {"A", "B", "C", "D", "E"}},
        {4, 2, 0, false, {"A", "B", "C", "D", "E"}},
        {0, 0, 1, false, {"A", "B", "C", "D", "E"}},
        {-1, 1, 1, false, {"A", "B", "C", "D", "E"}},
    };
    for (const auto& c : cases) {
        TreeModel model("h");
        fill(model, kABCDE);
        // Persistent indexes follow what views are told; after the move each
        // must still point at the row holding its item.
        std::vector<QPersistentModelIndex> persistent;
        std::vector<void*> items;
        for (int r = 0; r < 5; ++r) {
            persistent.emplace_back(model.index(r, 0));
            items.push_back(model.index(r, 0).internalPointer());
        }
        QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
        EXPECT_EQ(model.moveRows(QModelIndex(), c.source, c.count, QModelIndex(), c.destination), c.accepted)
            << c.source << "+" << c.count << "->" << c.destination;
        EXPECT_EQ(rowNames(model), c.after) << c.source << "+" << c.count << "->" << c.destination;
        const bool changed = c.after != kABCDE;
        EXPECT_EQ(moved.count(), changed ? 1 : 0);
        for (int r = 0; r < 5; ++r) {
            ASSERT_TRUE(persistent[r].isValid());
            EXPECT_EQ(model.index(persistent[r].row(), 0).internalPointer(), items[r])
                << "item " << r << " after " << c.source << "+" << c.count << "->" << c.destination;
        }
    }
}

TEST(TreeModel, MoveRowsBetweenParentsIsRefused)
{
    TreeModel model("h");
    fill(model, {"A", "B"});
    const QModelIndex a = model.index(0, 0);
    fill(model, {"A1", "A2"}, a);
    QSignalSpy about(&model, &QAbstractItemModel::rowsAboutToBeMoved);
    EXPECT_FALSE(model.moveRows(a, 0, 1, QModelIndex(), 0));
    EXPECT_FALSE(model.moveRows(QModelIndex(), 1, 1, a, 0));
    EXPECT_EQ(about.count(), 0);
    EXPECT_EQ(rowNames(model), QStringList({"A", "B"}));
    EXPECT_EQ(rowNames(model, a), QStringList({"A1", "A2"}));
    EXPECT_TRUE(model.moveRows(a, 0, 1, a, 1));
    EXPECT_EQ(rowNames(model, a), QStringList({"A2", "A1"}));
}

TEST(TreeModel, IndexBoundsAndGetItemFallback)
{
    TreeModel model("h");
    fill(model, {"A"});
    EXPECT_FALSE(model.index(1, 0).isValid());
    EXPECT_FALSE(model.index(0, 1).isValid());
    EXPECT_FALSE(model.index(-1, 0).isValid());
    EXPECT_TRUE(model.index(0, 0).isValid());
    EXPECT_EQ(model.getItem(model.index(0, 0))->data(0).toString(), "A");
    EXPECT_EQ(model.getItem(QModelIndex()), model.rootItem());
}

// ---------------------------------------------- Qt's own consistency checks

namespace {
QStringList g_testerWarnings;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_testerWarnings << message;
}
} // namespace

TEST(TreeModel, PassesQtModelTesterWhilePopulatedAndChanged)
{
    g_testerWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    {
        TreeModel model("Name");
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
        fill(model, {"A", "B", "C"});
        const QModelIndex a = model.index(0, 0);
        fill(model, {"A1", "A2", "A3"}, a);
        fill(model, {"A2x", "A2y"}, model.index(1, 0, a));
        fill(model, {"C1"}, model.index(2, 0));
        model.setHeaderData(0, Qt::Horizontal, "Renamed");
        model.insertRows(1, 2, a);
        model.removeRows(0, 1, a);
        model.moveRows(a, 0, 2, a, 2);
        model.moveRows(QModelIndex(), 2, 1, QModelIndex(), 0);
        model.insertRows(9, 1, a);     // refused
        model.removeRows(2, 9, a);     // refused
        model.removeRows(0, 1);
        model.DataChanged(model.index(0, 0), model.index(1, 0));
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(g_testerWarnings.isEmpty()) << g_testerWarnings.join("\n").toStdString();
}
