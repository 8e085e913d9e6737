// The configuration page's navigation: the entry record, the model's roles,
// and the tree view driving the stack of setting pages.
#include "ConfigBTNModel.h"
#include "ConfigWidget_MachineOrigin.h"
#include "GuiTestSupport.h"
#include "TreeItem.h"
#include "VXPlugin_ConfigWidget.h"

#include <QFont>
#include <QIcon>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTreeView>

#include <climits>

using vxtest::child;

namespace {

ST_SetupBase entry(const QString& name, const QString& icon)
{
    ST_SetupBase s;
    s.strName = name;
    s.strIconPath = icon;
    return s;
}

} // namespace

TEST(ConfigNavigation, EntryRecordTravelsInAVariantUnderItsName)
{
    ConfigBTNModel model{QString()};
    EXPECT_NE(QMetaType::type("ST_SetupBase"), int(QMetaType::UnknownType));
    const QVariant v = QVariant::fromValue(entry("n", ":/x"));
    EXPECT_STREQ(v.typeName(), "ST_SetupBase");
    const ST_SetupBase back = v.value<ST_SetupBase>();
    EXPECT_EQ(back.strName, "n");
    EXPECT_EQ(back.strIconPath, ":/x");
    EXPECT_FALSE(back.bFlag1 || back.bFlag2 || back.bFlag3);
}

TEST(ConfigNavigation, ModelRolesForAnEntry)
{
    VXPlugin_ConfigWidget page; // registers the plug-in's images
    ConfigBTNModel model{QString()};
    ASSERT_TRUE(model.AddRow(0, 0, QVariant::fromValue(entry("Origin", ":/VXPlugin_Config/MachineOrigin")),
                             QModelIndex()));
    const QModelIndex index = model.index(0, 0);

    const QFont font = model.data(index, Qt::FontRole).value<QFont>();
    EXPECT_EQ(font.family(), "Helvetica [Cronyx]");
    EXPECT_EQ(font.pointSize(), 14);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_FALSE(font.italic());

    EXPECT_EQ(model.data(index, Qt::DisplayRole).toString(), "Origin");
    const QIcon icon = model.data(index, Qt::DecorationRole).value<QIcon>();
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(32, 32).isNull()) << "the entry's image is in the plug-in's resources";
    EXPECT_EQ(QImage(":/VXPlugin_Config/MachineOrigin").size(), QSize(40, 40));
    EXPECT_EQ(model.data(index, Qt::SizeHintRole).toSize(), QSize(32, 36));
    const QVariant raw = model.data(index, Qt::UserRole + 1);
    EXPECT_EQ(raw.userType(), QMetaType::type("ST_SetupBase"));
    EXPECT_EQ(raw.value<ST_SetupBase>().strName, "Origin");

    for (int role : {int(Qt::EditRole), int(Qt::ToolTipRole), int(Qt::UserRole), int(Qt::UserRole) + 2,
                     int(Qt::CheckStateRole), int(Qt::BackgroundRole)})
        EXPECT_FALSE(model.data(index, role).isValid()) << role;
    for (int role : {int(Qt::FontRole), int(Qt::DisplayRole), int(Qt::SizeHintRole), int(Qt::UserRole) + 1})
        EXPECT_FALSE(model.data(QModelIndex(), role).isValid()) << role;
}

TEST(ConfigNavigation, EntriesOfOtherShapesShowNothingButKeepFontAndSize)
{
    ConfigBTNModel model{QString()};
    const QVariant values[] = {QVariant(QString("just text")), QVariant(42), QVariant(),
                               QVariant::fromValue(entry("NoIcon", QString()))};
    for (unsigned row = 0; row < 4; ++row)
        ASSERT_TRUE(model.AddRow(row, 0, values[row], QModelIndex()));
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        EXPECT_EQ(model.data(index, Qt::SizeHintRole).toSize(), QSize(32, 36)) << row;
        EXPECT_EQ(model.data(index, Qt::FontRole).value<QFont>().pointSize(), 14) << row;
        EXPECT_FALSE(model.data(index, Qt::DecorationRole).isValid()) << row;
    }
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "");
    EXPECT_EQ(model.data(model.index(0, 0), Qt::UserRole + 1).toString(), "just text");
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "");
    EXPECT_EQ(model.data(model.index(3, 0), Qt::DisplayRole).toString(), "NoIcon");
}

