// What drawing the trend's chart costs: the chart library the window loads, handed
// the picture of a bus of four modules at one column per pixel (a gap in each line),
// timed for a redraw on screen (draw() and a paint of the widget) and for the PNG's
// picture. Prints figures; asserts nothing.
//   trend_chart_bench [CHART_LIBRARY [PNG]]   (QT_QPA_PLATFORM=offscreen); PNG receives the
//   picture, to look at.
#include "ui/TrendChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPluginLoader>
#include <QWidget>

#include <cmath>
#include <cstdio>

using namespace kvp;

namespace {

TrendPicture pictureOf(int columns, double spanSeconds)
{
    TrendPicture picture;
    picture.dark = true;
    picture.background = QColor(0x20, 0x20, 0x20);
    picture.text = QColor(0xe0, 0xe0, 0xe0);
    picture.grid = QColor(0x50, 0x50, 0x50);
    picture.time = {-spanSeconds, 0, 10};
    picture.value = {-200, 1200, 200};
    picture.timeTitle = QStringLiteral("时间 (秒)");
    picture.valueTitle = QStringLiteral("数值 (kg)");
    const QColor colours[] = {QColor(0x6c, 0xb4, 0xff), QColor(0xff, 0xa0, 0x50), QColor(0x70, 0xe0, 0x70),
                              QColor(0xf0, 0x70, 0xc0)};
    for (int m = 0; m < 4; ++m) {
        TrendPicture::Line line{m + 1, colours[m], {{}}};
        for (int i = 0; i < columns; ++i) {
            if (i == columns / 3 + m * 40) { // a stale stretch
                line.runs.append(QList<QPointF>());
                i += 30;
                continue;
            }
            const double x = -spanSeconds + (i + 0.5) * spanSeconds / columns;
            const double y = 250 * m + 100 * std::sin(i / 40.0 + m);
            line.runs.back().append(QPointF(x, y - 3));
            line.runs.back().append(QPointF(x, y + 3));
        }
        picture.lines.append(line);
    }
    return picture;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KVP_TREND_CHART);
    QPluginLoader loader(file);
    auto *factory = qobject_cast<TrendChartFactory *>(loader.instance());
    if (!factory) {
        std::fprintf(stderr, "trend_chart_bench: cannot load %s: %s\n", qPrintable(file), qPrintable(loader.errorString()));
        return 1;
    }
    QWidget window;
    window.resize(1920, 400);
    std::unique_ptr<TrendChart> chart = factory->create(&window);
    chart->widget()->resize(window.size());
    window.show();
    QPixmap target(window.size());
    chart->draw(pictureOf(100, 60)); // laid out, so that plotWidth() is the plot's
    chart->widget()->render(&target);
    const int columns = chart->plotWidth();
    const TrendPicture picture = pictureOf(columns, 60);
    const TrendPicture shifted = pictureOf(columns, 60.5); // every redraw new figures

    constexpr int kRedraws = 100;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kRedraws; ++i) {
        chart->draw(i % 2 ? shifted : picture);
        chart->widget()->render(&target);
    }
    const double redraw = t.nsecsElapsed() / 1e6 / kRedraws;
    constexpr int kImages = 10;
    t.start();
    for (int i = 0; i < kImages; ++i)
        chart->image(i % 2 ? shifted : picture, QSize(1200, 540));
    const double image = t.nsecsElapsed() / 1e6 / kImages;
    if (argc > 2)
        chart->image(picture, QSize(1200, 540)).save(QString::fromLocal8Bit(argv[2]));
    std::printf("trend chart: 4 lines x %d columns, widget 1920 x 400: redraw %.2f ms (%.1f %% of a 50 ms frame); "
                "PNG picture 1200 x 540: %.1f ms\n",
                columns, redraw, redraw / 50 * 100, image);
    return 0;
}
