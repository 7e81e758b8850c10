// rangeview-chart-preview: draws Chart1 as the main window shows it, with a generated or given
// series, into a PNG file.
#include <QApplication>
#include <QImage>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "rangeview/chart/qt/ChartControl.h"

namespace {

void Usage()
{
    std::fprintf(
        stderr, "usage: rangeview-chart-preview OUTPUT.png [options]\n"
                "  --points N        number of generated points (default 300)\n"
                "  --signal KIND     sine, ramp, square, noise or flat (default sine)\n"
                "  --values FILE     Y values, one per line (replaces the generated ones)\n"
                "  --size WxH        control size (default 953x313)\n"
                "  --window all|last show all points or the last 200 (default last)\n"
                "  --check           fail unless the image has the expected size and a red line\n");
}

double Generated(const std::string& kind, int i)
{
    if (kind == "ramp")
        return 30.0 + (i % 100) * 0.1;
    if (kind == "square")
        return (i / 25) % 2 ? 38.0 : 32.0;
    if (kind == "flat")
        return 35.0;
    if (kind == "noise")
        return 35.0 + ((i * 7919) % 101) / 20.0 - 2.5;
    return 35.0 + 3.0 * std::sin(i * 0.08);
}

bool ReadValues(const std::string& path, std::vector<double>& out)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ss(line);
        double v = 0;
        if (ss >> v)
            out.push_back(v);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::string output;
    std::string signal = "sine";
    std::string valuesFile;
    std::string window = "last";
    int points = 300;
    int width = 953;
    int height = 313;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--points") {
            points = std::atoi(next().c_str());
        } else if (a == "--signal") {
            signal = next();
        } else if (a == "--values") {
            valuesFile = next();
        } else if (a == "--size") {
            const std::string s = next();
            if (std::sscanf(s.c_str(), "%dx%d", &width, &height) != 2) {
                Usage();
                return 2;
            }
        } else if (a == "--window") {
            window = next();
        } else if (a == "--check") {
            check = true;
        } else if (a == "-h" || a == "--help") {
            Usage();
            return 0;
        } else if (output.empty() && a.rfind("--", 0) != 0) {
            output = a;
        } else {
            Usage();
            return 2;
        }
    }
    if (output.empty() || points < 0 || width < 1 || height < 1) {
        Usage();
        return 2;
    }

    std::vector<double> ys;
    if (!valuesFile.empty()) {
        if (!ReadValues(valuesFile, ys)) {
            std::fprintf(stderr, "cannot read %s\n", valuesFile.c_str());
            return 1;
        }
    } else {
        for (int i = 0; i < points; ++i)
            ys.push_back(Generated(signal, i));
    }

    std::unique_ptr<rv::ChartControl> control(rv::CreateChart1(nullptr));
    control->resize(width, height);
    rv::TChart& chart = control->Chart();
    rv::TFastLineSeries* series = control->Series1();
    for (std::size_t i = 0; i < ys.size(); ++i) {
        series->AddPoint(static_cast<double>(i), ys[i], "", rv::UseSeriesColor);
    }
    // The axes as the window leaves them once its tracking has settled: the last 200 samples
    // (or all of them), the vertical range one unit beyond the shown values.
    const auto n = static_cast<int>(ys.size());
    const int first = (window == "all" || n <= 200) ? 0 : n - 200;
    const double xMax = std::max(199, n - 1);
    chart.BottomAxis()->SetRange(window == "all" ? 0.0 : xMax - 199.0, xMax);
    if (n > 0) {
        const auto [lo, hi] = std::minmax_element(ys.begin() + first, ys.end());
        chart.LeftAxis()->SetRange(*lo - 1.0, *hi + 1.0);
    }

    // The left axis sizes its label room from the previous paint, as in the window, where the
    // first paint is soon followed by others: draw once to settle it.
    rv::RenderChart(*control);
    const QImage image = rv::RenderChart(*control);
    if (!image.save(QString::fromStdString(output), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", output.c_str());
        return 1;
    }
    if (check) {
        int red = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                red += image.pixel(x, y) == 0xFFFF0000u;
        }
        if (image.width() != width || image.height() != height || (n > 1 && red == 0)) {
            std::fprintf(stderr, "unexpected picture: %dx%d, %d red pixels\n", image.width(),
                         image.height(), red);
            return 1;
        }
    }
    std::printf("%s\n", output.c_str());
    return 0;
}
