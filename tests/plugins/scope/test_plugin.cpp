// The scope plug-in as the host sees it: loaded from the plugins folder,
// asked for its name, icon and order, made to build its page once.
#include <QDesignerCustomWidgetInterface>

#include <gtest/gtest.h>

#include <QIcon>
#include <QJsonObject>
#include <QMetaObject>
#include <QPluginLoader>
#include <QWidget>

#include <memory>

namespace {

QString pluginPath()
{
    return qEnvironmentVariable("VX_BIN_DIR") + "/plugins/libVXPlugin_Scope.so";
}

class ScopePlugin : public ::testing::Test
{
protected:
    void SetUp() override
    {
        loader.setFileName(pluginPath());
        ASSERT_TRUE(loader.load()) << loader.errorString().toStdString();
        root = loader.instance();
        ASSERT_NE(root, nullptr);
        iface = qobject_cast<QDesignerCustomWidgetInterface*>(root);
        ASSERT_NE(iface, nullptr);
    }

    QPluginLoader loader;
    QObject* root = nullptr;
    QDesignerCustomWidgetInterface* iface = nullptr;
};

TEST_F(ScopePlugin, MetadataNamesTheEntryClassAndInterface)
{
    const QJsonObject meta = loader.metaData();
    EXPECT_EQ(meta.value("IID").toString(), "org.qt-project.Qt.QDesignerCustomWidgetInterface");
    EXPECT_EQ(meta.value("className").toString(), "VXPlugin_ScopePlugin");
    EXPECT_TRUE(root->inherits("QDesignerCustomWidgetInterface"));
    EXPECT_STREQ(root->metaObject()->className(), "VXPlugin_ScopePlugin");
    EXPECT_EQ(loader.instance(), root) << "one entry object per library";
}

TEST_F(ScopePlugin, AnswersWithTheScopeValues)
{
    EXPECT_EQ(iface->name(), "scope");
    EXPECT_EQ(iface->group(), "scope");
    EXPECT_EQ(iface->toolTip(), "scope");
    EXPECT_EQ(iface->whatsThis(), "10");
    EXPECT_EQ(iface->includeFile(), "VXPlugin_Scope.h");
    EXPECT_FALSE(iface->isContainer());
    EXPECT_TRUE(iface->codeTemplate().isEmpty());
    const QIcon icon = iface->icon();
    ASSERT_FALSE(icon.isNull()) << "the icon comes from the plug-in's own resources";
    EXPECT_EQ(icon.availableSizes().value(0), QSize(32, 32));
    EXPECT_EQ(iface->domXml(), "<widget class=\"VXPlugin_Scope\" name=\"vXPlugin_Scope\">\n"
                               " <property name=\"geometry\">\n"
                               "  <rect>\n"
                               "   <x>0</x>\n"
                               "   <y>0</y>\n"
                               "   <width>100</width>\n"
                               "   <height>100</height>\n"
                               "  </rect>\n"
                               " </property>\n"
                               "</widget>\n");
}

TEST_F(ScopePlugin, InitializeOnlySetsTheFlag)
{
    iface->initialize(nullptr);
    EXPECT_TRUE(iface->isInitialized());
    iface->initialize(nullptr);
    EXPECT_TRUE(iface->isInitialized());
}

TEST_F(ScopePlugin, BuildsThePageWithTheDisconnectSlot)
{
    auto host = std::make_unique<QWidget>();
    QWidget* page = iface->createWidget(host.get());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->parentWidget(), host.get());
    EXPECT_STREQ(page->metaObject()->className(), "VXPlugin_Scope");
    EXPECT_GE(page->metaObject()->indexOfSlot("slot_Disconnected2ZPS()"), 0);
    // The host's signal reaches it; repeated calls while the link is down
    // are harmless.
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(QMetaObject::invokeMethod(page, "slot_Disconnected2ZPS"));
    host.reset(); // the owner deletes the page
}

} // namespace
