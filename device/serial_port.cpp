#include "device/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "device/reply_assembler.h"

namespace vark {

std::string CommErrorText(int code) {
    switch (code) {
        case COMM_ERR_START:
            return "\n    Device Start Err!    \n";
        case COMM_ERR_NO_LINK:
            return "\n    Please Refresh Device!    \n";
        case COMM_ERR_SEND:
            return "\n    Device Send Err!    \n";
        case COMM_ERR_RECEIVE:
            return "\n    Device Receive Err!    \n";
        case COMM_ERR_BUSY:
            return "\n    Device is Busying...   \n";
        default: {
            char text[48];
            std::snprintf(text, sizeof text, "\n    Other Error:%d!    \n", code);
            return text;
        }
    }
}

namespace {

constexpr std::size_t kClearSize = 64;  // bytes cleared before a command is built

std::uint32_t NextThreadId() {
    static std::atomic<std::uint32_t> last{0};
    std::uint32_t id = ++last;
    if (id == 0) {
        id = ++last;
    }
    return id;
}

}  // namespace

SerialPort::SerialPort() : SerialPort(MakeSystemSerialLine(), SystemPortNaming()) {}

SerialPort::SerialPort(std::unique_ptr<SerialLine> line, PortNaming naming)
    : m_hComm(std::move(line)), m_pBuf(m_RxBlock.data()), m_naming(naming) {
    std::memset(m_RxBlock.data(), 0, kBlockSize);
}

SerialPort::~SerialPort() {
    StopLink();
    if (m_worker.joinable()) {
        m_worker.join();  // never outlives the line and the area it uses
    }
}

std::string SerialPort::PortLabel() const {
    return m_naming == PortNaming::ComNumber ? std::to_string(m_nPortNo) : m_strPortName;
}

std::string SerialPort::DeviceCaption() const {
    return "Kelvor VARK-u  Port:" + PortLabel();
}

int SerialPort::StartLink() {
    // A link that still runs would be left without anyone to end it, and a
    // worker still held up in the line must be gone before the line is reused.
    StopLink();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (!OpenPort()) {
        return 0;
    }
    if (!ConfigurePort()) {
        return 0;
    }
    m_nTimeout = kReceiveTimeoutMs;
    m_bRunning = 1;
    m_queue.Clear();
    m_handOff.Reopen();
    {
        std::lock_guard<std::mutex> lock(m_endMutex);
        m_bWorkerEnded = false;
    }
    const std::uint32_t id = NextThreadId();
    m_dwThreadId = id;
    m_hThread = static_cast<std::intptr_t>(id);
    m_worker = std::thread([this] { WorkerMain(); });
    return 1;
}

int SerialPort::OpenPort() {
    const auto show = [this](const std::string& text) {
        if (m_pOwner) {
            m_pOwner->ShowMessage(text);
        }
    };
    char text[96];
    std::string device;
    if (m_naming == PortNaming::ComNumber) {
        if (m_nPortNo == 0 || m_nPortNo == kPortNotFound) {
            std::snprintf(text, sizeof text, "\n    PortNO:%d  is Error!    \n", m_nPortNo);
            show(text);
            return 0;
        }
        device = "\\\\.\\COM" + std::to_string(m_nPortNo);
    } else {
        if (m_strPortName.empty()) {
            std::snprintf(text, sizeof text, "\n    PortNO:%d  is Error!    \n", m_nPortNo);
            show(text);
            return 0;
        }
        device = m_strPortName;
    }
    std::string reason;
    int err = 0;
    if (!m_hComm->Open(device, &reason, &err)) {
        if (m_naming == PortNaming::ComNumber) {
            std::snprintf(text, sizeof text, "\n    Open COM:%d Failed!    \n", m_nPortNo);
            show(text);
        } else {
            std::string message = "\n    Open " + m_strPortName + " Failed!    \n" + reason;
            if (err == EACCES) {
                message +=
                    "\n(serial ports belong to the dialout group: add your user to it and "
                    "log in again)";
            }
            show(message);
        }
        return 0;
    }
    m_hComm->SetQueueSizes(kInputQueueSize, kOutputQueueSize);
    m_hComm->Purge(kPurgeTxClear | kPurgeRxClear);
    m_hComm->RaiseRts();
    return 1;
}

int SerialPort::ConfigurePort() {
    LineSettings settings;
    if (!m_hComm->GetLineSettings(settings)) {
        if (m_pOwner) {
            m_pOwner->ShowMessage(kMsgGetStateFailed);
        }
        m_hComm->Close();
        return 0;
    }
    settings.binary = true;
    settings.baudRate = kBaudRate;
    settings.byteSize = 8;
    settings.parity = 0;
    settings.stopBits = 0;
    if (!m_hComm->SetLineSettings(settings)) {
        if (m_pOwner) {
            m_pOwner->ShowMessage(kMsgSetStateFailed);
        }
        ClosePort();
        return 0;
    }
    return 1;
}

int SerialPort::ClosePort() {
    m_hComm->Close();
    return 1;
}

int SerialPort::StopLink() {
    if (!m_worker.joinable()) {
        return 1;
    }
    SetBusy(0);
    m_queue.Post(WM_QUIT);
    m_hWakeEvent.Set();
    // The worker may be waiting for this thread to take a notification,
    // which it cannot do while it is in here.
    m_handOff.Cancel();
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(m_endMutex);
        ended = m_endSignal.wait_for(lock, std::chrono::milliseconds(kStopPauseMs),
                                     [this] { return m_bWorkerEnded; });
    }
    if (ended) {
        m_worker.join();
    }
    // Else the worker is held up in a line call: it has its quit message and
    // is joined by the next StartLink or by the destructor.
    return 1;
}

