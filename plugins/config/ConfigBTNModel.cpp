#include "ConfigBTNModel.h"

#include "TreeItem.h"

#include <QFont>
#include <QIcon>
#include <QSize>

ConfigBTNModel::ConfigBTNModel(const QString& header, QObject* parent)
    : TreeModel(header, parent)
{
    qRegisterMetaType<ST_SetupBase>("ST_SetupBase");
}

ConfigBTNModel::~ConfigBTNModel() = default;

QVariant ConfigBTNModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (role == Qt::FontRole)
        return QFont(QStringLiteral("Helvetica [Cronyx]"), 14);

    const QVariant raw = getItem(index)->data(index.column());
    // Anything but an ST_SetupBase reads as an entry without name or icon.
    const ST_SetupBase setup = raw.value<ST_SetupBase>();
    switch (role) {
    case Qt::DisplayRole:
        return setup.strName;
    case Qt::DecorationRole:
        if (setup.strIconPath.isEmpty())
            return QVariant();
        return QIcon(setup.strIconPath);
    case Qt::SizeHintRole:
        return QSize(32, 36);
    case Qt::UserRole + 1:
        return raw;
    default:
        return QVariant();
    }
}
