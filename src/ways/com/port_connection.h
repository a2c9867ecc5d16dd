// The link to the phone: the serial port with the link's fixed line settings, whether the user
// wants it open, and why it is not when it should be. A port that should be open and is not (it
// could not be opened, or the link dropped and the port closed) is tried again every few status
// ticks, silently, one try at a time. Every open is a try, the user's own (OK, "Listen on", the
// start) as well: the device calls (the open and the device's set-up) run on a thread of its own,
// since a Bluetooth driver may hold them for seconds, and the port takes the device on the main
// thread; a failure shows in the tray tip. A close leaves its slow part (the writer's and the
// event thread's ends, the purge, the device's close) to a thread of its own too: the port reads
// closing from its start, when the phone's bytes stop counting, and closed once the device is; an
// open waits for that, since Windows refuses a second open of a port while its first handle
// lives. Each chunk received is read here and handed to onChunk. What goes back to the phone is
// written by the open port's writer thread.
//
// As a way in: the port open is the link open, never a phone there (an incoming Bluetooth port
// opens with no phone anywhere near): only the phone's bytes tell that it is there. The port's
// close, by the user or by itself, ends the connection with whoever was on it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "framework/handle.h"
#include "framework/owned_window.h"
#include "i18n/ui_text.h"
#include "serial/serial_port.h"
#include "ways/com/background_open.h"
#include "ways/com/port_writer.h"
#include "ways/way_carrier.h"

namespace app {

class PortConnection final : public WayCarrier {
  public:
    // Status ticks between two tries to open a port that should be open and is not.
    static constexpr int kReconnectTicks = 2;
    // Why a port that was open is not: it closed by itself.
    static constexpr const wchar_t* kLinkLost = uiText(L"связь потеряна");
    // Why a port could not be opened: no such port exists.
    static constexpr const wchar_t* kPortNotPresent = uiText(L"отсутствует");
    // Why a port that was open is not: Keypilot's own handling of a chunk failed. %s: the
    // error's text.
    static constexpr const wchar_t* kOwnFailure = uiText(L"сбой в Keypilot: %s");

    // How long the connection's end waits for a close under way (see ~PortConnection).
    static constexpr DWORD kEndCloseWaitMs = 3000;

    enum class PortState { Closed, Open, Closing };

    // Sets the line settings (9600 baud, 8 data bits, no parity, 1 stop bit, no flow control,
    // every event) and names COM1; nothing is opened.
    PortConnection();
    // Closes the port and waits for the close, at most kEndCloseWaitMs: a driver that holds it
    // longer finishes it on its own thread.
    ~PortConnection() override;
    PortConnection(const PortConnection&) = delete;
    PortConnection& operator=(const PortConnection&) = delete;

    // onChunk runs on the main thread for each chunk read from the port. An error it raises ends
    // the port's event thread, and the port closes and is tried again as after a lost link; but
    // failure() names the error as Keypilot's own, with its text. A read that fails is a lost
    // link.

    serial::SerialPort& port() { return port_; }
    // The port's writer, for the figures of what it holds.
    const PortWriter& writer() const { return writer_; }

    // To the phone through the open port's writer; sends while no port is open fail.
    void send(std::string bytes) override;
    // Open while the port is open and no close has begun.
    CarrierState carrierState() const override;
    // The port's name.
    std::wstring wayName() const override { return port_.port(); }
    bool wanted() const override { return wanted_ && portNamed(); }
    // failure().
    std::optional<std::wstring> stateText() const override { return failure(); }
    // Open, and no close has begun.
    bool connected() const { return open(); }
    // Closing from the start of a close until its device is closed.
    PortState portState() const;

    // The user's switch (OK): a port open under this name, or that the user is having opened
    // under it, closes; otherwise the port is to be open under this name, as keepOpen.
    void toggle(const std::wstring& name);
    // "Listen on": the port takes the name and is to be open. Open under that name, or being
    // opened at the user's request, it stays as it is; otherwise what is open closes, a try in
    // progress is let go of, and the user's try starts.
    void keepOpen(const std::wstring& name);
    // Whether a try the user asked for is in progress.
    bool opening() const { return try_ && tryAsked_; }
    // One status tick: a port that should be open is tried again every kReconnectTicks ticks
    // while mayTry holds (not in the middle of a command, which decides the port's state itself).
    void tick(bool mayTry);
    // Why the port the user wants open is not: the last open's failure (in plain words when the
    // port does not exist), Keypilot's own error that closed it, or that the link was lost. Nothing
    // when the port is open or closing, the user closed it or no port is named. While a try is in
    // progress the last reason under that port's name stands; the user's first try on a name has
    // none yet.
    std::optional<std::wstring> failure() const;
    // Lets go of the port now, dropping a failure to close, with no more chunks delivered; a try
    // in progress is let go of. The close goes on on its own thread.
    void close() noexcept;
    // Waits, serving the hand-overs to the main thread, at most timeoutMs for a close under way;
    // true when none is under way any more.
    bool waitUntilClosed(DWORD timeoutMs) { return port_.waitForClose(timeoutMs); }

  private:
    // What the tray tip says of a failed open.
    static std::wstring reasonOf(const std::exception& e);
    friend LRESULT CALLBACK framework::ownedWindowProcedure<PortConnection>(HWND, UINT, WPARAM,
                                                                            LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    bool portNamed() const;
    bool open() const { return port_.connected() && !closing_; }
    // Names the port; one open, or being tried, under another name is closed or let go of first.
    void choosePort(const std::wstring& name);
    // The user's close: nothing is tried until the user asks again.
    void stop();
    void noteFailure(const std::exception& e);
    void changed();
    void startTry(bool asked);
    void onTryDone(WPARAM id);
    void receiveChunk(int32_t count);

    // Runs while the port is open: started by the port's onAfterOpen and stopped by its
    // onBeforeClose, which are the connection's. Made before the port, so that it is still there
    // when the port's destructor closes it.
    PortWriter writer_;
    serial::SerialPort port_;
    bool wanted_ = false;
    // From the port's onBeforeClose to its onAfterClose.
    bool closing_ = false;
    int ticksSinceTry_ = 0;
    // Why the port is not open: the last open's failure, or Keypilot's own error that closed it.
    // Empty after a successful open, so a port that closes by itself has lost its link.
    std::wstring failure_;
    // Receives the news that a try's device call is done.
    framework::OwnedWindow window_;
    // Goes before the window, which it posts to.
    std::unique_ptr<BackgroundOpen> try_;
    WPARAM tryId_ = 0;
    // Whether the try in progress is the user's.
    bool tryAsked_ = false;
};

}  // namespace app
