#include "rangeview/serial/SerialConnection.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace rv {

namespace {

constexpr std::uint32_t PurgeAll = PurgeTxAbort | PurgeRxAbort | PurgeTxClear | PurgeRxClear;

// Releases a port or event unless something (a failure, or a close run while a message was
// open) already has: each object is released exactly once.
template <class T>
void ReleaseOnce(T& object)
{
    if (!object.IsReleased())
        object.Close();
}

// Taken before a platform call; after the call has failed, the reason it reported, if any (an
// earlier call's reason is no reason for this one).
class FailureReason {
public:
    FailureReason() : Mark_(SystemErrorsReported()) { }
    std::optional<SystemError> operator()() const
    {
        if (SystemErrorsReported() == Mark_)
            return std::nullopt;
        return LastSystemError();
    }

private:
    std::uint64_t Mark_;
};

// Nothing may leave the reader thread by exception; a fault that cannot be shown is not shown.
void FaultFromReader(ConnectionHost& host, ConnectionFault fault,
                     const std::optional<SystemError>& reason)
{
    try {
        host.Fault(fault, reason);
    } catch (...) {
    }
}

} // namespace

SerialConnection::SerialConnection(std::shared_ptr<SerialPlatform> platform,
                                   std::shared_ptr<ConnectionHost> host)
    : Platform_(std::move(platform)), Host_(std::move(host))
{
}

SerialConnection::~SerialConnection()
{
    // Closing the window with the port open still releases the port and ends the reader.
    if (Link_)
        ReleaseLink(*Link_);
    JoinReader();
    for (auto& reader : Stragglers_)
        reader->Join(ReaderJoinBound);
}

ConnectionState SerialConnection::State() const
{
    if (!PortOpen_ || !Link_)
        return ConnectionState::Closed;
    if (Link_->PortHandle->IsReleased() || Link_->ReadDoneEvent->IsReleased())
        return ConnectionState::Broken;
    if (!Link_->EventMaskArmed)
        return ConnectionState::ConfiguredWithoutEventMask;
    if (!Link_->ReaderStarted)
        return ConnectionState::OpenWithoutReader;
    return ConnectionState::Open;
}

std::chrono::milliseconds SerialConnection::WriteBound(std::size_t count, std::uint32_t baud)
{
    // Twice the time the bytes take on the line (ten bits each) plus half a second, so a write
    // held back for good (flow control left on by the port's earlier settings) cannot block the
    // window for longer than that.
    const std::uint64_t rate = std::max<std::uint32_t>(baud, 1);
    const std::uint64_t lineMs = (static_cast<std::uint64_t>(count) * 10 * 1000 + rate - 1) / rate;
    return std::chrono::milliseconds(500 + 2 * lineMs);
}

bool SerialConnection::Open(std::string_view portName, std::optional<std::uint32_t> baudRate)
{
    // Reachable only in the state Configured without event mask, whose port would otherwise
    // stay held with no way left to release it.
    if (PortOpen_)
        Close();

    const FailureReason eventFailure;
    auto readDone = Platform_->NewEvent(true);
    if (!readDone) {
        Host_->Fault(ConnectionFault::EventUnavailable, eventFailure());
        return false;
    }
    const FailureReason openFailure;
    auto port = Platform_->OpenPort(portName);
    if (!port) {
        const auto reason = openFailure();
        readDone->Close();
        Host_->Fault(ConnectionFault::PortUnavailable, reason);
        return false;
    }
    port->SetTimeouts(ImmediateReadTimeouts);
    port->SetQueueSizes(InputQueueSize, OutputQueueSize);
    LineSettings dcb;
    port->GetCommState(dcb);

    if (!baudRate) {
        // Released before the caller reports the missing rate, so that the next open of this
        // port works.
        port->Close();
        readDone->Close();
        return true;
    }
    dcb.BaudRate = *baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NoParity;
    dcb.StopBits = OneStopBit;

    const bool configured = port->SetCommState(dcb);
    auto link = std::make_shared<ConnectionLink>();
    link->Handle = NextHandle_++;
    link->PortHandle = port;
    link->ReadDoneEvent = readDone;
    link->BaudRate = dcb.BaudRate;
    if (configured) {
        Link_ = link;
        PortOpen_ = true;
    }

    const FailureReason maskFailure;
    if (!port->SetCommMask(EvRxChar)) {
        const auto reason = maskFailure();
        // After a refused SetCommState nothing would ever release the port: do it now.
        if (!configured) {
            port->Close();
            readDone->Close();
        }
        Host_->Fault(ConnectionFault::EventMaskRefused, reason);
        return true;
    }
    link->EventMaskArmed = true;

    if (!configured) {
        port->Close();
        readDone->Close();
        return true;
    }

    Host_->PortOpened();
    link->ReadOverlapped = IoRecord{};
    // Raised here rather than by the reader itself, so that a close that runs before the new
    // thread gets going still stops it.
    link->ReaderActive.store(true);
    const FailureReason threadFailure;
    std::unique_ptr<PlatformThread> reader;
    try {
        reader = Platform_->StartThread(
            [link, host = Host_, platform = Platform_] { ReaderThread(link, host, platform); });
    } catch (...) {
        reader = nullptr;
    }
    const bool started = reader != nullptr;
    if (Reader_)
        Stragglers_.push_back(std::move(Reader_));
    Reader_ = std::move(reader);
    link->ReaderStarted = started;
    if (!started) {
        link->ReaderActive.store(false);
        Host_->Fault(ConnectionFault::NoReaderThread, threadFailure());
    }
    if (!port->IsReleased())
        port->RaiseDtr();
    return true;
}