void SerialPort::SetBusy(int value) {
    m_bBusy = value;
}

std::size_t SerialPort::BuildCommand(int code, std::uint8_t* buf) {
    if ((code & 0xFF) == COMM_CMD_UPLOAD) {
        std::memcpy(buf, kUploadCommand, sizeof kUploadCommand);
        return sizeof kUploadCommand;
    }
    return 0;
}

void SerialPort::CheckRecords() {
    vark::CheckRecords(m_RxBlock);
}

int SerialPort::SendRequest(int code) {
    if (m_hThread.load() == kInvalidThread) {
        if (m_pOwner) {
            m_pOwner->OnCommError(COMM_ERR_NO_LINK);
        }
        return 0;
    }
    if (m_bBusy.load()) {
        if (m_pOwner) {
            m_pOwner->OnCommError(COMM_ERR_BUSY);
        }
        return 0;
    }
    m_bBusy = 1;
    std::memset(m_pBuf, 0, kClearSize);
    if (m_pOwner) {
        m_pOwner->ArmReceiveTimer(m_nTimeout);
    }
    m_queue.Post(WM_COMM_REQUEST, static_cast<std::uintptr_t>(code & 0xFF));
    m_hWakeEvent.Set();
    return 1;
}

template <class F>
bool SerialPort::Notify(F&& fn) {
    if (!m_pOwner) {
        return !m_handOff.Cancelled();
    }
    return m_handOff.Call(*m_pOwner, std::forward<F>(fn));
}

void SerialPort::WorkerMain() {
    m_hWakeEvent.Set();
    while (m_bRunning.load()) {
        m_hWakeEvent.Wait();
        if (m_queue.Take(WM_QUIT)) {
            break;
        }
        ThreadMessage request;
        if (!m_queue.Take(WM_COMM_REQUEST, &request)) {
            continue;
        }
        HandleRequest(static_cast<int>(request.wParam & 0xFF));
    }
    ClosePort();
    m_dwThreadId = 0;
    m_hThread = kInvalidThread;
    m_hWakeEvent.Set();
    {
        std::lock_guard<std::mutex> lock(m_endMutex);
        m_bWorkerEnded = true;
    }
    m_endSignal.notify_all();
}

