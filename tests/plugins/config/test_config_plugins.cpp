// The configuration and script plug-ins as the host sees them: loaded from
// the plugins folder with Qt's plug-in loader, driven only through the
// Designer custom-widget interface and object names.
#include "GuiTestSupport.h"

#include <QDesignerCustomWidgetInterface>
#include <QDir>
#include <QJsonObject>
#include <QPluginLoader>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>

namespace {

QString pluginPath(const char* file)
{
    return QDir(qEnvironmentVariable("VX_BIN_DIR")).filePath(QString("plugins/") + file);
}

struct Expected
{
    const char* file;
    const char* className;
    const char* name;
    const char* order;
    const char* includeFile;
    const char* domClass;
    bool hasIcon;
    const char* pageClass;
};

const Expected kPlugins[] = {
    {"libVXPlugin_Config.so", "VXPlugin_ConfigPlugin", "config", "20", "VXPlugin_Config.h", "VXPlugin_Config", true,
     "VXPlugin_ConfigWidget"},
    {"libVXPlugin_Script.so", "VXPlugin_ScriptPlugin", "script", "30", "VXPlugin_Script.h", "VXPlugin_Script", false,
     "VXPlugin_ScriptWidget"},
};

} // namespace

class PluginContract : public ::testing::TestWithParam<Expected>
{
};

TEST_P(PluginContract, AnswersTheHostAsAgreed)
{
    const Expected& e = GetParam();
    QPluginLoader loader(pluginPath(e.file));
    const QJsonObject meta = loader.metaData();
    EXPECT_EQ(meta.value("IID").toString(), "org.qt-project.Qt.QDesignerCustomWidgetInterface");
    EXPECT_EQ(meta.value("className").toString(), e.className);
    EXPECT_TRUE(meta.value("MetaData").toObject().isEmpty());

    QObject* root = loader.instance();
    ASSERT_NE(root, nullptr) << loader.errorString().toStdString();
    EXPECT_EQ(loader.instance(), root) << "the same entry object on every call";
    EXPECT_TRUE(root->inherits("QDesignerCustomWidgetInterface"));
    EXPECT_STREQ(root->metaObject()->className(), e.className);
    auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(root);
    ASSERT_NE(plugin, nullptr);

    EXPECT_EQ(plugin->name(), e.name);
    EXPECT_EQ(plugin->group(), e.name);
    EXPECT_EQ(plugin->toolTip(), e.name);
    EXPECT_EQ(plugin->whatsThis(), e.order);
    EXPECT_EQ(plugin->includeFile(), e.includeFile);
    EXPECT_FALSE(plugin->isContainer());
    EXPECT_TRUE(plugin->codeTemplate().isEmpty());
    EXPECT_EQ(plugin->icon().isNull(), !e.hasIcon);
    if (e.hasIcon) {
        EXPECT_FALSE(plugin->icon().pixmap(32, 32).isNull());
        EXPECT_EQ(QImage(":/VXPlugin_Config/icon_config").size(), QSize(32, 32));
    }
    const QString lower = QString(e.domClass).replace(0, 1, QString(e.domClass).at(0).toLower());
    EXPECT_TRUE(plugin->domXml().startsWith(QString("<widget class=\"%1\" name=\"%2\">\n").arg(e.domClass, lower)))
        << plugin->domXml().toStdString();
    EXPECT_EQ(plugin->domXml().count('\n'), 10);

    EXPECT_FALSE(plugin->isInitialized());
    plugin->initialize(nullptr);
    EXPECT_TRUE(plugin->isInitialized());
    plugin->initialize(nullptr);
    EXPECT_TRUE(plugin->isInitialized());

    QWidget host;
    QWidget* page = plugin->createWidget(&host);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->parentWidget(), &host);
    EXPECT_STREQ(page->metaObject()->className(), e.pageClass);
    EXPECT_EQ(page->metaObject()->indexOfSlot("slot_Disconnected2ZPS()"), -1)
        << "only the scope page listens for a lost link";
    QWidget* second = plugin->createWidget(&host);
    EXPECT_NE(second, page) << "each call builds a new page";
}

INSTANTIATE_TEST_SUITE_P(ConfigAndScript, PluginContract, ::testing::ValuesIn(kPlugins),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PluginPages, ConfigPageWorksThroughObjectNamesOnly)
{
    QPluginLoader loader(pluginPath("libVXPlugin_Config.so"));
    auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
    ASSERT_NE(plugin, nullptr) << loader.errorString().toStdString();
    QWidget host;
    QWidget* page = plugin->createWidget(&host);
    auto* tree = vxtest::child<QTreeView>(page, "tv_setup");
    auto* stack = vxtest::child<QStackedWidget>(page, "sw_setup");
    ASSERT_TRUE(tree && stack);
    ASSERT_EQ(tree->model()->rowCount(), 1);
    EXPECT_EQ(tree->model()->index(0, 0).data().toString(), "MachineOrigin");
    EXPECT_FALSE(tree->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    ASSERT_NE(stack->currentWidget(), nullptr);
    EXPECT_STREQ(stack->currentWidget()->metaObject()->className(), "ConfigWidget_MachineOrigin");
    EXPECT_NE(page->findChild<QPushButton*>("btn_GetHomeEndat"), nullptr);
    EXPECT_NE(page->findChild<QPushButton*>("btn_SetHomeEndat"), nullptr);
}
