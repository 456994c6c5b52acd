// SerialPort: the channel to the tester. It owns the serial line, a worker
// thread that does every read and write on it, the event that wakes the
// worker and the 24,901-byte receive area into which an upload lands.
//
// Use (all on the owner's thread): Discover(owner) or SetOwner + SetPortName,
// StartLink, SendRequest(COMM_CMD_UPLOAD) per upload, StopLink before a new
// discovery and when done (the destructor stops the link too). Results are 1
// for success and 0 for failure, as the owner expects them.
//
// Notifications reach the owner on its own thread (serial_owner.h):
// OnCommError synchronously from SendRequest, or from the worker (code 3 for
// a reply that announces more than 100 records); OnCommProgress and
// OnCommReceived from the worker, which waits until the owner has run them.
// RxBlock() may be read only inside OnCommReceived. The receive timer is armed
// by SendRequest, re-armed by the worker after the write and after every read
// and cancelled by it when the receive phase ends; both go through the owner's
// thread.
//
// Stopping: StopLink clears the busy flag, posts the quit message, wakes the
// worker, cancels a notification the worker may be waiting on and waits for
// the worker to close the line and end, at most 800 ms; it returns as soon as
// the worker has ended. A worker held up longer in the line itself is joined
// by the next StartLink or by the destructor: no worker outlives its
// SerialPort.
// The owner must outlive the link: stop it (or destroy the SerialPort) before
// the owner goes away.
//
// Ports: a platform names a port either by its number m_nPortNo ("\\.\COM5")
// or by a device node (PortName(), "/dev/ttyUSB0") found by the same
// discovery rules from the system's device list (SystemPortNaming()).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "device/auto_reset_event.h"
#include "device/comm_defs.h"
#include "device/discovery.h"
#include "device/serial_line.h"
#include "device/serial_owner.h"
#include "device/thread_messages.h"
#include "records/record_block.h"

namespace vark {

class SerialPort {
  public:
    static constexpr std::intptr_t kInvalidThread = -1;

    // The platform's serial line and, for discovery, the platform's sources.
    SerialPort();
    explicit SerialPort(std::unique_ptr<SerialLine> line, PortNaming naming = SystemPortNaming());
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Part of the link.
    int StartLink();
    int OpenPort();
    int ConfigurePort();
    int ClosePort();
    int StopLink();
    void SetBusy(int value);

    // Requests.
    int SendRequest(int code);
    // Builds the frame of `code` at `buf`; returns its length (0 for codes
    // without a frame).
    static std::size_t BuildCommand(int code, std::uint8_t* buf);
    // The checksum pass over the received records.
    void CheckRecords();

    // Discovery: sets the owner, clears the port and walks the bridge devices.
    bool Discover(SerialOwner* owner);
    unsigned EnumerateDevices();
    // `serial` is changed in place (spaces become "_").
    std::uint8_t LookupPortNumber(std::uint16_t vid, std::uint16_t pid, std::string& serial);

    // Sources used by Discover; null restores the platform's. Not owned.
    void SetDiscoverySources(BridgeDeviceSource* devices, PortNameSource* names);
    void SetOwner(SerialOwner* owner) { m_pOwner = owner; }
    // Names the port directly (a device given on a command line, a test's pty).
    void SetPortName(std::string device) { m_strPortName = std::move(device); }
    // Names a COM port by number (a port given on a command line).
    void SetPortNo(std::uint8_t number) { m_nPortNo = number; }

    // Read by the owner.
    SerialOwner* Owner() const { return m_pOwner; }
    std::uint8_t PortNo() const { return m_nPortNo; }
    const std::string& PortName() const { return m_strPortName; }
    // What the device caption shows after "Port:": the number or the node.
    std::string PortLabel() const;
    // "Kelvor VARK-u  Port:<label>".
    std::string DeviceCaption() const;
    PortNaming Naming() const { return m_naming; }
    const RecordBlock& RxBlock() const { return m_RxBlock; }
    std::uint8_t RecCount() const { return m_nRecCount; }
    bool LinkUp() const { return m_hThread.load() != kInvalidThread; }
    bool Busy() const { return m_bBusy.load() != 0; }
    std::uint32_t ThreadId() const { return m_dwThreadId.load(); }
    int Timeout() const { return m_nTimeout; }

  private:
    SystemDeviceSources& SystemSources();
    void WorkerMain();
    void HandleRequest(int code);
    // Runs `fn` on the owner's thread and waits for it; false when the link
    // is being stopped (then the request must be left at once).
    template <class F>
    bool Notify(F&& fn);

    SerialOwner* m_pOwner = nullptr;
    std::unique_ptr<SerialLine> m_hComm;
    std::uint8_t m_nPortNo = 0;
    RecordBlock m_RxBlock{};
    std::uint8_t m_nRecCount = 0;
    std::atomic<std::uint32_t> m_dwThreadId{0};
    int m_nTimeout = 0;
    std::atomic<std::intptr_t> m_hThread{kInvalidThread};
    std::atomic<int> m_bBusy{0};
    std::atomic<int> m_bRunning{0};
    std::uint8_t* m_pBuf;
    AutoResetEvent m_hWakeEvent;

    // What the Windows program got from the system: the thread's message
    // queue, the joinable thread, the synchronous sends, the port's name.
    ThreadMessageQueue m_queue;
    std::thread m_worker;
    // Set by the worker as it ends, so StopLink returns as soon as it has.
    std::mutex m_endMutex;
    std::condition_variable m_endSignal;
    bool m_bWorkerEnded = false;
    OwnerHandOff m_handOff;
    std::string m_strPortName;
    PortNaming m_naming;
    BridgeDeviceSource* m_pDevices = nullptr;
    PortNameSource* m_pNames = nullptr;
    std::unique_ptr<SystemDeviceSources> m_system;  // made on first use
};

}  // namespace vark
