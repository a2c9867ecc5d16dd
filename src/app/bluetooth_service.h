// Keypilot's own Bluetooth service: a second way for the phone to reach Keypilot, beside the COM
// port, that needs no port made in Windows' settings. Switched on by the user (off until then),
// it publishes an RFCOMM service record of Keypilot's class, named "Keypilot", on a channel the
// system picks, and lets in one phone at a time: a phone the user allowed goes straight in, one
// the user refused is closed at once, and one never seen waits (state Asking) until the user
// answers; a second phone while one is in or waiting is closed at once, and the first goes on
// undisturbed. A phone that is in is a phone there: the state says so from its accept to its
// close, exactly.
//
// Every socket call runs on a thread of the service's own, through the BluetoothApi table; what
// it has to tell comes to the main thread in order (a state, a chunk received, a write's
// outcome), through onChange, onChunk and the carrier's onSent. When the system refuses the
// service (no radio, the radio off, another maker's stack, a refused record), the state is
// Unavailable with the reason, and the service tries again when a radio arrives and every
// retryIntervalMs while it is down, at no other time. A record is withdrawn when the service
// stops, when its radio goes, and when Keypilot ends.
//
// What goes to the phone is written by the same thread, at most one write under way and only the
// newest bytes waiting, as on the COM port. A write the phone has not taken within
// phonelink::kWriteTimeoutMs is given up, and the connection is closed with it: a socket cannot
// take back half a line, and a phone that still runs connects again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/bluetooth_api.h"
#include "app/ui_text.h"
#include "framework/owned_window.h"
#include "link/carrier.h"

namespace app {

struct BluetoothPhone {
    std::uint64_t address = 0;
    // What the radio calls it; empty when it does not know.
    std::wstring name;
};

// The address as the system writes it: "AA:BB:CC:DD:EE:FF".
std::wstring bluetoothAddressText(std::uint64_t address);

class BluetoothService final : public phonelink::Carrier {
  public:
    enum class State {
        // Not switched on; available() tells what a probe found.
        Off,
        // Switched on: the socket and the record are being made.
        Starting,
        // Switched on, and the system refused: problem() says why.
        Unavailable,
        // The record is published; no phone is in.
        Listening,
        // A phone never allowed or refused waits for the user's answer.
        Asking,
        // A phone is in: its bytes are the link's.
        Connected,
    };

    // Why the service cannot run, in the user's words.
    static constexpr const wchar_t* kNoSockets =
        uiText(L"Windows не даёт сокетов Bluetooth: нет адаптера Bluetooth или у него стек "
               L"другого производителя");
    static constexpr const wchar_t* kRadioOff =
        uiText(L"радио Bluetooth выключено или отсутствует");
    static constexpr UINT kRetryIntervalMs = 30000;

    // api: the calls (the system's, or a test's stand-in); retryIntervalMs: how long a service
    // that is down waits before its next try. Makes the window the thread reports to; raises when
    // it cannot.
    explicit BluetoothService(std::shared_ptr<BluetoothApi> api,
                              UINT retryIntervalMs = kRetryIntervalMs);
    // Stops the service: the record is withdrawn and the sockets closed before it returns.
    ~BluetoothService() override;
    BluetoothService(const BluetoothService&) = delete;
    BluetoothService& operator=(const BluetoothService&) = delete;

    // The user's switch. On: the service starts now, and keeps trying while it is down. Off: the
    // record goes and a phone in is let go.
    void switchOn();
    void switchOff();
    bool switchedOn() const { return on_; }
    // While off: finds out, off the main thread, whether the service could run here (a socket
    // made and bound, then closed; nothing published). onChange follows.
    void probe();
    // A Bluetooth radio arrived: a service that is down tries at once (a probe that found none is
    // made again). One that left: a running service starts afresh, its record withdrawn, since
    // the record and the phone went with the radio.
    void radioArrived();
    void radioLeft();
    // The phones the user allowed and refused, by address; taken for the next connection.
    void setPhones(std::set<std::uint64_t> allowed, std::set<std::uint64_t> refused);
    // The user's answer for the phone that asks: let in, or closed.
    void answer(bool allow);

    State state() const { return state_; }
    // While off: what the last probe found; nothing before one ends.
    std::optional<bool> available() const { return available_; }
    // Why the service is down, or why a probe found it could not run; empty otherwise.
    const std::wstring& problem() const { return problem_; }
    // The phone that asks or is in.
    const std::optional<BluetoothPhone>& phone() const { return phone_; }

    // To the phone that is in; reported as failed when none is.
    void send(std::string bytes) override;

    // Main thread, for each chunk the phone that is in sends, in order.
    std::function<void(const std::string& chunk)> onChunk;
    // Main thread: the phone that was in has gone (before onChange tells the new state).
    std::function<void()> onPhoneGone;
    // Main thread: the state, the phone or the problem changed.
    std::function<void()> onChange;

  private:
    class Session;
    struct Notice;
    friend LRESULT CALLBACK framework::ownedWindowProcedure<BluetoothService>(HWND, UINT, WPARAM,
                                                                              LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void start(bool serve);
    // Ends the session; what it had not told yet is dropped, save a write's outcome.
    void stop();
    void takeNotices();
    void apply(const Notice& notice);
    void sent(bool ok);
    static std::wstring reasonOf(int error);

    // Receives the thread's news; goes after the session, whose thread posts to it.
    framework::OwnedWindow window_;
    std::shared_ptr<BluetoothApi> api_;
    UINT retryIntervalMs_;
    std::unique_ptr<Session> session_;
    // Tells this session's news from that of one ended since, which is dropped.
    WPARAM generation_ = 0;
    bool on_ = false;
    bool taking_ = false;
    // A write was started and its outcome has not come.
    bool awaitingOutcome_ = false;
    std::set<std::uint64_t> allowed_;
    std::set<std::uint64_t> refused_;

    State state_ = State::Off;
    std::optional<bool> available_;
    std::wstring problem_;
    std::optional<BluetoothPhone> phone_;
};

}  // namespace app
