// Keypilot's own Bluetooth service as its thread runs it (bluetooth_thread.h): the listening
// socket and the record, the phone in or asked about, its reads and writes. Everything here
// happens on that thread, and everything it has to say goes to the UI thread as reports.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "framework/handle.h"
#include "link/carrier.h"
#include "ways/bluetooth/bluetooth_api.h"
#include "ways/bluetooth/bluetooth_channel.h"
#include "ways/bluetooth/bluetooth_thread.h"

namespace app {

class BluetoothWorker {
  public:
    BluetoothWorker(BluetoothChannel& channel, BluetoothApi& api, BluetoothNames& names,
                    BluetoothTimings timings, std::set<std::uint64_t> allowed,
                    std::set<std::uint64_t> refused);
    // Whatever ended the thread, its phone, record, sockets and Winsock go with it.
    ~BluetoothWorker();
    BluetoothWorker(const BluetoothWorker&) = delete;
    BluetoothWorker& operator=(const BluetoothWorker&) = delete;

    // Runs the task until it is done or stopped: 0, or why the thread ends before it was
    // stopped.
    int run(BluetoothThread::Task task);

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    UINT phoneMessage() const;
    // The UI thread's requests so far, and its word that a chunk has been handled.
    void serve();
    void serve(BluetoothRequest& request);

    // Makes the listening socket and publishes the record; down with the reason when it cannot.
    void start();
    void probe();
    // Lets the phone go, withdraws the record and closes the listening socket.
    void withdraw();
    // What the destructor lets go of, reporting nothing.
    void release();
    void down(int error);

    void onListenerEvent(int event, int error);
    void acceptPhone();
    void answer(std::uint64_t generation, bool allow);
    void letIn();
    void onPhoneEvent(int event, int error);
    // One receive, its bytes reported as a chunk; the next waits until the UI thread has
    // handled it.
    void readPhone();
    // The phone is gone: the service listens again.
    void lose();
    void dropPhone();

    void send(std::uint64_t generation, std::string bytes);
    void startWrite(std::string bytes);
    void writeSome();
    void endWrite(phonelink::SendOutcome outcome);
    void onTimer(WPARAM timer);

    void tell();
    void sent(phonelink::SendOutcome outcome);

    // Receives the sockets' news and the timers; goes after everything that may post to it.
    framework::Window window_;
    BluetoothChannel& channel_;
    BluetoothApi& api_;
    BluetoothNames& names_;
    BluetoothTimings timings_;
    std::set<std::uint64_t> allowed_;
    std::set<std::uint64_t> refused_;
    bool stopped_ = false;
    bool failed_ = false;
    bool started_ = false;
    BluetoothState state_ = BluetoothState::Starting;
    int error_ = 0;
    std::uint64_t acknowledged_ = 0;
    BluetoothSocket listener_ = kNoSocket;
    BluetoothEndpoint endpoint_;
    bool published_ = false;
    BluetoothSocket phone_ = kNoSocket;
    std::optional<BluetoothPhone> who_;
    std::uint64_t generation_ = 0;
    // The chunk the UI thread is handling (0: none), and how many there have been.
    std::uint64_t chunkOut_ = 0;
    std::uint64_t chunks_ = 0;
    // The phone has said more, or closed, while a chunk was out.
    bool readPending_ = false;
    bool closing_ = false;
    // The write under way (what is left of it) and the bytes waiting after it.
    std::string writing_;
    std::optional<std::string> waiting_;
    // A write to this phone did not all go: the next starts with a line end.
    bool cut_ = false;
};

}  // namespace app
