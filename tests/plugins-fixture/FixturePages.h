// Page widgets the test plug-ins hand to the host: one that wants to hear
// about a lost controller link, one that does not.
#pragma once

#include <QVariant>
#include <QWidget>

class FixtureListeningPage : public QWidget
{
    Q_OBJECT

public:
    explicit FixtureListeningPage(QWidget* parent)
        : QWidget(parent)
    {
        setProperty("disconnects", 0);
    }

public slots:
    void slot_Disconnected2ZPS() { setProperty("disconnects", property("disconnects").toInt() + 1); }
};

class FixturePlainPage : public QWidget
{
    Q_OBJECT

public:
    explicit FixturePlainPage(QWidget* parent)
        : QWidget(parent)
    {
    }
};
