#include "TreeModel.h"

#include "TreeItem.h"

#include <limits>

TreeModel::TreeModel(const QString& header, QObject* parent)
    : QAbstractItemModel(parent)
    , m_rootItem(new TreeItem(QVector<QVariant>{QVariant(header)}))
{
}

TreeModel::~TreeModel()
{
    delete m_rootItem;
    m_rootItem = nullptr;
}

TreeItem* TreeModel::rootItem()
{
    return m_rootItem;
}

TreeItem* TreeModel::getItem(const QModelIndex& index) const
{
    if (index.isValid()) {
        if (auto* item = static_cast<TreeItem*>(index.internalPointer()))
            return item;
    }
    return m_rootItem;
}

bool TreeModel::AddRow(unsigned int row, unsigned int type, const QVariant& value, const QModelIndex& parent)
{
    QModelIndex unused;
    return AddRow(row, type, value, parent, unused);
}

bool TreeModel::AddRow(unsigned int row, unsigned int type, const QVariant& value, const QModelIndex& parent,
                       QModelIndex& newIndex)
{
    if (row > static_cast<unsigned int>(std::numeric_limits<int>::max()))
        return false;
    const int r = static_cast<int>(row);
    if (!insertRow(r, parent))
        return false;
    QModelIndex created = index(r, 0, parent);
    // Without a valid index getItem would hand back the root, whose type and
    // stored index must stay those of the header.
    if (!created.isValid())
        return false;
    TreeItem* item = getItem(created);
    item->setType(type);
    item->SetIndex(created);
    if (!setData(created, value, Qt::EditRole))
        return false;
    newIndex = created;
    return true;
}

void TreeModel::DataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    emit dataChanged(topLeft, bottomRight, QVector<int>());
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    TreeItem* child = getItem(parent)->child(row);
    if (!child)
        return QModelIndex();
    return createIndex(row, column, child);
}

QModelIndex TreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return QModelIndex();
    TreeItem* parentItem = getItem(index)->parent();
    if (!parentItem || parentItem == m_rootItem)
        return QModelIndex();
    return createIndex(parentItem->childNumber(), 0, parentItem);
}

int TreeModel::rowCount(const QModelIndex& parent) const
{
    const TreeItem* item = getItem(parent);
    return item ? item->childCount() : 0;
}

int TreeModel::columnCount(const QModelIndex& /*parent*/) const
{
    return m_rootItem->columnCount();
}

QVariant TreeModel::data(const QModelIndex& /*index*/, int /*role*/) const
{
    return QVariant();
}

bool TreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole)
        return false;
    const bool result = getItem(index)->setData(index.column(), value);
    if (result)
        emit dataChanged(index, index, QVector<int>());
    return result;
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_rootItem->data(section);
    return QVariant();
}

bool TreeModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (role != Qt::EditRole || orientation != Qt::Horizontal)
        return false;
    const bool result = m_rootItem->setData(section, value);
    if (result)
        emit headerDataChanged(orientation, section, section);
    return result;
}

bool TreeModel::insertRows(int position, int rows, const QModelIndex& parent)
{
    TreeItem* parentItem = getItem(parent);
    // Views are told only of rows that really appear.
    if (position < 0 || position > parentItem->childCount() || rows < 0)
        return false;
    if (rows == 0)
        return true;
    beginInsertRows(parent, position, position + rows - 1);
    const bool result = parentItem->insertChildren(position, rows, m_rootItem->columnCount());
    endInsertRows();
    return result;
}

bool TreeModel::insertColumns(int position, int columns, const QModelIndex& parent)
{
    if (position < 0 || position > m_rootItem->columnCount() || columns < 0)
        return false;
    if (columns == 0)
        return true;
    beginInsertColumns(parent, position, position + columns - 1);
    const bool result = m_rootItem->insertColumns(position, columns);
    endInsertColumns();
    return result;
}

bool TreeModel::removeRows(int position, int rows, const QModelIndex& parent)
{
    TreeItem* parentItem = getItem(parent);
    // A start beyond the last row is taken as "nothing left to remove".
    if (position > parentItem->childCount())
        return true;
    if (position < 0 || rows < 0 || position + rows > parentItem->childCount())
        return false;
    if (rows == 0)
        return true;
    beginRemoveRows(parent, position, position + rows - 1);
    const bool result = parentItem->removeChildren(position, rows);
    endRemoveRows();
    return result;
}

bool TreeModel::removeColumns(int position, int columns, const QModelIndex& parent)
{
    if (position < 0 || columns < 0 || position + columns > m_rootItem->columnCount())
        return false;
    if (columns == 0)
        return true;
    beginRemoveColumns(parent, position, position + columns - 1);
    const bool result = m_rootItem->removeColumns(position, columns);
    endRemoveColumns();
    // Rows without a single column cannot be shown or reached any more.
    if (m_rootItem->columnCount() == 0)
        removeRows(0, rowCount(QModelIndex()), QModelIndex());
    return result;
}

bool TreeModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                         const QModelIndex& destinationParent, int destinationChild)
{
    // Items only move within their own parent's list.
    if (sourceParent != destinationParent)
        return false;
    TreeItem* parentItem = getItem(sourceParent);
    const int n = parentItem->childCount();
    if (count <= 0 || sourceRow < 0 || destinationChild < 0 || sourceRow + count > n
        || destinationChild + count > n)
        return false;
    if (destinationChild == sourceRow)
        return true;
    // Views count the destination in rows before the move; downwards that is
    // past the end of the moved block.
    const int viewDestination = destinationChild > sourceRow ? destinationChild + count : destinationChild;
    if (!beginMoveRows(sourceParent, sourceRow, sourceRow + count - 1, destinationParent, viewDestination))
        return false;
    const bool result = parentItem->moveChildren(sourceRow, count, destinationChild);
    endMoveRows();
    return result;
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEditable | QAbstractItemModel::flags(index);
}
