// One node of a TreeModel: a value per column, an application-defined type
// number, a running flag and the index under which AddRow created it. An item
// owns its children and deletes them with itself.
#pragma once

#include "VX_ControlsGlobal.h"

#include <QList>
#include <QModelIndex>
#include <QVariant>
#include <QVector>

class VX_CONTROLS_EXPORT TreeItem
{
public:
    // The item is not added to parent's children; the caller does that.
    explicit TreeItem(const QVector<QVariant>& data, TreeItem* parent = nullptr);
    ~TreeItem();

    TreeItem(const TreeItem&) = delete;
    TreeItem& operator=(const TreeItem&) = delete;

    // The stored index is a plain value fixed by AddRow; later insertions or
    // removals of earlier siblings leave it stale.
    void GetIndex(QModelIndex& out);
    void SetIndex(QModelIndex& index);

    // Appends this item and then its whole subtree, depth-first in row order.
    // The list is not cleared first.
    void GetChildsList(QList<TreeItem*>& list);

    TreeItem* child(int number);
    int childCount() const;
    int childNumber() const;
    int columnCount() const;
    QVariant data(int column) const;
    bool setData(int column, const QVariant& value);

    bool insertChildren(int position, int count, int columns);
    bool insertColumns(int position, int columns);
    bool removeChildren(int position, int count);
    bool removeColumns(int position, int columns);

    // Exchanges the children at from and to.
    bool moveChildren(int from, int to);
    // Moves count children starting at from so that the first of them ends up
    // at position to; the block keeps its order.
    bool moveChildren(int from, int count, int to);

    // The caller must have created item with this item as its parent.
    void appendChildren(TreeItem* item);

    TreeItem* parent();

    void setType(unsigned int type);
    unsigned int type() const;
    void setRunning(bool running);
    bool running() const;

private:
    QModelIndex m_index;
    QList<TreeItem*> m_children;
    QVector<QVariant> m_data;
    TreeItem* m_parent;
    unsigned int m_type = 0;
    bool m_running = false;
};