void SerialConnection::ReleaseLink(ConnectionLink& link)
{
    link.ReaderActive.store(false);
    SerialPort& port = *link.PortHandle;
    if (!port.IsReleased())
        port.SetCommMask(0);
    // No wait for ReadDoneEvent here: the notification handler runs on this same thread, so an
    // outstanding notification could never be handled while close waited for it. It is dropped
    // instead when it arrives (its connection is gone), and a reader waiting for the event is
    // woken by its release and ends.
    ReleaseOnce(*link.ReadDoneEvent);
    // In the state Broken a failure has released some of these already; each goes once.
    if (!port.IsReleased()) {
        port.Purge(PurgeAll);
        port.Close();
    }
}

void SerialConnection::Close()
{
    if (!PortOpen_)
        return;
    Host_->PortClosing();
    auto link = Link_;
    Host_->DisableTimer();
    if (AutoSend_ == AutoSendState::On)
        AutoSend_ = AutoSendState::Halted;
    if (link)
        ReleaseLink(*link);
    if (Link_ == link) {
        Link_.reset();
        JoinReader();
    }
    Host_->PortClosed();
    PortOpen_ = false;
}

void SerialConnection::JoinReader()
{
    // The release woke the reader (mask change, released event and port), so it is on its way
    // out; waiting for it here means nothing it holds outlives the connection.
    if (Reader_ && !Reader_->Join(ReaderJoinBound))
        Stragglers_.push_back(std::move(Reader_));
    Reader_.reset();
}