TEST(ConfigNavigation, PageStartsOnTheMachineOriginWithOneEntry)
{
    VXPlugin_ConfigWidget page;
    auto* tree = child<QTreeView>(&page, "tv_setup");
    auto* stack = child<QStackedWidget>(&page, "sw_setup");
    ASSERT_TRUE(tree && stack);
    ASSERT_EQ(stack->count(), 1);
    ASSERT_NE(stack->currentWidget(), nullptr);
    EXPECT_STREQ(stack->currentWidget()->metaObject()->className(), "ConfigWidget_MachineOrigin");
    EXPECT_EQ(page.currentType(), 0);

    auto* model = qobject_cast<ConfigBTNModel*>(tree->model());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->QObject::parent(), &page);
    ASSERT_EQ(model->rowCount(), 1);
    const QModelIndex entryIndex = model->index(0, 0);
    EXPECT_EQ(model->data(entryIndex, Qt::DisplayRole).toString(), "MachineOrigin");
    EXPECT_EQ(model->getItem(entryIndex)->type(), 0u);
    const ST_SetupBase stored = model->getItem(entryIndex)->data(0).value<ST_SetupBase>();
    EXPECT_EQ(stored.strIconPath, ":/VXPlugin_Config/MachineOrigin");
    EXPECT_FALSE(stored.bFlag1 || stored.bFlag2 || stored.bFlag3);
    EXPECT_FALSE(model->data(entryIndex, Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "");
}

namespace {

// Shows the page so the tree view lays out its rows and takes clicks.
struct ShownPage
{
    ShownPage()
    {
        page.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&page));
        tree = page.findChild<QTreeView*>("tv_setup");
        stack = page.findChild<QStackedWidget*>("sw_setup");
    }
    VXPlugin_ConfigWidget page;
    QTreeView* tree = nullptr;
    QStackedWidget* stack = nullptr;
};

} // namespace

TEST(ConfigNavigation, ClickingTheEntryKeepsTheMachineOriginPage)
{
    ShownPage shown;
    ASSERT_TRUE(shown.tree && shown.stack);
    QWidget* origin = shown.stack->currentWidget();
    const QRect rect = shown.tree->visualRect(shown.tree->model()->index(0, 0));
    ASSERT_TRUE(rect.isValid());
    QSignalSpy clicked(shown.tree, &QTreeView::clicked);
    QTest::mouseClick(shown.tree->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(shown.page.currentType(), 0);
    EXPECT_EQ(shown.stack->currentWidget(), origin);
}

TEST(ConfigNavigation, ClickBelowTheEntryChangesNothing)
{
    ShownPage shown;
    ASSERT_TRUE(shown.tree && shown.stack);
    QWidget* origin = shown.stack->currentWidget();
    const QRect rect = shown.tree->visualRect(shown.tree->model()->index(0, 0));
    const QPoint below(rect.center().x(), shown.tree->viewport()->height() - 5);
    ASSERT_FALSE(shown.tree->indexAt(below).isValid());
    QTest::mouseClick(shown.tree->viewport(), Qt::LeftButton, Qt::NoModifier, below);
    shown.page.slot_ConfigBTNtreeClicked(QModelIndex());
    EXPECT_EQ(shown.page.currentType(), 0);
    EXPECT_EQ(shown.stack->currentWidget(), origin);
}

TEST(ConfigNavigation, DoubleClickOpensNoEditor)
{
    ShownPage shown;
    ASSERT_TRUE(shown.tree);
    const QModelIndex entryIndex = shown.tree->model()->index(0, 0);
    const QPoint at = shown.tree->visualRect(entryIndex).center();
    const int widgetsBefore = shown.tree->viewport()->findChildren<QWidget*>().size();
    QTest::mouseDClick(shown.tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::keyClick(shown.tree, Qt::Key_F2);
    QApplication::processEvents();
    EXPECT_EQ(shown.tree->findChild<QLineEdit*>(), nullptr);
    EXPECT_EQ(shown.tree->viewport()->findChildren<QWidget*>().size(), widgetsBefore) << "an editor opened";
    EXPECT_EQ(shown.tree->model()->data(entryIndex, Qt::DisplayRole).toString(), "MachineOrigin");
}

TEST(MachineOriginText, ValuesShowAsPlainDecimalDigits)
{
    struct Case { int value; const char* text; } cases[] = {
        {0, "0"}, {1, "1"}, {-1, "-1"}, {10, "10"}, {-20, "-20"}, {1048576, "1048576"},
        {1234567890, "1234567890"}, {-1234567891, "-1234567891"},
        {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConfigWidget_MachineOrigin::encoderText(c.value), c.text) << c.value;
        EXPECT_EQ(ConfigWidget_MachineOrigin::originText(c.value), c.text) << c.value;
    }
}
