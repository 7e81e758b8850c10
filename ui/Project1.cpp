// Program entry: the application object, the main window, the message loop.
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/ProgramTitle.h"
#include "rangeview/ui/Unit1.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <memory>

namespace {

// Last line of defence: an exception that slipped past a handler's dispatcher is reported
// here instead of crossing the event loop.
class TApplication final : public QApplication {
public:
    using QApplication::QApplication;
    rv::MessageSink* Sink = nullptr;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            Report(QString::fromUtf8(e.what()));
        } catch (...) {
            Report(QStringLiteral("Unknown exception"));
        }
        return false;
    }

private:
    void Report(const QString& text) noexcept
    {
        try {
            if (Sink != nullptr)
                Sink->ShowErrorReport(rv::ErrorReportText(text));
        } catch (...) {
        }
    }
};

struct Options {
    QString Port;       // --port NAME: the text of the port list at start
    QString Screenshot; // --screenshot PATH: write the window to PATH and quit (demo, tests)
    int QuitAfterMs = -1; // --quit-after MS
};

Options ParseOptions(const QStringList& args)
{
    Options o;
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--port"))
            o.Port = args[++i];
        else if (a == QLatin1String("--screenshot"))
            o.Screenshot = args[++i];
        else if (a == QLatin1String("--quit-after"))
            o.QuitAfterMs = args[++i].toInt();
    }
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    const Options options = ParseOptions(QCoreApplication::arguments());

    rv::QtMessageSink sink;
    app.Sink = &sink;

    rv::TForm1 Form1(&sink);
    if (!options.Port.isEmpty())
        Form1.ComboBox1->setEditText(options.Port);
    Form1.show();

    if (!options.Screenshot.isEmpty()) {
        const int delay = options.QuitAfterMs >= 0 ? options.QuitAfterMs : 3000;
        QTimer::singleShot(delay, &Form1, [&Form1, &options] {
            const QPixmap shot = Form1.grab();
            if (shot.save(options.Screenshot, "PNG"))
                std::printf("%s\n", options.Screenshot.toLocal8Bit().constData());
            else
                std::fprintf(stderr, "cannot write %s\n",
                             options.Screenshot.toLocal8Bit().constData());
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    } else if (options.QuitAfterMs >= 0) {
        QTimer::singleShot(options.QuitAfterMs, &app, &QCoreApplication::quit);
    }
    return app.exec();
}
