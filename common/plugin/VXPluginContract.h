// What the VXTools host requires of a page plug-in: a root object that is a
// QObject first and a QDesignerCustomWidgetInterface second, declared with
// Q_INTERFACES and Q_PLUGIN_METADATA(IID VX_PLUGIN_IID), whose whatsThis()
// gives the page order as a decimal number and whose createWidget(parent)
// builds the page. A page may offer the slot slot_Disconnected2ZPS(), which
// the host calls on every timer tick while the controller link is down.
#pragma once

#include <QString>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#define VX_PLUGIN_IID "org.qt-project.Qt.QDesignerCustomWidgetInterface"

namespace vx {

// The ten-line Designer description shared by every page plug-in; only the
// class name (and the same name with a lower-case first letter) differs.
inline QString pluginDomXml(const QString& className)
{
    QString objectName = className;
    if (!objectName.isEmpty())
        objectName[0] = objectName[0].toLower();
    return QStringLiteral("<widget class=\"%1\" name=\"%2\">\n"
                          " <property name=\"geometry\">\n"
                          "  <rect>\n"
                          "   <x>0</x>\n"
                          "   <y>0</y>\n"
                          "   <width>100</width>\n"
                          "   <height>100</height>\n"
                          "  </rect>\n"
                          " </property>\n"
                          "</widget>\n")
        .arg(className, objectName);
}

} // namespace vx
