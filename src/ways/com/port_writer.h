// What Keypilot sends the phone over the COM port. Each open port has a writer thread of its own,
// so that a write never runs on the main thread and never holds up reading: a Bluetooth port can
// accept a write and never finish it once the phone has gone. A write not done within
// phonelink::kWriteTimeoutMs (its own wait, not the port's write time-outs, which allow far
// longer) is cancelled and reported as given up. Only the latest bytes wait: a send while a write
// is under way replaces whatever had not started yet, so a phone that cannot keep up never grows
// a queue. Every send's outcome is posted to the main thread, where onSent runs: a write ended by
// the port's close is reported as closed, never dropped. The main thread never waits for the
// writer: a stopped writer thread ends its write and itself on its own, holding its share of the
// device until then, so that the device is not closed under a write the driver still holds.
//
// Raises nothing once made: a writer that cannot run (no thread, no port) reports every send as
// failed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "framework/handle.h"
#include "framework/owned_window.h"
#include "link/carrier.h"

namespace serial {
class CommApi;
class PortDevice;
}  // namespace serial

namespace app {

class PortWriter : public phonelink::Carrier {
  public:
    // How long the writer waits for the driver to end a write it was asked to cancel. A driver
    // that honours the cancel ends it at once; one that does not must not hold the close.
    static constexpr DWORD kCancelWaitMs = 1000;

    // Makes the window that receives the outcomes; raises when it cannot.
    PortWriter();
    ~PortWriter() override;
    PortWriter(const PortWriter&) = delete;
    PortWriter& operator=(const PortWriter&) = delete;

    // The port has opened on device: its writer thread starts. One still running for an earlier
    // device is stopped first.
    void start(std::shared_ptr<serial::CommApi> api,
               std::shared_ptr<serial::PortDevice> device) noexcept;
    // The port's close has begun: the writer thread is told to end; a write under way is
    // cancelled and bytes not started are dropped, their sends ending as closed. The thread lets
    // go of the device once the driver has ended the write, or after about kCancelWaitMs for a
    // driver slow to cancel. Returns at once; sends from now on fail.
    void stop() noexcept;
    bool running() const { return session_ != nullptr; }

    void send(std::string bytes) override;

    // The bytes the writer holds: those waiting to start and those under way (for the figures of
    // what a flood of sends costs).
    std::size_t heldBytes() const;

  private:
    class Session;
    friend LRESULT CALLBACK framework::ownedWindowProcedure<PortWriter>(HWND, UINT, WPARAM, LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // Receives the outcomes; goes after the session, whose thread posts to it.
    framework::OwnedWindow window_;
    // Shared with its thread, which lets go of it last.
    std::shared_ptr<Session> session_;
};

}  // namespace app
