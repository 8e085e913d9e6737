// A generic, editable, multi-column tree model over TreeItem nodes. The root
// item holds the column titles and is never shown as a row. The model supplies
// no display data of its own: subclasses present the items' values.
#pragma once

#include "VX_ControlsGlobal.h"

#include <QAbstractItemModel>

class TreeItem;

class VX_CONTROLS_EXPORT TreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    TreeModel(const QString& header, QObject* parent = nullptr);
    ~TreeModel() override;

    TreeItem* rootItem();
    // The item behind index, or the root item for an invalid index.
    TreeItem* getItem(const QModelIndex& index) const;

    // Inserts one row under parent at row, gives its item the type, stores
    // the new index in it and writes value to column 0. Goes through the
    // virtual insertRows, index and setData, so subclasses can change it.
    bool AddRow(unsigned int row, unsigned int type, const QVariant& value, const QModelIndex& parent);
    // As above; on success newIndex receives the new row's index.
    bool AddRow(unsigned int row, unsigned int type, const QVariant& value, const QModelIndex& parent,
                QModelIndex& newIndex);

    // For callers that changed items directly (values, type, running flag).
    void DataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    bool insertRows(int position, int rows, const QModelIndex& parent = QModelIndex()) override;
    bool insertColumns(int position, int columns, const QModelIndex& parent = QModelIndex()) override;
    bool removeRows(int position, int rows, const QModelIndex& parent = QModelIndex()) override;
    bool removeColumns(int position, int columns, const QModelIndex& parent = QModelIndex()) override;
    // Moves rows within one parent; the first moved row ends up at
    // destinationChild. Moves between different parents are refused.
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                  const QModelIndex& destinationParent, int destinationChild) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    TreeItem* m_rootItem;
};
