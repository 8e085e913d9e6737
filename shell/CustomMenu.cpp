#include "CustomMenu.h"

#include <QPainter>
#include <QStyleOptionMenuItem>

const QColor CCustomStyle::itemBackground(244, 244, 244);
const QColor CCustomStyle::selectedBackground(40, 148, 255);
const QColor CCustomStyle::separatorLine(223, 223, 223);
const QColor CCustomStyle::itemText(85, 85, 85);
const QColor CCustomStyle::disabledText(153, 153, 153);
const QColor CCustomStyle::subMenuArrow(156, 156, 156);

CCustomStyle::CCustomStyle()
    : QProxyStyle(static_cast<QStyle*>(nullptr))
{
}

QColor CCustomStyle::mergeColors(const QColor& a, const QColor& b, int p)
{
    return QColor(p * a.red() / 100 + b.red() * (100 - p) / 100,
                  p * a.green() / 100 + b.green() * (100 - p) / 100,
                  p * a.blue() / 100 + b.blue() * (100 - p) / 100);
}

void CCustomStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void CCustomStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const
{
    if (element == CE_MenuItem) {
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
            painter->save();
            drawMenuItem(item, painter, widget);
            painter->restore();
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

int CCustomStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
    case PM_SmallIconSize:
        return 50;
    case PM_MenuPanelWidth:
        return 1;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

void CCustomStyle::drawMenuItem(const QStyleOptionMenuItem* item, QPainter* painter, const QWidget* widget) const
{
    const QRect r = item->rect;
    const int x = r.x(), y = r.y(), w = r.width(), h = r.height();
    const Qt::LayoutDirection dir = item->direction;

    painter->setPen(itemBackground);
    painter->setBrush(itemBackground);
    painter->drawRect(r);

    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        int t = 0;
        if (!item->text.isEmpty()) {
            painter->setFont(item->font);
            proxy()->drawItemText(painter, r.adjusted(5, 0, -5, 0), Qt::AlignLeft | Qt::AlignVCenter,
                                  item->palette, item->state & State_Enabled, item->text, QPalette::Text);
            t = item->fontMetrics.horizontalAdvance(item->text) + 5;
        }
        painter->setPen(separatorLine);
        const int cy = y + h / 2;
        if (dir == Qt::LeftToRight)
            painter->drawLine(x + 5 + t, cy, x + w - 5, cy);
        else
            painter->drawLine(x + 5, cy, x + w - 5 - t, cy);
        return;
    }

    const bool enabled = item->state & State_Enabled;
    const bool selected = (item->state & State_Selected) && enabled;
    const bool checkable = item->checkType != QStyleOptionMenuItem::NotCheckable;
    const bool checked = item->checked;
    if (selected) {
        painter->setPen(selectedBackground);
        painter->setBrush(selectedBackground);
        painter->drawRect(r);
    }

    const int k = qMax(item->maxIconWidth, 20);

    if (checkable && item->checkType != QStyleOptionMenuItem::Exclusive && item->icon.isNull()) {
        QStyleOptionButton box;
        box.QStyleOption::operator=(*item);
        box.rect = visualRect(dir, r, QRect(x + 7, y + h / 2 - 6, 14, 14));
        box.state = (item->state & ~(State_On | State_Off)) | (checked ? State_On : State_Off);
        proxy()->drawPrimitive(PE_IndicatorCheckBox, &box, painter, widget);
    }

    if (!item->icon.isNull()) {
        const QRect iconRect = visualRect(dir, r, QRect(x + 4, y, k, h));
        QIcon::Mode mode = QIcon::Normal;
        if (!enabled)
            mode = QIcon::Disabled;
        else if (selected)
            mode = QIcon::Active;
        const QIcon::State state = checked ? QIcon::On : QIcon::Off;
        const int side = proxy()->pixelMetric(PM_SmallIconSize, item, widget);
        const QPixmap pixmap = item->icon.pixmap(QSize(side, side), mode, state);
        if (checkable && checked) {
            QStyleOptionButton panel;
            panel.QStyleOption::operator=(*item);
            panel.rect = iconRect;
            panel.state = (item->state & ~State_Raised) | State_Sunken;
            if (selected)
                panel.palette.setColor(QPalette::Button, mergeColors(itemBackground, selectedBackground, 50));
            proxy()->drawPrimitive(PE_PanelButtonCommand, &panel, painter, widget);
        }
        QRect target(QPoint(0, 0), pixmap.size() / pixmap.devicePixelRatio());
        target.moveCenter(iconRect.center());
        painter->drawPixmap(target.topLeft(), pixmap);
    }

    const QColor textColor = enabled ? itemText : disabledText;
    painter->setPen(textColor);

    const int tabWidth = item->tabWidth;
    const QRect textRect(x + k + 7, y + 8, w - (k + 7) - tabWidth - 14, h - 16);
    const QRect vTextRect = visualRect(dir, r, textRect);
    int flags = Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextDontClip | Qt::TextSingleLine | Qt::AlignLeft;
    if (!proxy()->styleHint(SH_UnderlineShortcut, item, widget))
        flags |= Qt::TextHideMnemonic;

    QString text = item->text;
    QString shortcut;
    const int tab = text.indexOf(QLatin1Char('\t'));
    QRect shortcutRect;
    if (tab >= 0) {
        shortcut = text.mid(tab + 1);
        text = text.left(tab);
        shortcutRect = visualRect(dir, r, QRect(textRect.topRight(), QPoint(r.right(), textRect.bottom())));
    }

    QFont font = item->font;
    font.setPointSizeF(QFontInfo(item->font).pointSizeF());
    if (item->menuItemType == QStyleOptionMenuItem::DefaultItem)
        font.setBold(true);
    painter->setFont(font);

    if (!enabled && !selected && proxy()->styleHint(SH_EtchDisabledText, item, widget)) {
        painter->setPen(item->palette.light().color());
        if (!shortcut.isEmpty())
            painter->drawText(shortcutRect.translated(1, 1), flags, shortcut);
        painter->drawText(vTextRect.translated(1, 1), flags, text);
        painter->setPen(textColor);
    }
    if (!shortcut.isEmpty())
        painter->drawText(shortcutRect, flags, shortcut);
    painter->drawText(vTextRect, flags, text);

    if (item->menuItemType == QStyleOptionMenuItem::SubMenu) {
        const int d = (h - 4) / 2;
        const PrimitiveElement arrow = dir == Qt::RightToLeft ? PE_IndicatorArrowLeft : PE_IndicatorArrowRight;
        const QRect arrowRect = visualRect(dir, r, QRect(x + w - 3 - d, y + h / 2 - d / 2, d, d));
        QStyleOptionMenuItem arrowOption = *item;
        arrowOption.rect = arrowRect;
        arrowOption.state = enabled ? State_Enabled : State_None;
        arrowOption.palette.setColor(QPalette::ButtonText, subMenuArrow);
        proxy()->drawPrimitive(arrow, &arrowOption, painter, widget);
    }
}

CCustomMenu::CCustomMenu(QWidget* parent)
    : QMenu(parent)
{
    setUp();
}

CCustomMenu::CCustomMenu(const QString& title, QWidget* parent)
    : QMenu(title, parent)
{
    setUp();
}

void CCustomMenu::setUp()
{
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("CustomMenu"));
    // QWidget::setStyle does not take ownership; the menu does, so each
    // menu's style goes with it.
    auto* style = new CCustomStyle;
    style->setParent(this);
    setStyle(style);
}

CCustomMenu* createCustomMenu(QWidget* widget, const QString& title)
{
    auto* menu = new CCustomMenu(title, widget);
    widget->addAction(menu->menuAction());
    return menu;
}

CCustomMenu* createCustomMenu(QWidget* widget, const QIcon& icon, const QString& title)
{
    auto* menu = new CCustomMenu(title, widget);
    menu->setIcon(icon);
    widget->addAction(menu->menuAction());
    return menu;
}
