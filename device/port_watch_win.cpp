// The watch on Windows: notices of the COM port interface arriving and
// leaving (RegisterDeviceNotification), taken by a message-only window on
// the watch's own thread. A port that Windows announces is ready: Plug and
// Play has finished with it.
#include <windows.h>

#include <dbt.h>

#include <thread>

#include "device/port_watch.h"

namespace vark {
namespace {

// The COM port device interface class, {86E0D1E0-8089-11D0-9CE4-08003E301F73}.
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr wchar_t kWindowClass[] = L"VarkPortWatch";

class NotificationPortWatch : public PortWatch {
  public:
    explicit NotificationPortWatch(Listener listener) : teller_(std::move(listener)) {}
    ~NotificationPortWatch() override {
        if (thread_.joinable()) {
            ::PostMessageW(window_, WM_CLOSE, 0, 0);
            thread_.join();
        }
    }

    bool Start() {
        // The window is made on the watch's thread, which then takes its messages.
        HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!ready) {
            return false;
        }
        thread_ = std::thread([this, ready] { Run(ready); });
        ::WaitForSingleObject(ready, INFINITE);
        ::CloseHandle(ready);
        if (!window_) {
            thread_.join();
            return false;
        }
        return true;
    }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self =
            reinterpret_cast<NotificationPortWatch*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_DEVICECHANGE && self &&
            (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
            const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
            // Only ports count (the interface of COM ports, or a port by name).
            if (header && (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE ||
                           header->dbch_devicetype == DBT_DEVTYP_PORT)) {
                self->Deliver();
            }
            return TRUE;
        }
        if (message == WM_CLOSE) {
            ::DestroyWindow(hwnd);
            return 0;
        }
        if (message == WM_DESTROY) {
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    void Run(HANDLE ready) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        ::RegisterClassExW(&wc);  // already registered by an earlier watch is fine
        HWND hwnd = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      wc.hInstance, nullptr);
        HDEVNOTIFY notify = nullptr;
        if (hwnd) {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = kComPortInterface;
            notify = ::RegisterDeviceNotificationW(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            if (!notify) {
                ::DestroyWindow(hwnd);
                hwnd = nullptr;
            }
        }
        window_ = hwnd;
        ::SetEvent(ready);
        if (!hwnd) {
            return;
        }
        Deliver();  // listening already: the first listing misses nothing
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::UnregisterDeviceNotification(notify);
    }

    void Deliver() {
        PortSnapshot snapshot;
        snapshot.ports = ListBridgePorts();
        teller_.Tell(snapshot);
    }

    SnapshotTeller teller_;  // watch thread only
    std::thread thread_;
    HWND window_ = nullptr;
};

}  // namespace

std::unique_ptr<PortWatch> StartPortWatch(PortWatch::Listener listener) {
    auto watch = std::make_unique<NotificationPortWatch>(std::move(listener));
    if (!watch->Start()) {
        return nullptr;
    }
    return watch;
}

}  // namespace vark
