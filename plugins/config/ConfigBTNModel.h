// The configuration page's navigation model: each entry keeps an
// ST_SetupBase in column 0, presented as a name, an icon and a fixed size.
#pragma once

#include "TreeModel.h"

#include <QMetaType>
#include <QString>

struct ST_SetupBase
{
    bool bFlag1 = false;
    bool bFlag2 = false;
    bool bFlag3 = false;
    QString strName;
    // Resource path of the entry's icon; empty for none.
    QString strIconPath;
};
Q_DECLARE_METATYPE(ST_SetupBase)

class ConfigBTNModel : public TreeModel
{
    Q_OBJECT

public:
    ConfigBTNModel(const QString& header, QObject* parent = nullptr);
    ~ConfigBTNModel() override;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};
