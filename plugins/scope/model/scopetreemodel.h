// The channel selection dialog's checkable tree: one item per catalogue line,
// grouped by the line's leading blanks. The item id is the number of the
// non-empty line that made it, which is the channel's catalogue key.
#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QVariant>

class TreeItem
{
public:
    explicit TreeItem(const QList<QVariant>& data, TreeItem* parent = nullptr);
    ~TreeItem();

    TreeItem(const TreeItem&) = delete;
    TreeItem& operator=(const TreeItem&) = delete;

    void appendChild(TreeItem* child);  // takes ownership

    TreeItem* child(int row) const;     // nullptr when out of range
    int childCount() const;
    int columnCount() const;
    QVariant data(int column) const;    // invalid when out of range
    int row() const;                    // 0 without a parent
    TreeItem* parentItem() const;

    bool checked() const { return m_checked; }
    void setChecked(bool on) { m_checked = on; }
    int id() const { return m_id; }
    void setId(int id) { m_id = id; }

private:
    QList<TreeItem*> m_childItems;
    QList<QVariant> m_itemData;
    TreeItem* m_parentItem;
    bool m_checked = false;
    int m_id = -1;
    int m_row = -1;                     // place among the parent's children
};

class TreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    // header: the root's single column (the view's header text); text: one
    // item per non-empty line, tab-separated columns, leading blanks = depth.
    TreeModel(const QString& header, const QString& text, QObject* parent = nullptr);
    ~TreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Ids of all checked leaves, depth first in row order.
    QList<int> checkedIds() const;
    // Sets the flag of the first item (depth first) with that id. Emits
    // nothing: callers reset their view.
    void setItemChecked(int id, bool on);

private:
    TreeItem* getItem(const QModelIndex& index) const;
    void setupModelData(const QStringList& lines, TreeItem* parent);

    TreeItem* rootItem;
};
