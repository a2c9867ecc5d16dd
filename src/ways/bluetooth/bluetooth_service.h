// Keypilot's own Bluetooth service: a second way for the phone to reach Keypilot, beside the COM
// port, that needs no port made in Windows' settings. Switched on by the user (off until then),
// it publishes an RFCOMM service record of Keypilot's class, named "Keypilot", on a channel the
// system picks, and lets in one phone at a time: a phone the user allowed goes straight in, one
// the user refused is closed at once, and one never seen waits (state Asking) until the user
// answers, at most askTimeoutMs, after which it is let go and asked about again the next time.
// What it sends while it waits is dropped, never acted on after the answer. Waiting gives it no
// place of its own: a phone the user allowed that comes meanwhile is let in and the waiting one
// let go; any other phone while one is in or waiting is closed at once, and the first goes on
// undisturbed.
//
// Every Winsock call is made on the service's own thread (bluetooth_thread.h), since each may wait
// on the radio; this object is its face on the UI thread, where its whole API and every callback
// run. Switching on starts the thread (state Starting until it has published the record or been
// refused), switching off stops it, which withdraws the record there; the state shown here is
// what the thread last reported, save that the user's own switch and answer show at once. When
// the system refuses the service (no radio, the radio off, another maker's stack, a refused
// record), the state is Unavailable with the reason, and the service tries again when a radio
// arrives and every retryIntervalMs while it is down, at no other time. The record is withdrawn
// when the service stops, when its radio goes, and when Keypilot ends, whose end waits for that
// at most kStopWaitMs.
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
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "framework/owned_window.h"
#include "i18n/ui_text.h"
#include "link/carrier.h"
#include "ports/port_change_notice.h"
#include "ways/bluetooth/bluetooth_api.h"
#include "ways/bluetooth/bluetooth_thread.h"
#include "ways/way_carrier.h"

namespace app {

// The address as Windows writes it: "AA:BB:CC:DD:EE:FF".
std::wstring bluetoothAddressText(std::uint64_t address);

class BluetoothService final : public WayCarrier {
  public:
    using State = BluetoothState;

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
    // How long a phone waits for the user's answer.
    static constexpr UINT kAskTimeoutMs = 60000;
    // How long the service's end waits for its threads to withdraw the record and let go.
    static constexpr DWORD kStopWaitMs = 2000;

    // api: the calls (the system's, or a test's stand-in), made on the service's threads only;
    // retryIntervalMs: how long a service that is down waits before its next try;
    // writeTimeoutMs: how long a write may take; askTimeoutMs: how long a phone waits for the
    // user's answer. Makes the window the threads report to; raises when it cannot.
    explicit BluetoothService(std::shared_ptr<BluetoothApi> api,
                              UINT retryIntervalMs = kRetryIntervalMs,
                              UINT writeTimeoutMs = phonelink::kWriteTimeoutMs,
                              UINT askTimeoutMs = kAskTimeoutMs);
    // Stops the service, and waits at most kStopWaitMs for the record to be withdrawn and the
    // sockets closed; a radio that holds them longer does not hold Keypilot's end.
    ~BluetoothService() override;
    BluetoothService(const BluetoothService&) = delete;
    BluetoothService& operator=(const BluetoothService&) = delete;

    HWND handle() const { return window_.get(); }

    // The user's switch. On: the service's thread starts, and keeps trying while the service is
    // down. Off: the phone in is let go at once, and the thread withdraws the record and ends.
    void switchOn();
    void switchOff();
    bool switchedOn() const { return state_ != State::Off; }
    // While off: finds out, on a thread of its own, whether the service could run here (a socket
    // made and bound, then closed; nothing published), as available() and problem() then say.
    // onChange follows once it is known. A probe under way is not started again.
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
    // The user's answer for the phone that asks: let in (what it sends from now on is the
    // link's), or closed; either is remembered for the next time it connects.
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

    // onChunk: for each chunk the phone that is in sends, in order; never inside itself (the
    // next chunk is not even read before it returns). An error it raises passes on to the
    // window procedure's guard, and the phone is read on. onEnded: the phone that was in has
    // gone (before onChange tells the new state). onChange: the state, the phone or the problem
    // changed.

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<BluetoothService>(HWND, UINT, WPARAM,
                                                                              LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    std::unique_ptr<BluetoothThread> startThread(BluetoothThread::Task task);
    // The thread that serves the service starts, or the service is down saying why not.
    void start();
    // The running thread stops, and is kept until it has reported its last outcomes.
    void stopThread();
    // The reports of the thread with this id, in order.
    void takeReports(WPARAM id);
    BluetoothThread* threadOf(WPARAM id);
    void apply(BluetoothThread& thread, BluetoothReport& report);
    void deliver(WPARAM id, const BluetoothReport& report);
    void finished(WPARAM id, int error);
    // The state is now this; the phone that was in has gone when it is no longer in.
    void become(State state, std::wstring problem, std::optional<BluetoothPhone> phone,
                std::uint64_t generation);
    // Posts a send's outcome, which onSent hears on a later turn of the message loop.
    void tell(phonelink::SendOutcome outcome);
    void changed();
    std::wstring reasonOf(int error) const;

    // Receives the threads' reports; goes after everything that may post to it.
    framework::OwnedWindow window_;
    std::optional<ports::PortChangeRegistration> radioNotices_;
    std::shared_ptr<BluetoothApi> api_;
    std::shared_ptr<BluetoothNames> names_ = std::make_shared<BluetoothNames>();
    BluetoothTimings timings_;
    // The thread serving the service while it is switched on, one finding out whether it could,
    // and those stopped that still have outcomes to report.
    std::unique_ptr<BluetoothThread> running_;
    std::unique_ptr<BluetoothThread> probing_;
    std::vector<std::unique_ptr<BluetoothThread>> stopping_;
    WPARAM threads_ = 0;
    // The user's answers, numbered: the running thread's state reports from before it served the
    // last one are stale.
    std::uint64_t answers_ = 0;
    // The phone's, as the running thread last reported it.
    std::uint64_t generation_ = 0;
    std::set<std::uint64_t> allowed_;
    std::set<std::uint64_t> refused_;

    State state_ = State::Off;
    std::optional<bool> available_;
    std::wstring problem_;
    std::optional<BluetoothPhone> phone_;
};

}  // namespace app