void SerialConnection::ReaderThread(std::shared_ptr<ConnectionLink> link,
                                    std::shared_ptr<ConnectionHost> host,
                                    std::shared_ptr<SerialPlatform> platform)
{
    IoRecord WaitOverlapped;
    const FailureReason eventFailure;
    WaitOverlapped.Event = platform->NewEvent(false);
    if (!WaitOverlapped.Event) {
        FaultFromReader(*host, ConnectionFault::ReaderEventUnavailable, eventFailure());
        return;
    }
    SerialPort& port = *link->PortHandle;
    ManualResetEvent& readDone = *link->ReadDoneEvent;

    while (link->ReaderActive.load()) {
        // A port released by a failure receives nothing more; the close that follows has no
        // reader left to stop.
        if (port.IsReleased())
            break;
        std::uint32_t mask = 0;
        if (!port.WaitCommEvent(mask, WaitOverlapped)) {
            mask = 0;
            // A wait that cannot be started would otherwise be retried in a tight loop.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (!(mask & EvRxChar))
            continue;
        // Released by close or by a read failure: the connection is over.
        if (readDone.Wait() != WaitResult::Signalled)
            break;
        if (!link->ReaderActive.load())
            break;
        readDone.Reset();
        bool posted = false;
        try {
            posted = host->PostCommNotify(link->Handle);
        } catch (...) {
            posted = false;
        }
        if (!posted) {
            // Nothing is outstanding, so the hand-off is free again for whoever looks at it.
            readDone.Set();
            FaultFromReader(*host, ConnectionFault::NotifyFailed, std::nullopt);
            break;
        }
    }
    WaitOverlapped.Event->Close();
}

void SerialConnection::OnCommNotify(CommHandle handle)
{
    auto link = Link_;
    // A notification of a connection that was closed (or closed and reopened) meanwhile.
    if (!link || link->Handle != handle)
        return;
    ManualResetEvent& readDone = *link->ReadDoneEvent;
    SerialPort& port = *link->PortHandle;
    if (readDone.IsReleased())
        return;
    if (port.IsReleased()) {
        // A write failure released the port: let the reader go on to find that out and end.
        readDone.Set();
        return;
    }

    std::uint32_t errors = 0;
    CommStatus status;
    const FailureReason clearFailure;
    if (!port.ClearCommError(errors, status)) {
        Host_->Fault(ConnectionFault::ClearErrorFailed, clearFailure());
        if (!port.IsReleased())
            port.Purge(PurgeRxAbort | PurgeRxClear);
        // Receiving goes on with the next bytes. The hand-off is completed only once the host is
        // done with the fault (its box dismissed), so a failure that persists is told once at a
        // time.
        if (!readDone.IsReleased())
            readDone.Set();
        return;
    }

    const auto n = std::min<std::uint32_t>(status.InQueue, ReceiveBufferSize);
    if (n > 0) {
        std::fill_n(ReceiveBuffer_.begin(), n, std::uint8_t{0});
        link->ReadOverlapped.BytesTransferred = 0;
        const FailureReason readFailure;
        if (!port.Read(std::span(ReceiveBuffer_.data(), n), link->ReadOverlapped)) {
            Host_->Fault(ConnectionFault::ReadFailed, readFailure());
            link->ReaderActive.store(false);
            ReleaseOnce(readDone);
            ReleaseOnce(port);
            return;
        }
        const auto count = std::min(link->ReadOverlapped.BytesTransferred, n);
        if (count > 0) {
            try {
                Host_->ProcessReceivedBytes(
                    std::span<const std::uint8_t>(ReceiveBuffer_.data(), count));
            } catch (...) {
                // The error goes to the window's report; receiving must not stop because of it.
                if (!readDone.IsReleased())
                    readDone.Set();
                throw;
            }
        }
        // Bytes beyond one buffer are collected by a follow-up notification that takes the
        // place of this one, so at most one stays outstanding and the window can repaint
        // between the chunks.
        if (count == ReceiveBufferSize && status.InQueue > ReceiveBufferSize &&
            !port.IsReleased()) {
            bool posted = false;
            try {
                posted = Host_->PostCommNotify(link->Handle);
            } catch (...) {
                posted = false;
            }
            if (posted)
                return;
        }
    }
    if (!readDone.IsReleased())
        readDone.Set();
}

void SerialConnection::Send(std::span<const std::uint8_t> bytes)
{
    if (!PortOpen_) {
        Host_->Fault(ConnectionFault::NotOpen, std::nullopt);
        return;
    }
    const auto n = bytes.size();
    TxCount_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(TxCount_) +
                                         static_cast<std::uint32_t>(n));
    Host_->TxCountChanged(TxCount_);
    if (n == 0)
        return;

    auto link = Link_;
    if (!link || link->PortHandle->IsReleased()) {
        // Broken: a failure released the port; nothing is left to write to or release.
        Host_->Fault(ConnectionFault::WriteFailed, std::nullopt);
        return;
    }
    SerialPort& port = *link->PortHandle;

    IoRecord WriteOverlapped;
    WriteOverlapped.Event = Platform_->NewEvent(false); // the write works without one
    const auto releaseWriteEvent = [&WriteOverlapped] {
        if (WriteOverlapped.Event)
            WriteOverlapped.Event->Close();
    };

    bool immediateFailure = false;
    const FailureReason writeFailure;
    switch (port.StartWrite(bytes, WriteOverlapped)) {
    case WriteStart::Completed:
        releaseWriteEvent();
        return;
    case WriteStart::Pending:
        if (port.FinishWrite(WriteOverlapped, WriteBound(n, link->BaudRate))) {
            releaseWriteEvent();
            return;
        }
        break;
    case WriteStart::Failed:
        immediateFailure = true;
        break;
    }

    // The write's reason, not that of the clean-up after it.
    const auto reason = writeFailure();
    std::uint32_t errors = 0;
    CommStatus status;
    port.ClearCommError(errors, status);
    Host_->Fault(ConnectionFault::WriteFailed, reason);
    // The fault's message may have run a close (and even a new open) meanwhile: what is
    // released here is this write's connection, each object once.
    releaseWriteEvent();
    if (immediateFailure)
        link->ReaderActive.store(false);
    ReleaseOnce(port);
    if (immediateFailure)
        ReleaseOnce(*link->ReadDoneEvent);
}

void SerialConnection::StartAutoSend(std::optional<std::uint32_t> periodMs)
{
    // On before the period is looked at: without one (or a timer) it stays on, Halted.
    AutoSend_ = AutoSendState::Halted;
    Host_->AutoSendSwitched(true);
    if (!periodMs)
        return;
    Host_->EnableTimer(*periodMs);
    AutoSend_ = AutoSendState::On;
}

void SerialConnection::StopAutoSend()
{
    AutoSend_ = AutoSendState::Off;
    Host_->AutoSendSwitched(false);
    Host_->DisableTimer();
}

void SerialConnection::ResetTxCount()
{
    TxCount_ = 0;
    Host_->TxCountChanged(TxCount_);
}

} // namespace rv
