// Draws every image the shell and two of the page plug-ins compile in, so the
// artwork can be reproduced and changed in one place:
//   vx_resource_generator <shell/resources> <plugins/scope/resources> <plugins/config/resources> [<packaging/icons>]
// The optional fourth folder receives the desktop icon in the hicolor sizes.
// The PNGs it writes are committed; the build does not run this program.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>
#include <cstdio>

namespace {

const QColor kFrame(49, 58, 67);      // the main window's top frame
const QColor kAccent(40, 148, 255);   // the menu's selection blue
const QColor kGlyphLight(226, 232, 238);

QImage canvas(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void begin(QPainter& p, QImage& img)
{
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

bool save(const QImage& img, const QString& dir, const QString& name)
{
    const QString path = QDir(dir).filePath(name);
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), img.width(), img.height());
    return true;
}

// A glass lamp in a dark metal bezel, lit from the upper left.
QImage lamp(const QColor& core, const QColor& rim, bool lit)
{
    const int s = 300;
    QImage img = canvas(s, s);
    QPainter p;
    begin(p, img);
    const QPointF c(s / 2.0, s / 2.0);

    QLinearGradient bezel(0, 0, 0, s);
    bezel.setColorAt(0, QColor(120, 128, 136));
    bezel.setColorAt(0.5, QColor(58, 64, 71));
    bezel.setColorAt(1, QColor(28, 32, 36));
    p.setPen(Qt::NoPen);
    p.setBrush(bezel);
    p.drawEllipse(c, 146, 146);
    QLinearGradient inner(0, s, 0, 0);
    inner.setColorAt(0, QColor(110, 118, 126));
    inner.setColorAt(1, QColor(24, 27, 31));
    p.setBrush(inner);
    p.drawEllipse(c, 130, 130);

    QRadialGradient glass(QPointF(c.x() - 30, c.y() - 34), 150, QPointF(c.x() - 20, c.y() - 26));
    glass.setColorAt(0, core.lighter(lit ? 135 : 115));
    glass.setColorAt(0.55, core);
    glass.setColorAt(1, rim);
    p.setBrush(glass);
    p.drawEllipse(c, 118, 118);

    if (lit) {
        // A soft halo inside the glass so a lit lamp reads as light, not paint.
        QRadialGradient halo(c, 118);
        halo.setColorAt(0.0, QColor(255, 255, 255, 70));
        halo.setColorAt(0.6, QColor(255, 255, 255, 0));
        p.setBrush(halo);
        p.drawEllipse(c, 118, 118);
    }

    QLinearGradient shine(0, c.y() - 110, 0, c.y() - 10);
    shine.setColorAt(0, QColor(255, 255, 255, lit ? 200 : 150));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawEllipse(QRectF(c.x() - 78, c.y() - 108, 156, 100));
    p.end();
    return img;
}

// The robot-arm mark: base, two links and a gripper, in white on a blue tile.
void drawArm(QPainter& p, const QRectF& r, const QColor& ink, qreal stroke)
{
    auto at = [&](qreal fx, qreal fy) { return QPointF(r.left() + fx * r.width(), r.top() + fy * r.height()); };
    QPen pen(ink, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawLine(at(0.18, 0.86), at(0.62, 0.86));                  // base plate
    QPolygonF arm;
    arm << at(0.40, 0.86) << at(0.34, 0.50) << at(0.70, 0.26);  // shoulder -> elbow -> wrist
    p.drawPolyline(arm);
    p.drawLine(at(0.70, 0.26), at(0.84, 0.18));                  // gripper jaws
    p.drawLine(at(0.70, 0.26), at(0.86, 0.34));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const qreal j = stroke * 0.95;
    p.drawEllipse(at(0.34, 0.50), j, j);
    p.drawEllipse(at(0.70, 0.26), j, j);
}

QImage tile(int s)
{
    QImage img = canvas(s, s);
    QPainter p;
    begin(p, img);
    QLinearGradient g(0, 0, 0, s);
    g.setColorAt(0, kAccent.lighter(118));
    g.setColorAt(1, kAccent.darker(125));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.2, s * 0.2);
    drawArm(p, QRectF(s * 0.08, s * 0.06, s * 0.84, s * 0.84), Qt::white, qMax<qreal>(1.6, s * 0.085));
    p.end();
    return img;
}

QImage productLogo()
{
    QImage img = canvas(400, 86);
    QPainter p;
    begin(p, img);
    p.drawImage(QRectF(8, 7, 72, 72), tile(72));

    QFont name(QStringLiteral("DejaVu Sans"));
    name.setPixelSize(44);
    name.setBold(true);
    p.setFont(name);
    p.setPen(kFrame);
    p.drawText(QRectF(96, 2, 300, 54), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("VX"));
    const int vxWidth = QFontMetrics(name).horizontalAdvance(QStringLiteral("VX"));
    p.setPen(kAccent);
    p.drawText(QRectF(96 + vxWidth, 2, 300, 54), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tools"));

    QFont tag(QStringLiteral("DejaVu Sans"));
    tag.setPixelSize(15);
    p.setFont(tag);
    p.setPen(QColor(96, 106, 116));
    p.drawText(QRectF(98, 54, 300, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Robot service and diagnostics"));
    p.end();
    return img;
}

enum class Glyph { Minimise, Maximise, Restore, Close };

// Window buttons sit on the dark top frame: light strokes on a faint plate.
QImage windowButton(Glyph glyph)
{
    QImage img = canvas(32, 32);
    QPainter p;
    begin(p, img);
    p.setPen(Qt::NoPen);
    p.setBrush(glyph == Glyph::Close ? QColor(196, 54, 54) : QColor(255, 255, 255, 26));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
    QPen pen(kGlyphLight, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    if (glyph == Glyph::Close)
        pen.setColor(Qt::white);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (glyph) {
    case Glyph::Minimise:
        p.drawLine(QPointF(10, 21), QPointF(22, 21));
        break;
    case Glyph::Maximise:
        p.drawRect(QRectF(10, 10, 12, 12));
        p.drawLine(QPointF(10, 11), QPointF(22, 11));
        break;
    case Glyph::Restore:
        p.drawRect(QRectF(9, 13, 10, 10));
        p.drawPolyline(QPolygonF() << QPointF(13, 13) << QPointF(13, 9) << QPointF(23, 9) << QPointF(23, 19)
                                   << QPointF(19, 19));
        break;
    case Glyph::Close:
        pen.setCapStyle(Qt::RoundCap);
        pen.setWidthF(2.4);
        p.setPen(pen);
        p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
        p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
        break;
    }
    p.end();
    return img;
}

// Network: a controller box linked to a monitor. Shown in the light menu.
QImage networkIcon()
{
    QImage img = canvas(32, 32);
    QPainter p;
    begin(p, img);
    const QColor ink(70, 82, 94);
    p.setPen(QPen(ink, 1.6));
    p.setBrush(QColor(250, 252, 255));
    p.drawRoundedRect(QRectF(2.5, 4.5, 17, 12), 1.5, 1.5);     // monitor
    p.setBrush(kAccent.lighter(150));
    p.drawRect(QRectF(5, 7, 12, 7));
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 16.5), QPointF(11, 20));
    p.drawLine(QPointF(7, 20.5), QPointF(15, 20.5));
    p.setPen(QPen(kAccent, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF() << QPointF(11, 23) << QPointF(11, 27) << QPointF(24, 27) << QPointF(24, 22));
    p.setPen(QPen(ink, 1.6));
    p.setBrush(QColor(214, 222, 230));
    p.drawRoundedRect(QRectF(18.5, 10.5, 11, 11), 1.5, 1.5);   // controller
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 190, 90));
    p.drawEllipse(QPointF(21.5, 13.5), 1.4, 1.4);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(11, 27), 2.2, 2.2);
    p.drawEllipse(QPointF(24, 27), 2.2, 2.2);
    p.end();
    return img;
}

// Scope page button: a screen with a trace, light on the dark top frame.
QImage scopeIcon()
{
    QImage img = canvas(32, 32);
    QPainter p;
    begin(p, img);
    p.setPen(QPen(kGlyphLight, 1.8));
    p.setBrush(QColor(20, 26, 32));
    p.drawRoundedRect(QRectF(2, 4, 28, 22), 3, 3);
    p.setPen(QPen(QColor(255, 255, 255, 45), 1));
    for (int x = 9; x < 30; x += 7)
        p.drawLine(QPointF(x, 6), QPointF(x, 24));
    p.drawLine(QPointF(4, 15), QPointF(28, 15));
    QPainterPath wave;
    wave.moveTo(4, 15);
    for (int i = 0; i <= 48; ++i) {
        const qreal x = 4 + i * 0.5;
        wave.lineTo(x, 15 - 6.5 * qSin(i / 48.0 * 2 * M_PI * 1.5));
    }
    p.setPen(QPen(QColor(90, 230, 120), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(QPen(kGlyphLight, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 29), QPointF(21, 29));
    p.end();
    return img;
}

QPainterPath gearPath(const QPointF& c, qreal outer, qreal inner, int teeth)
{
    QPainterPath path;
    const int steps = teeth * 4;
    for (int i = 0; i < steps; ++i) {
        const qreal a = 2 * M_PI * i / steps;
        const qreal r = (i % 4 < 2) ? outer : inner;
        const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    return path;
}

// Config page button: a gear, light on the dark top frame.
QImage configIcon()
{
    QImage img = canvas(32, 32);
    QPainter p;
    begin(p, img);
    const QPointF c(16, 16);
    QPainterPath gear = gearPath(c, 14, 10.5, 8);
    QPainterPath hole;
    hole.addEllipse(c, 4.5, 4.5);
    p.setPen(QPen(kFrame.darker(140), 1));
    QLinearGradient g(0, 2, 0, 30);
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(184, 194, 204));
    p.setBrush(g);
    p.drawPath(gear.subtracted(hole));
    p.end();
    return img;
}

// Machine origin navigation entry: axis cross with a home marker.
QImage machineOriginIcon()
{
    QImage img = canvas(40, 40);
    QPainter p;
    begin(p, img);
    const QColor ink(70, 82, 94);
    p.setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 32), QPointF(35, 32));   // x axis
    p.drawLine(QPointF(8, 32), QPointF(8, 5));     // z axis
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPolygon(QPolygonF() << QPointF(37, 32) << QPointF(32, 29) << QPointF(32, 35));
    p.drawPolygon(QPolygonF() << QPointF(8, 3) << QPointF(5, 8) << QPointF(11, 8));
    p.setPen(QPen(kAccent, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(22, 18), 8, 8);
    p.drawLine(QPointF(22, 7), QPointF(22, 12));
    p.drawLine(QPointF(22, 24), QPointF(22, 29));
    p.drawLine(QPointF(11, 18), QPointF(16, 18));
    p.drawLine(QPointF(28, 18), QPointF(33, 18));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 80, 60));
    p.drawEllipse(QPointF(22, 18), 3, 3);
    p.setBrush(ink);
    p.drawEllipse(QPointF(8, 32), 3, 3);
    p.end();
    return img;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr,
                     "usage: %s <shell/resources> <plugins/scope/resources> <plugins/config/resources> [<icons>]\n",
                     argv[0]);
        return 2;
    }
    const QString shellDir = QString::fromLocal8Bit(argv[1]);
    const QString scopeDir = QString::fromLocal8Bit(argv[2]);
    const QString configDir = QString::fromLocal8Bit(argv[3]);
    bool ok = true;
    ok &= save(lamp(QColor(150, 156, 162), QColor(70, 75, 80), false), shellDir, "LED_GRAY.png");
    ok &= save(lamp(QColor(46, 204, 64), QColor(10, 96, 24), true), shellDir, "LED_GREEN.png");
    ok &= save(lamp(QColor(235, 52, 44), QColor(120, 14, 10), true), shellDir, "LED_RED.png");
    ok &= save(tile(22), shellDir, "logo.png");
    ok &= save(productLogo(), shellDir, "product_logo.png");
    ok &= save(windowButton(Glyph::Minimise), shellDir, "min.png");
    ok &= save(windowButton(Glyph::Maximise), shellDir, "max.png");
    ok &= save(windowButton(Glyph::Restore), shellDir, "restore.png");
    ok &= save(windowButton(Glyph::Close), shellDir, "close.png");
    ok &= save(networkIcon(), shellDir, "zpsip.png");
    ok &= save(scopeIcon(), scopeDir, "icon_scope.png");
    ok &= save(configIcon(), configDir, "icon_config.png");
    ok &= save(machineOriginIcon(), configDir, "machine_origin.png");
    if (argc == 5) {
        const QString iconDir = QString::fromLocal8Bit(argv[4]);
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            ok &= save(tile(size), iconDir, QStringLiteral("vxtools-%1.png").arg(size));
    }
    return ok ? 0 : 1;
}