void SerialPort::HandleRequest(int code) {
    SerialOwner* const owner = m_pOwner;
    const int timeout = m_nTimeout;
    bool done = false;
    bool failed = false;

    std::memset(m_pBuf, 0, kClearSize);
    const std::size_t length = BuildCommand(code, m_pBuf);
    if (m_hComm->ClearError(nullptr)) {
        m_hComm->Purge(kPurgeRxAbort | kPurgeRxClear);  // stale bytes of an earlier exchange
        m_hComm->Purge(kPurgeTxAbort | kPurgeTxClear);
    }
    if (!m_hComm->Write(m_pBuf, length)) {
        // Abandoned without a word: the busy flag stays set and the timer
        // armed by SendRequest reports the time-out.
        m_hComm->ClearError(nullptr);
        return;
    }
    std::memset(m_pBuf, 0, kClearSize);
    bool linked = Notify([owner, timeout] { owner->ArmReceiveTimer(timeout); });

    ReplyAssembler reply(m_pBuf);
    std::vector<std::uint8_t> chunk(kBlockSize);
    // The reply counts as complete one byte early (the last record's reserved
    // byte); that byte gets one more pass to arrive before completion.
    bool lastPass = false;
    // A request queued behind this one means this one was taken away (only a
    // cleared busy flag lets SendRequest accept another) and the owner asked
    // again before this loop saw the clear: the busy flag and the timer now
    // belong to the new request.
    bool superseded = false;
    while (linked && m_bBusy.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kReceivePollMs));
        if (!m_bBusy.load()) {
            break;  // time-out or stop during the pause
        }
        if (m_queue.Contains(WM_COMM_REQUEST)) {
            superseded = true;
            break;
        }
        // Only what the reply can take is read: the count byte alone first,
        // since it decides how much of the area the reply may fill; bytes
        // past the reply stay queued until the next request purges them.
        bool read = false;
        std::size_t queued = 0;
        if (m_hComm->ClearError(&queued)) {
            while (queued > 0 && reply.Wanted() > 0 && m_bBusy.load()) {
                const long got = m_hComm->Read(chunk.data(), std::min(queued, reply.Wanted()));
                if (got <= 0) {
                    break;
                }
                reply.Feed(chunk.data(), static_cast<std::size_t>(got));
                queued -= std::min(queued, static_cast<std::size_t>(got));
                read = true;
            }
        }
        if (read && reply.HasCount()) {
            m_nRecCount = reply.Count();
        }
        if (reply.state() == ReplyAssembler::State::Refused) {
            // No such reply exists: fail it rather than store past the area.
            failed = true;
            m_bBusy = 0;
            break;
        }
        if (!read && !lastPass) {
            continue;  // an empty pass does not re-arm the time-out
        }
        if (m_queue.Contains(WM_COMM_REQUEST)) {
            superseded = true;
            break;
        }
        if (reply.state() == ReplyAssembler::State::Complete) {
            if (reply.Whole() || lastPass) {
                // Complete, unless the time-out took the request away meanwhile.
                done = m_bBusy.exchange(0) != 0;
                if (!done) {
                    break;
                }
            } else {
                lastPass = true;
            }
        } else if (!m_bBusy.load()) {
            break;  // taken away during the read: the owner hears no more of it
        } else if (const int value = reply.Progress(); value >= 0) {
            linked = Notify([owner, value] { owner->OnCommProgress(value); });
            if (!linked) {
                break;
            }
        }
        if (read) {
            linked = Notify([owner, timeout] { owner->ArmReceiveTimer(timeout); });
        }
    }

    if (superseded) {
        return;
    }
    if (!Notify([owner] { owner->CancelReceiveTimer(); })) {
        return;  // stopping: nothing more reaches the owner
    }
    if (failed) {
        Notify([owner] { owner->OnCommError(COMM_ERR_RECEIVE); });
    } else if (done) {
        CheckRecords();
        Notify([owner] { owner->OnCommReceived(); });
    }
}

void SerialPort::SetDiscoverySources(BridgeDeviceSource* devices, PortNameSource* names) {
    m_pDevices = devices;
    m_pNames = names;
}

SystemDeviceSources& SerialPort::SystemSources() {
    if (!m_system) {
        m_system = MakeSystemDeviceSources();
    }
    return *m_system;
}

bool SerialPort::Discover(SerialOwner* owner) {
    m_pOwner = owner;
    m_nPortNo = 0;
    m_strPortName.clear();
    return EnumerateDevices() != 0;
}

unsigned SerialPort::EnumerateDevices() {
    BridgeDeviceSource* devices = m_pDevices ? m_pDevices : &SystemSources();
    PortNameSource* names = m_pNames ? m_pNames : &SystemSources();

    unsigned count = 0;
    std::uint32_t n = 0;
    if (!devices->DeviceCount(n)) {
        n = 0;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        BridgeDeviceSource::Handle handle = 0;
        if (!devices->OpenDevice(i, handle)) {
            continue;
        }
        std::uint16_t vid = 0;
        std::uint16_t pid = 0;
        if (!devices->VendorId(handle, vid) || !devices->ProductId(handle, pid) ||
            !IsAcceptedVendor(vid)) {
            devices->CloseDevice(handle);
            continue;
        }
        std::string serial = devices->SerialString(handle);
        if (serial.size() > kSerialBufferSize - 1) {
            serial.resize(kSerialBufferSize - 1);
        }
        // Every accepted device overwrites the port: the last one wins, even
        // when it is not counted.
        const std::string value = LookupPortValue(*names, vid, pid, serial);
        m_nPortNo = value.empty() ? kPortNotFound : ParsePortNumber(value);
        if (m_naming == PortNaming::ComNumber) {
            if (m_nPortNo > 1 && m_nPortNo < kPortNotFound) {
                ++count;
            }
        } else {
            m_strPortName = value;
            if (!value.empty()) {
                ++count;
            }
        }
        devices->CloseDevice(handle);
    }
    return count;
}

std::uint8_t SerialPort::LookupPortNumber(std::uint16_t vid, std::uint16_t pid,
                                          std::string& serial) {
    PortNameSource* names = m_pNames ? m_pNames : &SystemSources();
    const std::string value = LookupPortValue(*names, vid, pid, serial);
    return value.empty() ? kPortNotFound : ParsePortNumber(value);
}

}  // namespace vark
