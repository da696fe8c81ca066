// Draws the program's banner (300 x 100) and icon (64 x 64) into PNG files.
// The PNGs are committed beside this file, so the build does not run it.
// Build and run it by hand after changing the drawing:
//   g++ -std=c++20 -fPIC make_art.cpp $(pkg-config --cflags --libs Qt6Gui) -o make_art
//   QT_QPA_PLATFORM=offscreen ./make_art <folder>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// A plain airliner seen from above, nose to the right, in a 100 x 100 box.
QPainterPath Aircraft() {
    QPainterPath p;
    p.moveTo(96, 50);
    p.cubicTo(96, 46, 90, 45, 84, 45);
    p.lineTo(58, 45);
    p.lineTo(36, 12);
    p.lineTo(28, 12);
    p.lineTo(40, 45);
    p.lineTo(18, 45);
    p.lineTo(10, 34);
    p.lineTo(4, 34);
    p.lineTo(8, 50);
    p.lineTo(4, 66);
    p.lineTo(10, 66);
    p.lineTo(18, 55);
    p.lineTo(40, 55);
    p.lineTo(28, 88);
    p.lineTo(36, 88);
    p.lineTo(58, 55);
    p.lineTo(84, 55);
    p.cubicTo(90, 55, 96, 54, 96, 50);
    p.closeSubpath();
    return p;
}

// A zig-zag bolt: the fault striking the aircraft, in a 100 x 100 box.
QPainterPath Bolt() {
    QPainterPath p;
    p.moveTo(58, 0);
    p.lineTo(30, 52);
    p.lineTo(50, 52);
    p.lineTo(36, 100);
    p.lineTo(74, 40);
    p.lineTo(54, 40);
    p.lineTo(70, 0);
    p.closeSubpath();
    return p;
}

void DrawBanner(const QString& path) {
    QImage img(300, 100, QImage::Format_ARGB32_Premultiplied);
    QPainter g(&img);
    g.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 100);
    sky.setColorAt(0.0, QColor(20, 60, 140));
    sky.setColorAt(0.7, QColor(90, 150, 220));
    sky.setColorAt(1.0, QColor(200, 225, 250));
    g.fillRect(img.rect(), sky);
    // Clouds.
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(255, 255, 255, 170));
    for (const auto& c : {QRectF(150, 70, 60, 22), QRectF(180, 62, 50, 26), QRectF(215, 72, 60, 20),
                          QRectF(-10, 78, 70, 24), QRectF(30, 72, 40, 22)}) {
        g.drawEllipse(c);
    }
    // The aircraft, climbing a little, with the bolt across its wing.
    g.save();
    g.translate(200, 8);
    g.rotate(-12);
    g.scale(0.8, 0.8);
    g.setBrush(QColor(240, 240, 245));
    g.setPen(QPen(QColor(30, 30, 50), 1.5));
    g.drawPath(Aircraft());
    g.restore();
    g.save();
    g.translate(232, 4);
    g.scale(0.55, 0.7);
    g.setBrush(QColor(255, 200, 0));
    g.setPen(QPen(QColor(200, 0, 0), 3));
    g.drawPath(Bolt());
    g.restore();
    // The name.
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(40);
    f.setBold(true);
    f.setItalic(true);
    g.setFont(f);
    g.setPen(QColor(0, 0, 0, 110));
    g.drawText(QRectF(14, 14, 200, 50), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Skyfault"));
    g.setPen(Qt::white);
    g.drawText(QRectF(12, 12, 200, 50), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Skyfault"));
    QFont s(QStringLiteral("DejaVu Sans"));
    s.setPixelSize(13);
    g.setFont(s);
    g.setPen(QColor(255, 230, 120));
    g.drawText(QRectF(14, 58, 200, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("random system failures"));
    g.end();
    img.save(path);
}

void DrawIcon(const QString& path, int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter g(&img);
    g.setRenderHint(QPainter::Antialiasing);
    g.scale(size / 100.0, size / 100.0);
    QRadialGradient sky(40, 35, 70);
    sky.setColorAt(0.0, QColor(130, 190, 245));
    sky.setColorAt(1.0, QColor(20, 60, 140));
    g.setBrush(sky);
    g.setPen(QPen(QColor(10, 30, 80), 3));
    g.drawEllipse(QRectF(3, 3, 94, 94));
    g.save();
    g.translate(50, 50);
    g.rotate(-30);
    g.translate(-40, -40);
    g.scale(0.8, 0.8);
    g.setBrush(Qt::white);
    g.setPen(QPen(QColor(30, 30, 50), 2));
    g.drawPath(Aircraft());
    g.restore();
    g.save();
    g.translate(52, 30);
    g.scale(0.42, 0.5);
    g.setBrush(QColor(255, 200, 0));
    g.setPen(QPen(QColor(200, 0, 0), 5));
    g.drawPath(Bolt());
    g.restore();
    g.end();
    img.save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    DrawBanner(dir.filePath(QStringLiteral("banner.png")));
    DrawIcon(dir.filePath(QStringLiteral("skyfault.png")), 64);
    DrawIcon(dir.filePath(QStringLiteral("skyfault-256.png")), 256);
    return 0;
}
