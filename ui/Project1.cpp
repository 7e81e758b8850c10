// Program entry: the application object, the main window, the message loop.
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/ProgramTitle.h"
#include "rangeview/ui/SerialLink.h"
#include "rangeview/ui/SerialLog.h"
#include "rangeview/ui/Unit1.h"

#include "rangeview/serial/SystemPlatform.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QPushButton>
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
    bool Demo = false;    // --demo: open the port and switch echo and waveform on at start
};

Options ParseOptions(const QStringList& args)
{
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--demo"))
            o.Demo = true;
        else if (a == QLatin1String("--port") && hasValue)
            o.Port = args[++i];
        else if (a == QLatin1String("--screenshot") && hasValue)
            o.Screenshot = args[++i];
        else if (a == QLatin1String("--quit-after") && hasValue)
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
    rv::InstallSerialErrorLog();

    rv::TForm1 Form1(&sink);
    Form1.AttachSerialLink(rv::MakeSystemPlatform());
    if (!options.Port.isEmpty())
        Form1.ComboBox1->setEditText(options.Port);
    Form1.show();

    if (options.Demo) {
        // As the user would: through the buttons, once the window is up.
        QTimer::singleShot(0, &Form1, [&Form1] {
            Form1.BitBtn1->click();
            Form1.Button5->click();
            Form1.BitBtn2->click();
        });
    }

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
