// Program entry: the application object, the main window, the message loop.
#include "rangeview/ui/FileReplace.h"
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/ProgramOptions.h"
#include "rangeview/ui/ProgramTitle.h"
#include "rangeview/ui/SerialLink.h"
#include "rangeview/ui/SerialLog.h"
#include "rangeview/ui/Unit1.h"

#include "rangeview/serial/SystemPlatform.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QComboBox>
#include <QFileDevice>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

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

// What the program prints before its window exists goes, from a desktop launcher or on Windows
// from Explorer, where nobody reads it: there it is also shown in a box. Anywhere else (a
// terminal, a file, a pipe) the program prints and ends at once. The box needs the application
// object, made for it alone; offscreen and the like have no one to see it.
void ShowWhereUnseen(int argc, char** argv, int fd, const QString& text, QMessageBox::Icon icon)
{
    if (!rv::TextGoesUnseen(fd))
        return;
    QApplication app(argc, argv);
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    QMessageBox box(icon, rv::ProgramTitle(), QString(), QMessageBox::Ok);
    // Monospaced, so that the option list keeps its columns.
    box.setTextFormat(Qt::RichText);
    box.setText(QStringLiteral("<pre>%1</pre>").arg(text.trimmed().toHtmlEscaped()));
    box.exec();
}

// The application object, at a display scale at which the whole window fits. Qt takes a scale
// factor only as the application object is made, so where the screen's scale is too large for
// the window the first object, having measured the screen, makes way for one made with the
// factor. A QT_SCALE_FACTOR the user set is the user's choice and stays as it is.
std::unique_ptr<TApplication> MakeApplication(int& argc, char** argv, int& firstArgc,
                                              std::vector<char*>& firstArgv)
{
    // Qt takes its own options out of the arguments it is given: the first object gets a copy,
    // so that a second one sees them too.
    firstArgc = argc;
    firstArgv.assign(argv, argv + argc + 1);
    auto app = std::make_unique<TApplication>(firstArgc, firstArgv.data());
    if (!qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR"))
        return app;
    const qreal factor = rv::TForm1::ScaleFactorToFit();
    if (factor >= 1.0)
        return app;
    app.reset();
    qputenv("QT_SCALE_FACTOR", QByteArray::number(factor, 'g', 17));
    app = std::make_unique<TApplication>(argc, argv);
    // What the window starts (the browser) gets the environment the program got.
    qunsetenv("QT_SCALE_FACTOR");
    return app;
}

} // namespace

int main(int argc, char** argv)
{
    // Read before any application object exists: --help and a bad command line need no display.
    const rv::ParsedOptions parsed = rv::ParseProgramOptions(rv::ProgramArguments(argc, argv));
    if (!parsed.Error.isEmpty()) {
        const QString line = QStringLiteral("rangeview: %1\n").arg(parsed.Error);
        std::fputs(line.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        ShowWhereUnseen(argc, argv, 2, line, QMessageBox::Critical);
        return 2;
    }
    const rv::ProgramOptions& options = parsed.Options;
    if (options.Help) {
        std::fputs(rv::ProgramUsage().toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        ShowWhereUnseen(argc, argv, 1, rv::ProgramUsage(), QMessageBox::Information);
        return 0;
    }

    int firstArgc = 0;
    std::vector<char*> firstArgv;
    const std::unique_ptr<TApplication> app = MakeApplication(argc, argv, firstArgc, firstArgv);
    rv::QtMessageSink sink;
    app->Sink = &sink;
    rv::InstallSerialErrorLog();

    rv::TForm1 Form1(&sink);
    Form1.AttachSerialLink(rv::MakeSystemPlatform());
    if (!options.Port.isEmpty())
        Form1.PresetPort(options.Port);
    Form1.show();

    if (options.Demo) {
        // As the user would: through the buttons, once the window is up.
        QTimer::singleShot(0, &Form1, [&Form1] { Form1.StartDemo(); });
    }

    if (!options.Screenshot.isEmpty()) {
        const int delay = options.QuitAfterMs >= 0 ? options.QuitAfterMs : 3000;
        QTimer::singleShot(delay, &Form1, [&Form1, &options] {
            const QPixmap shot = Form1.grab();
            const QString failure = rv::ReplaceFileWhole(
                options.Screenshot, [&shot](QFileDevice& file) { return shot.save(&file, "PNG"); });
            if (failure.isEmpty()) {
                std::printf("%s\n", options.Screenshot.toLocal8Bit().constData());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            } else {
                const QString line = QStringLiteral("rangeview: cannot write %1: %2\n")
                                         .arg(options.Screenshot, failure);
                std::fputs(line.toLocal8Bit().constData(), stderr);
                QCoreApplication::exit(1);
            }
        });
    } else if (options.QuitAfterMs >= 0) {
        QTimer::singleShot(options.QuitAfterMs, app.get(), &QCoreApplication::quit);
    }
    return app->exec();
}
