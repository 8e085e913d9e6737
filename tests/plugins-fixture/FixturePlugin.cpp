#include "FixturePlugin.h"

#include "FixturePages.h"

#include <QIcon>

VXFixturePlugin::VXFixturePlugin(QObject* parent)
    : QObject(parent)
{
}

QString VXFixturePlugin::name() const
{
    return QStringLiteral(VX_FIXTURE_NAME);
}

QString VXFixturePlugin::group() const
{
    return name();
}

QString VXFixturePlugin::toolTip() const
{
    return QStringLiteral("tip ") + name();
}

QString VXFixturePlugin::whatsThis() const
{
    return QStringLiteral(VX_FIXTURE_ORDER);
}

QString VXFixturePlugin::includeFile() const
{
    return QStringLiteral("FixturePlugin.h");
}

QIcon VXFixturePlugin::icon() const
{
    return QIcon();
}

bool VXFixturePlugin::isContainer() const
{
    return false;
}

QWidget* VXFixturePlugin::createWidget(QWidget* parent)
{
#if VX_FIXTURE_NO_WIDGET
    Q_UNUSED(parent);
    return nullptr;
#else
    QWidget* page;
#if VX_FIXTURE_LISTENS
    page = new FixtureListeningPage(parent);
#else
    page = new FixturePlainPage(parent);
#endif
    page->setObjectName(QStringLiteral("page_") + name());
    return page;
#endif
}

bool VXFixturePlugin::isInitialized() const
{
    return m_initialized;
}

void VXFixturePlugin::initialize(QDesignerFormEditorInterface*)
{
    if (m_initialized)
        return;
    m_initialized = true;
}

QString VXFixturePlugin::domXml() const
{
    return vx::pluginDomXml(QStringLiteral("VXFixturePlugin"));
}
