// The channel tree built from indented text, then walked the way the channel
// selection dialog's view walks it.
#include "scopetreemodel.h"

#include <QString>
#include <cstdlib>

namespace {

int walk(TreeModel& model, const QModelIndex& parent, int depth)
{
    if (depth > 1000)
        std::abort();
    int items = 0;
    const int rows = model.rowCount(parent);
    for (int r = 0; r < rows; ++r) {
        const QModelIndex child = model.index(r, 0, parent);
        if (!child.isValid() || model.parent(child) != parent)
            std::abort();
        (void)model.data(child, Qt::DisplayRole);
        (void)model.data(child, Qt::CheckStateRole);
        (void)model.flags(child);
        model.setData(child, Qt::Checked, Qt::CheckStateRole);
        items += 1 + walk(model, child, depth + 1);
    }
    // Out of range asks answer with nothing.
    if (model.index(rows, 0, parent).isValid() || model.index(-1, 0, parent).isValid())
        std::abort();
    return items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    TreeModel model(QStringLiteral("Channels"), text);
    walk(model, QModelIndex(), 0);
    const QList<int> ids = model.checkedIds();
    for (int id : ids)
        model.setItemChecked(id, false);
    if (!model.checkedIds().isEmpty())
        std::abort();
    (void)model.headerData(0, Qt::Horizontal);
    return 0;
}
