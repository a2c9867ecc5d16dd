// Keypilot's own Bluetooth service: a second way for the phone to reach Keypilot, beside the COM
// port, that needs no port made in Windows' settings. Switched on by the user (off until then),
// it publishes an RFCOMM service record of Keypilot's class, named "Keypilot", on a channel the
// system picks, and lets in one phone at a time: a phone the user allowed goes straight in, one
// the user refused is closed at once, and one never seen waits (state Asking, its bytes left
// unread) until the user answers; a second phone while one is in or waiting is closed at once,
// and the first goes on undisturbed. A phone that is in is a phone there: the state says so from
// its accept to its close, exactly.
//
// Every socket is non-blocking and tells of itself through window messages (WSAAsyncSelect), so
// the service lives on the main thread with no thread of its own. When the system refuses the
// service (no radio, the radio off, another maker's stack, a refused record), the state is
// Unavailable with the reason, and the service tries again when a radio arrives and every
// retryIntervalMs while it is down, at no other time. The record is withdrawn when the service
// stops, when its radio goes, and when Keypilot ends.
//
// What goes to the phone follows the carrier's rules: at most one write under way and only the
// newest bytes waiting, and every send gets its outcome. A write the phone has not taken within
// writeTimeoutMs is given up and the connection stays, as the COM port stays open: the phone's
// presses may still be coming. A phone that goes takes the writes under way with it (closed).
//
// As a way in: a phone let in is a phone there, from its accept to its close, whether it speaks or
// not; the service listening, or a phone waiting for the user's answer, is the way open with no
// phone yet. A phone's close ends the connection with it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "framework/owned_window.h"
#include "i18n/ui_text.h"
#include "link/carrier.h"
#include "ports/port_change_notice.h"
#include "ways/bluetooth/bluetooth_api.h"
#include "ways/way_carrier.h"

namespace app {

struct BluetoothPhone {
    std::uint64_t address = 0;
    // What the radio calls it; empty when it does not know.
    std::wstring name;
};

// The address as Windows writes it: "AA:BB:CC:DD:EE:FF".
std::wstring bluetoothAddressText(std::uint64_t address);

class BluetoothService final : public WayCarrier {
  public:
    enum class State {
        // Not switched on; available() tells what a probe found.
        Off,
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
        uiText(L"Windows не даёт сокетов Bluetooth: нет адаптера или стек не от Microsoft");
    static constexpr const wchar_t* kRadioOff = uiText(L"радио Bluetooth выключено или отключено");
    // %s: the system's error number.
    static constexpr const wchar_t* kRefused = uiText(L"Windows отказал (ошибка %s)");
    // What the tip says after "Keypilot - Bluetooth: " while a phone is in. %s: its name, or its
    // address when the radio does not know it.
    static constexpr const wchar_t* kPhoneIn = uiText(L"подключен телефон %s");
    // After "Keypilot - Bluetooth: " while a phone waits for the user's answer.
    static constexpr const wchar_t* kPhoneAsks =
        uiText(L"телефон %s просит подключения, ответьте в окне «Подключение телефона»");
    static constexpr UINT kRetryIntervalMs = 30000;

    // api: the calls (the system's, or a test's stand-in); retryIntervalMs: how long a service
    // that is down waits before its next try; writeTimeoutMs: how long a write may take. Makes
    // the window the sockets report to; raises when it cannot.
    explicit BluetoothService(std::shared_ptr<BluetoothApi> api,
                              UINT retryIntervalMs = kRetryIntervalMs,
                              UINT writeTimeoutMs = phonelink::kWriteTimeoutMs);
    // Stops the service: the record is withdrawn and the sockets closed.
    ~BluetoothService() override;
    BluetoothService(const BluetoothService&) = delete;
    BluetoothService& operator=(const BluetoothService&) = delete;

    HWND handle() const { return window_.get(); }

