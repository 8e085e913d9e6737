// The main window's flat popup menu and the proxy style that paints its items.
#pragma once

#include <QColor>
#include <QIcon>
#include <QMenu>
#include <QProxyStyle>

class CCustomStyle : public QProxyStyle
{
    Q_OBJECT

public:
    CCustomStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;

    // Per channel: p * a / 100 + b * (100 - p) / 100, integer division in each term.
    static QColor mergeColors(const QColor& a, const QColor& b, int percentage);

    static const QColor itemBackground;
    static const QColor selectedBackground;
    static const QColor separatorLine;
    static const QColor itemText;
    static const QColor disabledText;
    static const QColor subMenuArrow;

private:
    void drawMenuItem(const QStyleOptionMenuItem* item, QPainter* painter, const QWidget* widget) const;
};

class CCustomMenu : public QMenu
{
    Q_OBJECT

public:
    explicit CCustomMenu(QWidget* parent = nullptr);
    CCustomMenu(const QString& title, QWidget* parent = nullptr);

private:
    void setUp();
};

// A sub-menu of this kind, added to `widget` (its action is added there too).
CCustomMenu* createCustomMenu(QWidget* widget, const QString& title);
CCustomMenu* createCustomMenu(QWidget* widget, const QIcon& icon, const QString& title);
