#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "RecordingHost.h"
#include "rangeview/serial/FakePlatform.h"
#include "rangeview/serial/SerialConnection.h"

namespace rv::test {

using namespace std::chrono_literals;

// A connection on the fake platform, with the test thread as the window thread.
class FakeConnectionTest : public ::testing::Test {
protected:
    std::shared_ptr<FakePlatform> Platform = std::make_shared<FakePlatform>();
    std::shared_ptr<RecordingHost> Host = std::make_shared<RecordingHost>();
    std::unique_ptr<SerialConnection> Conn = std::make_unique<SerialConnection>(Platform, Host);

    void TearDown() override
    {
        Conn.reset();
        Platform->ReleaseHeldThreads();
        EXPECT_TRUE(Platform->WaitThreadsEnded(2s)) << "a reader outlived its connection";
        ExpectNoMisuse();
    }

    // Opens "COM3" at 9600 and waits until the reader is waiting for bytes.
    std::shared_ptr<FakePort> OpenAndWait()
    {
        Conn->Open("COM3", 9600);
        auto port = Platform->LastPort();
        EXPECT_NE(port, nullptr);
        if (port) {
            EXPECT_TRUE(port->WaitForWaiter(2s));
        }
        return port;
    }

    // Bytes arrive and the reader's notification is queued.
    void Arrive(FakePort& port, std::vector<std::uint8_t> bytes, std::size_t postedAfter = 1)
    {
        port.Inject(std::move(bytes));
        ASSERT_TRUE(Host->WaitForPosted(postedAfter, 2s));
    }

    // No object was used or released after its release, nor released twice.
    void ExpectNoMisuse() const
    {
        for (const auto& port : Platform->Ports()) {
            EXPECT_LE(port->ReleaseCount(), 1) << "port released twice";
            EXPECT_EQ(port->UsesAfterRelease(), 0) << "port used after release";
        }
        for (const auto& event : Platform->Events()) {
            EXPECT_LE(event->ReleaseCount(), 1) << "event released twice";
            EXPECT_EQ(event->UsesAfterRelease(), 0) << "event used after release";
        }
    }

    bool AllReleased() const
    {
        for (const auto& port : Platform->Ports())
            if (!port->IsReleased())
                return false;
        for (const auto& event : Platform->Events())
            if (!event->IsReleased())
                return false;
        return true;
    }

    std::shared_ptr<const ConnectionLink> Link() const { return Conn->Link(); }
};

} // namespace rv::test