    // The user's switch. On: the service starts now, and keeps trying while it is down. Off: the
    // record goes and a phone in is let go.
    void switchOn();
    void switchOff();
    bool switchedOn() const { return state_ != State::Off; }
    // While off: finds out whether the service could run here (a socket made and bound, then
    // closed; nothing published), as available() and problem() then say. onChange follows.
    void probe();
    // A Bluetooth radio arrived: a service that is down tries at once. One left: a running
    // service withdraws its record and lets its phone go, since both went with the radio, and is
    // down until a radio comes back. Windows tells the service's own window of both.
    void radioArrived();
    void radioLeft();
    // The phones the user allowed and refused, by address.
    void setPhones(std::set<std::uint64_t> allowed, std::set<std::uint64_t> refused);
    const std::set<std::uint64_t>& allowedPhones() const { return allowed_; }
    const std::set<std::uint64_t>& refusedPhones() const { return refused_; }
    // The user's answer for the phone that asks: let in (its bytes come now), or closed; either
    // is remembered for the next time it connects.
    void answer(bool allow);

    State state() const { return state_; }
    // Whether a phone is in.
    bool connected() const { return state_ == State::Connected; }
    // While off: what the last probe found; nothing before one.
    std::optional<bool> available() const { return available_; }
    // Why the service is down, or why a probe found it could not run; empty otherwise.
    const std::wstring& problem() const { return problem_; }
    // The phone that asks or is in.
    const std::optional<BluetoothPhone>& phone() const { return phone_; }

    // To the phone that is in; fails when none is.
    void send(std::string bytes) override;
    // Phone while a phone is in, open while listening or asking.
    CarrierState carrierState() const override;
    std::wstring wayName() const override { return L"Bluetooth"; }
    bool wanted() const override { return switchedOn(); }
    // The phone in or asking, or why the service is down.
    std::optional<std::wstring> stateText() const override;
    bool asksUser() const override { return state_ == State::Asking; }

    // onChunk: for each chunk the phone that is in sends, in order; never inside itself (a chunk
    // that comes while one is handled waits for it). onEnded: the phone that was in has gone
    // (before onChange tells the new state). onChange: the state, the phone or the problem
    // changed.

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<BluetoothService>(HWND, UINT, WPARAM,
                                                                              LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    bool startup();
    // Makes the listening socket and publishes the record; down with the reason when it cannot.
    void start();
    // Withdraws the record, lets the phone go and closes the listening socket.
    void withdraw();
    void down(const std::wstring& reason);
    void onListenerEvent(int event, int error);
    void onPhoneEvent(int event, int error);
    void acceptPhone();
    void letIn();
    // One receive from the phone, handed to onChunk.
    void readPhone();
    // Lets the phone go; wasIn: it had been let in, and its connection ends.
    void dropPhone(bool wasIn);
    void startWrite(std::string bytes);
    void writeSome();
    void endWrite(phonelink::SendOutcome outcome);
    // Posts a send's outcome, which onSent hears on a later turn of the message loop.
    void tell(phonelink::SendOutcome outcome);
    void changed();
    std::wstring reasonOf(int error) const;

    // Receives the sockets' news; goes after everything that may post to it.
    framework::OwnedWindow window_;
    std::optional<ports::PortChangeRegistration> radioNotices_;
    std::shared_ptr<BluetoothApi> api_;
    UINT retryIntervalMs_;
    UINT writeTimeoutMs_;
    bool started_ = false;
    BluetoothSocket listener_ = kNoSocket;
    BluetoothEndpoint endpoint_;
    bool published_ = false;
    BluetoothSocket phoneSocket_ = kNoSocket;
    // Tells one phone's news and outcomes from those of a phone gone since, which are dropped.
    WPARAM phoneGeneration_ = 0;
    // A chunk is being handled, and the phone has said more meanwhile, or has closed.
    bool delivering_ = false;
    bool readWaiting_ = false;
    bool phoneClosing_ = false;
    // The write under way (what is left of it) and the bytes waiting after it.
    std::string writing_;
    std::optional<std::string> waiting_;
    // A write to this phone did not all go: the next starts with a line end.
    bool cut_ = false;
    std::set<std::uint64_t> allowed_;
    std::set<std::uint64_t> refused_;

    State state_ = State::Off;
    std::optional<bool> available_;
    std::wstring problem_;
    std::optional<BluetoothPhone> phone_;
};

}  // namespace app
