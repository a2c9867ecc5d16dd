// The port catalogue as last read, for the windows that show it. Reading it asks the registry,
// the device names, SetupAPI twice, a device key per port and the Bluetooth stack, which can take
// long: each read runs on a thread of its own, and the list kept here is replaced on the main
// thread once the read is done. Reads are asked for when a window that shows the ports opens and
// when Windows says a port arrived or left, never on a timer.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>

#include "framework/background_call.h"
#include "framework/handle.h"
#include "framework/owned_window.h"
#include "ports/port_catalogue.h"

namespace app {

class KeptPorts {
  public:
    // Reads nothing yet. The sources are called on the reading threads, one read at a time; a
    // thread may outlive this object, so they hold whatever they use.
    explicit KeptPorts(ports::PortSources sources);
    KeptPorts(const KeptPorts&) = delete;
    KeptPorts& operator=(const KeptPorts&) = delete;

    // Runs on the main thread after each read, with the new list kept.
    std::function<void()> onRead;

    // Starts a read. One asked for while another runs follows it: the running one may have
    // missed the change that was announced. No thread to be had now: the list stays as it is.
    void read();
    // The list of the last read; nothing before the first has come.
    const ports::PortList* ports() const { return read_ ? &ports_ : nullptr; }
    bool reading() const { return call_ != nullptr; }

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<KeptPorts>(HWND, UINT, WPARAM, LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void onReadDone();

    ports::PortSources sources_;
    ports::PortList ports_{};
    bool read_ = false;
    bool again_ = false;
    framework::OwnedWindow window_;
    using ReadCall = framework::BackgroundCall<std::optional<ports::PortList>>;
    // Goes before the window, which it posts to.
    std::unique_ptr<ReadCall> call_;
};

}  // namespace app
