// Small helpers shared by the program fault test and the session driver: both
// drive the real window and its pages through the object names the user sees.
#pragma once

#include "QtWait.h"
#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTreeView>
#include <QWidget>

#include <functional>

namespace drive {

using vxtest::waitFor;

// Checks the first item of the named tree whose text (blanks trimmed) is text.
inline bool check(QWidget* root, const char* treeName, const QString& text)
{
    auto* view = root->findChild<QTreeView*>(QLatin1String(treeName));
    if (!view || !view->model())
        return false;
    QAbstractItemModel* model = view->model();
    std::function<bool(const QModelIndex&)> visit = [&](const QModelIndex& parent) {
        for (int r = 0; r < model->rowCount(parent); ++r) {
            const QModelIndex idx = model->index(r, 0, parent);
            if (model->data(idx).toString().trimmed() == text) {
                model->setData(idx, Qt::Checked, Qt::CheckStateRole);
                return true;
            }
            if (visit(idx))
                return true;
        }
        return false;
    };
    return visit(QModelIndex());
}

} // namespace drive
