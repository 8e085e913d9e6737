#include "VXPlugin_ScopePlugin.h"

#include "VXPlugin_Scope.h"
#include "scopeplotimage.h"

#include <QIcon>

VXPlugin_ScopePlugin::VXPlugin_ScopePlugin(QObject* parent)
    : QObject(parent)
{
}

QString VXPlugin_ScopePlugin::name() const
{
    return QStringLiteral("scope");
}

QString VXPlugin_ScopePlugin::group() const
{
    return QStringLiteral("scope");
}

QString VXPlugin_ScopePlugin::toolTip() const
{
    return QStringLiteral("scope");
}

QString VXPlugin_ScopePlugin::whatsThis() const
{
    return QStringLiteral("10");
}

QString VXPlugin_ScopePlugin::includeFile() const
{
    return QStringLiteral("VXPlugin_Scope.h");
}

QIcon VXPlugin_ScopePlugin::icon() const
{
    return QIcon(QStringLiteral(":/VXPlugin_Scope/icon_scope"));
}

bool VXPlugin_ScopePlugin::isContainer() const
{
    return false;
}

QWidget* VXPlugin_ScopePlugin::createWidget(QWidget* parent)
{
    auto* page = new VXPlugin_Scope(parent);
    // The image menu rides on the finished page's plot.
    ScopePlotImageMenu::attach(page);
    return page;
}

bool VXPlugin_ScopePlugin::isInitialized() const
{
    return m_initialized;
}

void VXPlugin_ScopePlugin::initialize(QDesignerFormEditorInterface* /*core*/)
{
    if (m_initialized)
        return;
    m_initialized = true;
}

QString VXPlugin_ScopePlugin::domXml() const
{
    return vx::pluginDomXml(QStringLiteral("VXPlugin_Scope"));
}
