// Shared pieces of the configuration and script page suites: a catcher that
// answers the pages' modal message boxes, and small widget look-ups.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace vxtest {

struct CaughtBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// While alive, closes every message box that opens (with its OK button, or
// Escape if it has none) and records what it said. Modal boxes run their own
// event loop, in which the catcher's timer keeps firing.
class MessageBoxCatcher
{
public:
    MessageBoxCatcher()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    const std::vector<CaughtBox>& boxes() const { return m_boxes; }

private:
    void poll()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible() || box->property("vxtestCaught").toBool())
                continue;
            box->setProperty("vxtestCaught", true);
            m_boxes.push_back({box->windowTitle(), box->text(), box->icon()});
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        }
    }

    QTimer m_timer;
    std::vector<CaughtBox> m_boxes;
};

template <typename T>
T* child(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << "no child named " << name;
    return found;
}

// Processes events until pred holds or ms pass; returns pred's last answer.
template <typename Pred>
bool waitFor(Pred pred, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace vxtest
