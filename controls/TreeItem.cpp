#include "TreeItem.h"

TreeItem::TreeItem(const QVector<QVariant>& data, TreeItem* parent)
    : m_data(data)
    , m_parent(parent)
{
}

TreeItem::~TreeItem()
{
    qDeleteAll(m_children);
}

void TreeItem::GetIndex(QModelIndex& out)
{
    out = m_index;
}

void TreeItem::SetIndex(QModelIndex& index)
{
    m_index = index;
}

void TreeItem::GetChildsList(QList<TreeItem*>& list)
{
    list.append(this);
    for (TreeItem* item : qAsConst(m_children))
        item->GetChildsList(list);
}

TreeItem* TreeItem::child(int number)
{
    if (number < 0 || number >= m_children.size())
        return nullptr;
    return m_children.at(number);
}

int TreeItem::childCount() const
{
    return m_children.size();
}

int TreeItem::childNumber() const
{
    if (m_parent)
        return m_parent->m_children.indexOf(const_cast<TreeItem*>(this));
    return 0;
}

int TreeItem::columnCount() const
{
    return m_data.size();
}

QVariant TreeItem::data(int column) const
{
    if (column < 0 || column >= m_data.size())
        return QVariant();
    return m_data.at(column);
}

bool TreeItem::setData(int column, const QVariant& value)
{
    if (column < 0 || column >= m_data.size())
        return false;
    m_data[column] = value;
    return true;
}

bool TreeItem::insertChildren(int position, int count, int columns)
{
    if (position < 0 || position > m_children.size() || columns < 0)
        return false;
    for (int row = 0; row < count; ++row) {
        QVector<QVariant> data(columns);
        m_children.insert(position, new TreeItem(data, this));
    }
    return true;
}

bool TreeItem::insertColumns(int position, int columns)
{
    if (position < 0 || position > m_data.size() || columns < 0)
        return false;
    m_data.insert(position, columns, QVariant());
    for (TreeItem* child : qAsConst(m_children))
        child->insertColumns(position, columns);
    return true;
}

bool TreeItem::removeChildren(int position, int count)
{
    if (position < 0 || count < 0 || position + count > m_children.size())
        return false;
    for (int row = 0; row < count; ++row)
        delete m_children.takeAt(position);
    return true;
}

bool TreeItem::removeColumns(int position, int columns)
{
    if (position < 0 || columns < 0 || position + columns > m_data.size())
        return false;
    m_data.remove(position, columns);
    for (TreeItem* child : qAsConst(m_children))
        child->removeColumns(position, columns);
    return true;
}

bool TreeItem::moveChildren(int from, int to)
{
    const int n = m_children.size();
    if (from < 0 || from >= n || to < 0 || to >= n)
        return false;
    m_children.swapItemsAt(from, to);
    return true;
}

bool TreeItem::moveChildren(int from, int count, int to)
{
    const int n = m_children.size();
    if (count < 0 || from < 0 || to < 0 || from + count > n || to + count > n)
        return false;
    if (to <= from) {
        // Upwards: the block's next child stays at from + i after each step.
        for (int i = 0; i < count; ++i)
            m_children.insert(to + i, m_children.takeAt(from + i));
    } else {
        // Downwards: each take shifts the rest of the block to from, so taking
        // from + i would pick up siblings outside the block.
        for (int i = 0; i < count; ++i)
            m_children.insert(to + count - 1, m_children.takeAt(from));
    }
    return true;
}

void TreeItem::appendChildren(TreeItem* item)
{
    m_children.append(item);
}

TreeItem* TreeItem::parent()
{
    return m_parent;
}

void TreeItem::setType(unsigned int type)
{
    m_type = type;
}

unsigned int TreeItem::type() const
{
    return m_type;
}

void TreeItem::setRunning(bool running)
{
    m_running = running;
}

bool TreeItem::running() const
{
    return m_running;
}
