// The system's reason for a serial failure goes to the log under rangeview.serial, beside the
// window's fixed message, which stays exactly as it is.
#include "UiTestSupport.h"

#include "rangeview/serial/SystemPlatform.h"
#include "rangeview/ui/SerialLink.h"
#include "rangeview/ui/SerialLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace rv::test {
namespace {

struct LogLine {
    QtMsgType Type;
    std::string Category;
    std::string Text;
};

std::vector<LogLine>& Lines()
{
    static std::vector<LogLine> lines;
    return lines;
}

void Capture(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    Lines().push_back({type, context.category ? context.category : "", text.toStdString()});
}

class SerialLogTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        Lines().clear();
        InstallSerialErrorLog();
        Previous_ = qInstallMessageHandler(&Capture);
    }
    void TearDown() override
    {
        qInstallMessageHandler(Previous_);
        SetSystemErrorSink(nullptr);
        form.reset();
    }

    std::vector<LogLine> SerialLines() const
    {
        std::vector<LogLine> lines;
        for (const auto& line : Lines())
            if (line.Category == "rangeview.serial")
                lines.push_back(line);
        return lines;
    }

private:
    QtMessageHandler Previous_ = nullptr;
};

TEST_F(SerialLogTest, OpeningAFileThatIsNoTerminalShowsTheBoxAndLogsTheReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("capture.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    form->AttachSerialLink(MakeSystemPlatform());
    Parts(form).ComboBox1->setEditText(path);
    Parts(form).BitBtn1->click();

    ASSERT_EQ(sink.Messages.size(), 1u);
    EXPECT_EQ(sink.Messages[0].kind, CaptureSink::Kind::Notice);
    EXPECT_EQ(sink.Messages[0].text.toStdString(), "串口打开失败!");
    EXPECT_TRUE(Parts(form).BitBtn1->isEnabled());

    const auto lines = SerialLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Type, QtWarningMsg);
    const std::string& text = lines[0].Text;
    // "<device path>: <failing call>: <the system's reason> (system error N)"; which call refuses
    // a plain file depends on the system (isatty on Linux, GetCommState on Windows).
    const std::string device = SystemDevicePath(path.toStdString());
    ASSERT_EQ(text.rfind(device + ": ", 0), 0u) << text;
    const std::string rest = text.substr(device.size() + 2);
    EXPECT_TRUE(std::regex_match(rest, std::regex(R"([A-Za-z_]+: .+ \(system error [0-9]+\))")))
        << text;
}

TEST_F(SerialLogTest, WarningsAreOnByDefaultAndDebugOutputIsNot)
{
    EXPECT_STREQ(SerialLog().categoryName(), "rangeview.serial");
    EXPECT_TRUE(SerialLog().isWarningEnabled());
    EXPECT_FALSE(SerialLog().isDebugEnabled());
}

TEST_F(SerialLogTest, FailuresOnTheReaderThreadAreLoggedToo)
{
    std::thread([] {
        ReportSystemError({"/dev/ttyUSB0", "epoll_wait", 4, "Interrupted system call"});
    }).join();
    const auto lines = SerialLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Text, "/dev/ttyUSB0: epoll_wait: Interrupted system call (system error 4)");
}

} // namespace
} // namespace rv::test
