// render_icon: draws the viewer's SVG icon into the PNG sizes the icon theme wants.
//   render_icon ICON.svg OUTDIR SIZE...
// writes OUTDIR/<SIZE>x<SIZE>/apps/<name of ICON>.png for each SIZE (1 to 1024).
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: render_icon ICON.svg OUTDIR SIZE...\n");
        return 2;
    }
    // The icon holds shapes only (no text): drawing it into images needs no application object
    // and no display.
    const QString source = QString::fromLocal8Bit(argv[1]);
    QSvgRenderer renderer(source);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render_icon: cannot read %s as SVG\n", argv[1]);
        return 1;
    }
    const QString name = QFileInfo(source).completeBaseName();
    for (int i = 3; i < argc; ++i) {
        char* end = nullptr;
        const long value = std::strtol(argv[i], &end, 10);
        if (*argv[i] == '\0' || *end != '\0' || value < 1 || value > 1024) {
            std::fprintf(stderr, "render_icon: bad size \"%s\"\n", argv[i]);
            return 2;
        }
        const int size = int(value);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString folder = QString::fromLocal8Bit(argv[2]) + QString("/%1x%1/apps").arg(size);
        const QString file = folder + "/" + name + ".png";
        if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
