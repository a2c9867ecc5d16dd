// The thread of Keypilot's own Bluetooth service: every Winsock call the service makes is made on
// it, never on the UI thread, since each of them may wait on the radio or its stack (a record
// published or withdrawn, an accept, the name of a phone). One thread serves one switching on of
// the service, or one probe. It makes the listening socket and publishes the record, hears its
// sockets' news as messages to a window of its own (WSAAsyncSelect), lets phones in and out,
// reads and writes, and tells the UI thread of all of it in reports, each announced by a message
// posted to the UI's window. It takes the UI thread's requests from a queue, served before any
// socket news that came after them. Stopped, it gives every send its outcome, withdraws the
// record, closes its sockets and ends by itself: nobody needs to wait for it.
//
// The bytes of a phone go one chunk at a time: the next receive waits until the UI thread has
// handled the chunk before, so a phone that sends faster than Keypilot acts waits at its end,
// and Keypilot never holds more than one chunk of it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "link/carrier.h"
#include "ways/bluetooth/bluetooth_api.h"

namespace app {

struct BluetoothChannel;
struct BluetoothRequest;

enum class BluetoothState {
    // Not switched on.
    Off,
    // Switched on; its thread makes the socket and the record.
    Starting,
    // Switched on, and the system refused: the reason goes with it.
    Unavailable,
    // The record is published; no phone is in.
    Listening,
    // A phone never allowed or refused waits for the user's answer.
    Asking,
    // A phone is in: its bytes are the link's.
    Connected,
};

struct BluetoothPhone {
    std::uint64_t address = 0;
    // What the radio calls it; empty when it does not know.
    std::wstring name;
};

// The names the radio knows phones by, as read: each address is asked about once, and again only
// while its name is unknown. Any thread; the reading itself is done outside the lock.
class BluetoothNames {
  public:
    std::wstring name(BluetoothApi& api, std::uint64_t address);

  private:
    std::mutex lock_;
    std::map<std::uint64_t, std::wstring> names_;
};

// What the service's thread tells the UI thread, in the order it happened.
struct BluetoothReport {
    enum class Kind {
        // The state, its reason and the phone are now these (state, error, phone, generation),
        // with every request up to `acknowledged` served.
        State,
        // The phone in (generation) sent these bytes: number goes back to chunkHandled.
        Chunk,
        // A send ended (outcome).
        Sent,
        // A probe found that the service can run here (error 0) or why not.
        Probed,
        // The thread is done (error: 0, or why it ended before it was stopped). Nothing follows.
        Finished,
    };
    Kind kind = Kind::State;
    BluetoothState state = BluetoothState::Starting;
    // A Winsock (or system) error number; 0 for none.
    int error = 0;
    std::optional<BluetoothPhone> phone;
    // Tells one phone in from the next.
    std::uint64_t generation = 0;
    std::uint64_t acknowledged = 0;
    std::string bytes;
    std::uint64_t number = 0;
    phonelink::SendOutcome outcome = phonelink::SendOutcome::Failed;
};

struct BluetoothTimings {
    // How long a service that is down waits before its next try.
    UINT retryIntervalMs = 0;
    // How long a write may take before it is given up.
    UINT writeTimeoutMs = 0;
    // How long a phone waits for the user's answer before it is let go.
    UINT askTimeoutMs = 0;
};

// The UI thread's handle of one such thread. Letting go of it stops the thread and waits for
// nothing; no report is announced after that.
class BluetoothThread {
  public:
    enum class Task {
        // Runs the service with these phones until stopped.
        Serve,
        // Finds out whether the service could run here, then ends.
        Probe,
    };

    // Starts the thread; each report is announced by posting message to window with id as its
    // wParam. Raises std::system_error when no thread can be started.
    BluetoothThread(Task task, std::shared_ptr<BluetoothApi> api,
                    std::shared_ptr<BluetoothNames> names, BluetoothTimings timings,
                    std::set<std::uint64_t> allowed, std::set<std::uint64_t> refused, HWND window,
                    UINT message, WPARAM id);
    ~BluetoothThread();
    BluetoothThread(const BluetoothThread&) = delete;
    BluetoothThread& operator=(const BluetoothThread&) = delete;

    WPARAM id() const { return id_; }
    // Signalled once the thread has let go of everything.
    HANDLE finished() const;

    // The requests, served in this order.
    void setPhones(std::set<std::uint64_t> allowed, std::set<std::uint64_t> refused);
    // The user's answer about the phone of this generation, numbered: the state reports that
    // follow acknowledge it.
    void answer(std::uint64_t request, std::uint64_t generation, bool allow);
    void radioArrived();
    void radioLeft();
    // To the phone of this generation; a phone gone since makes it a send that ended closed.
    void send(std::uint64_t generation, std::string bytes);
    // The record goes, the phone is let go, and the thread ends.
    void stop();
    // The chunk of this number has been handled, however that went: the phone is read again.
    void chunkHandled(std::uint64_t number) noexcept;

    // The next report, once its message has been posted.
    std::optional<BluetoothReport> take();

  private:
    void request(BluetoothRequest request);

    std::shared_ptr<BluetoothChannel> channel_;
    WPARAM id_;
    std::thread thread_;
};

}  // namespace app
