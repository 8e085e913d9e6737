#include "scopetreemodel.h"

#include "ScopeChannels.h"

#include <QStringList>

TreeItem::TreeItem(const QList<QVariant>& data, TreeItem* parent)
    : m_itemData(data), m_parentItem(parent)
{
}

TreeItem::~TreeItem()
{
    qDeleteAll(m_childItems);
}

void TreeItem::appendChild(TreeItem* child)
{
    child->m_row = m_childItems.size();
    m_childItems.append(child);
}

TreeItem* TreeItem::child(int row) const
{
    if (row < 0 || row >= m_childItems.size())
        return nullptr;
    return m_childItems.at(row);
}

int TreeItem::childCount() const
{
    return m_childItems.size();
}

int TreeItem::columnCount() const
{
    return m_itemData.size();
}

QVariant TreeItem::data(int column) const
{
    if (column < 0 || column >= m_itemData.size())
        return QVariant();
    return m_itemData.at(column);
}

int TreeItem::row() const
{
    if (!m_parentItem)
        return 0;
    // The place noted when the item was appended answers at once; a search is
    // left only for an item that was appended under another parent.
    const QList<TreeItem*>& siblings = m_parentItem->m_childItems;
    if (m_row >= 0 && m_row < siblings.size() && siblings.at(m_row) == this)
        return m_row;
    return siblings.indexOf(const_cast<TreeItem*>(this));
}

TreeItem* TreeItem::parentItem() const
{
    return m_parentItem;
}

TreeModel::TreeModel(const QString& header, const QString& text, QObject* parent)
    : QAbstractItemModel(parent)
{
    rootItem = new TreeItem(QList<QVariant>{header});
    setupModelData(text.split(QLatin1Char('\n')), rootItem);
}

TreeModel::~TreeModel()
{
    delete rootItem;
}

TreeItem* TreeModel::getItem(const QModelIndex& index) const
{
    if (index.isValid()) {
        if (auto* item = static_cast<TreeItem*>(index.internalPointer()))
            return item;
    }
    return rootItem;
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    TreeItem* childItem = getItem(parent)->child(row);
    if (!childItem)
        return QModelIndex();
    return createIndex(row, column, childItem);
}

QModelIndex TreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return QModelIndex();
    TreeItem* parentItem = getItem(index)->parentItem();
    if (!parentItem || parentItem == rootItem)
        return QModelIndex();
    return createIndex(parentItem->row(), 0, parentItem);
}

int TreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return getItem(parent)->childCount();
}

int TreeModel::columnCount(const QModelIndex& parent) const
{
    return getItem(parent)->columnCount();
}

QVariant TreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    TreeItem* item = getItem(index);
    if (role == Qt::CheckStateRole && index.column() == 0)
        return static_cast<int>(item->checked() ? Qt::Checked : Qt::Unchecked);
    if (role == Qt::DisplayRole) {
        // Headings are words to read; channel names are the controller's.
        if (item->childCount() > 0 && index.column() == 0)
            return channelTextOnScreen(item->data(0).toString());
        return item->data(index.column());
    }
    return QVariant();
}

bool TreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != 0)
        return true;
    // The root stands behind an invalid index; it has no check box.
    if (!index.isValid())
        return true;

    TreeItem* item = getItem(index);
    if (value == QVariant(static_cast<int>(Qt::Unchecked))) {
        item->setChecked(false);
        emit dataChanged(index, index);
    } else if (value == QVariant(static_cast<int>(Qt::Checked))) {
        item->setChecked(true);
        emit dataChanged(index, index);
    }

    // The whole subtree follows, depth first.
    const int rows = rowCount(index);
    for (int r = 0; r < rows; ++r)
        setData(this->index(r, 0, index), value, Qt::CheckStateRole);

    // A group shows checked exactly when all its channels are.
    TreeItem* parentItem = item->parentItem();
    if (parentItem) {
        bool all = true;
        for (int r = 0; r < parentItem->childCount(); ++r) {
            if (!parentItem->child(r)->checked()) {
                all = false;
                break;
            }
        }
        parentItem->setChecked(all);
        // The root has no index of its own; announcing a change on an
        // invalid index breaks the model contract, so only groups announce.
        const QModelIndex parentIndex = parent(index);
        if (parentIndex.isValid())
            emit dataChanged(parentIndex, parentIndex);
    }
    return true;
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return rootItem->data(section);
    return QVariant();
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() == 0)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

namespace {

void collectChecked(const TreeItem* item, QList<int>& ids)
{
    if (item->childCount() > 0) {
        for (int r = 0; r < item->childCount(); ++r)
            collectChecked(item->child(r), ids);
    } else if (item->checked()) {
        ids.append(item->id());
    }
}

TreeItem* findById(TreeItem* item, int id)
{
    if (item->id() == id)
        return item;
    for (int r = 0; r < item->childCount(); ++r) {
        if (TreeItem* hit = findById(item->child(r), id))
            return hit;
    }
    return nullptr;
}

} // namespace

QList<int> TreeModel::checkedIds() const
{
    QList<int> ids;
    collectChecked(rootItem, ids);
    return ids;
}

void TreeModel::setItemChecked(int id, bool on)
{
    // The root carries id -1 and is never a channel.
    if (id < 0)
        return;
    if (TreeItem* item = findById(rootItem, id))
        item->setChecked(on);
}

void TreeModel::setupModelData(const QStringList& lines, TreeItem* parent)
{
    QList<TreeItem*> parents{parent};
    QList<int> indentations{0};
    int nextId = 0;

    for (const QString& line : lines) {
        int position = 0;
        while (position < line.length() && line.at(position) == QLatin1Char(' '))
            ++position;
        const QString content = line.mid(position).trimmed();
        if (content.isEmpty())
            continue;

        QList<QVariant> columnData;
        for (const QString& part : content.split(QLatin1Char('\t'), Qt::SkipEmptyParts))
            columnData << part;

        if (position > indentations.last()) {
            // Deeper than the current level: the last item becomes the
            // parent, unless there is none yet to hang it under.
            if (parents.last()->childCount() > 0) {
                parents << parents.last()->child(parents.last()->childCount() - 1);
                indentations << position;
            }
        } else {
            while (position < indentations.last() && parents.count() > 0) {
                parents.pop_back();
                indentations.pop_back();
            }
        }

        // Never pop the root away: a line less indented than the first one
        // still belongs to the top level.
        if (parents.isEmpty()) {
            parents << parent;
            indentations << 0;
        }

        auto* item = new TreeItem(columnData, parents.last());
        item->setId(nextId++);
        parents.last()->appendChild(item);
    }
}
