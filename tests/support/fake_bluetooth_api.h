// A stand-in for the Bluetooth service's Winsock calls. Wine has no Bluetooth sockets
// (socket(AF_BTH, ...) fails with WSAEPROTONOSUPPORT), so a phone that connects, talks and goes,
// a second phone, a failing accept or service record, a radio that goes and a write that never
// ends are played here. Everything above the calls is real: the socket news reaches the service
// as the window messages WSAAsyncSelect posts, through its thread's message loop.
//
// It is as strict as Winsock's documentation of WSAAsyncSelect, since a kinder stand-in hides the
// faults users meet: after an FD_READ or FD_ACCEPT the next comes only once recv or accept has
// been called (at once when it left data or phones waiting); FD_WRITE comes when messages are
// asked for on a connection that can be written to, and then only after a send failed with
// WSAEWOULDBLOCK and there is room again; FD_CLOSE comes once, after everything the phone sent
// has been read. The service's thread and the test's thread may call it at once. Any kind of call
// can be held, as a radio or a stack that takes its time would hold it, and each call notes the
// thread it ran on.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/handle.h"
#include "ways/bluetooth/bluetooth_api.h"

namespace testing_support {

using app::BluetoothSocket;

class FakeBluetoothApi final : public app::BluetoothApi {
    // What either thread does with the stand-in, it does holding its lock.
    template <class F>
    auto locked(F&& f) const {
        std::lock_guard guard(lock_);
        return f();
    }

  public:
    // The calls, one kind each, as hold() and beforeCall name them.
    enum class Call {
        Startup,
        Cleanup,
        Socket,
        Security,
        Bind,
        Endpoint,
        Listen,
        Record,
        Select,
        Accept,
        Receive,
        Send,
        Close,
        LastError,
        DeviceName,
    };
    // How long a held call waits when nothing releases it.
    static constexpr DWORD kHoldMs = 3000;
    static constexpr unsigned long kChannel = 7;

    // A connection as the phone's end sees it.
    struct Link {
        std::uint64_t address = 0;
        std::string received;  // what reached the phone
        bool closedByService = false;
    };

    FakeBluetoothApi() : released_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    // Runs first in every call, on the caller's thread, with nothing of the stand-in locked:
    // another test's way of holding calls. Set it before the service is made.
    std::function<void(Call)> beforeCall;

    // What the next calls do: sockets refused with this error (0: made), records refused, the
    // next accepts failing with these errors, each taking the phone it would have let in with it.
    void failSockets(int error) {
        locked([&] { socketError_ = error; });
    }
    void failRecord(int error) {
        locked([&] { recordError_ = error; });
    }
    void failAccepts(std::deque<int> errors) {
        locked([&] { acceptErrors_ = std::move(errors); });
    }
    void setName(std::uint64_t address, std::wstring name) {
        locked([&] { names_[address] = std::move(name); });
    }

    // A phone connects: the listening socket hears of it. Returns its connection, which nothing
    // takes when nothing listens.
    BluetoothSocket connect(std::uint64_t address) {
        std::lock_guard guard(lock_);
        const BluetoothSocket socket = next_++;
        connections_[socket].link.address = address;
        if (listener_ == app::kNoSocket) {
            return socket;
        }
        pending_.push_back(socket);
        if (acceptArmed_ && postTo(listener_, FD_ACCEPT)) {
            acceptArmed_ = false;
        }
        return socket;
    }
    // The phone sends these bytes, received as one piece.
    void say(BluetoothSocket socket, const std::string& bytes) {
        std::lock_guard guard(lock_);
        Connection& connection = connections_[socket];
        if (connection.left || connection.link.closedByService) {
            return;
        }
        connection.inbox.push_back(bytes);
        if (connection.readArmed && postTo(socket, FD_READ)) {
            connection.readArmed = false;
        }
    }
    // The phone closes its end gracefully: the service hears of it once it has read everything.
    void leave(BluetoothSocket socket) {
        std::lock_guard guard(lock_);
        Connection& connection = connections_[socket];
        connection.left = true;
        closeIfRead(socket);
    }
    // The phone stops taking what is sent (its sends fail with WSAEWOULDBLOCK), or takes it again.
    void setStuck(BluetoothSocket socket, bool stuck) {
        std::lock_guard guard(lock_);
        Connection& connection = connections_[socket];
        connection.stuck = stuck;
        if (!stuck && connection.blocked && postTo(socket, FD_WRITE)) {
            connection.blocked = false;
        }
    }

    Link link(BluetoothSocket socket) const {
        return locked([&] {
            const auto found = connections_.find(socket);
            return found == connections_.end() ? Link{} : found->second.link;
        });
    }
    std::string received(BluetoothSocket socket) const { return link(socket).received; }
    bool closedByService(BluetoothSocket socket) const { return link(socket).closedByService; }
    // A send on it has failed with WSAEWOULDBLOCK, and it has not taken anything since.
    bool blocked(BluetoothSocket socket) const {
        return locked([&] {
            const auto found = connections_.find(socket);
            return found != connections_.end() && found->second.blocked;
        });
    }
    // Records published and not withdrawn.
    int published() const {
        return locked([&] {
            int count = 0;
            for (const auto& [channel, add] : recordCalls_) {
                count += add ? 1 : -1;
            }
            return count;
        });
    }
    // The channel and whether it was an add, of each record call that succeeded.
    std::vector<std::pair<unsigned long, bool>> recordCalls() const {
        return locked([&] { return recordCalls_; });
    }
    int openSockets() const {
        return locked([&] { return static_cast<int>(open_.size()); });
    }
    int socketsMade() const {
        return locked([&] { return socketsMade_; });
    }
    int securityAsked() const {
        return locked([&] { return securityAsked_; });
    }
    int nameReads(std::uint64_t address) const {
        return locked([&] {
            const auto found = nameReads_.find(address);
            return found == nameReads_.end() ? 0 : found->second;
        });
    }
    // Startups not yet followed by their cleanup.
    int started() const {
        return locked([&] { return started_; });
    }

    // From now on every call of this kind waits until release(), or kHoldMs.
    void hold(Call call) {
        locked([&] {
            held_.insert(call);
            ResetEvent(released_.get());
        });
    }
    // Lets every call held go on at once, and holds no more.
    void release() {
        locked([&] {
            held_.clear();
            SetEvent(released_.get());
        });
    }
    // How many calls of this kind wait now.
    int holding(Call call) const {
        return locked([&] {
            const auto found = holding_.find(call);
            return found == holding_.end() ? 0 : found->second;
        });
    }
    // Every thread a call ran on.
    std::set<DWORD> threads() const {
        return locked([&] { return threads_; });
    }

    int startup() override {
        enter(Call::Startup);
        return locked([&] {
            ++started_;
            return 0;
        });
    }
    void cleanup() override {
        enter(Call::Cleanup);
        locked([&] { --started_; });
    }
    BluetoothSocket rfcommSocket() override {
        enter(Call::Socket);
        std::lock_guard guard(lock_);
        if (socketError_ != 0) {
            return fail(socketError_, app::kNoSocket);
        }
        ++socketsMade_;
        const BluetoothSocket socket = next_++;
        open_.insert(socket);
        return socket;
    }
    bool requireSecurity(BluetoothSocket) override {
        enter(Call::Security);
        return locked([&] {
            ++securityAsked_;
            return true;
        });
    }
    bool bindAnyChannel(BluetoothSocket) override {
        enter(Call::Bind);
        return true;
    }
    bool localEndpoint(BluetoothSocket, app::BluetoothEndpoint& endpoint) override {
        enter(Call::Endpoint);
        endpoint = {0x001122334455, kChannel};
        return true;
    }
    bool listen(BluetoothSocket socket) override {
        enter(Call::Listen);
        return locked([&] {
            listener_ = socket;
            acceptArmed_ = true;
            return true;
        });
    }
    bool setServiceRecord(const app::BluetoothEndpoint& endpoint, bool add) override {
        enter(Call::Record);
        std::lock_guard guard(lock_);
        if (add && recordError_ != 0) {
            return fail(recordError_, false);
        }
        recordCalls_.emplace_back(endpoint.channel, add);
        return true;
    }
    bool selectMessages(BluetoothSocket socket, HWND window, UINT message, long events) override {
        enter(Call::Select);
        std::lock_guard guard(lock_);
        selected_[socket] = {window, message, events};
        // As Winsock does when messages are asked for: what is already so is told at once.
        if (socket == listener_) {
            acceptArmed_ = !(!pending_.empty() && postTo(socket, FD_ACCEPT));
            return true;
        }
        const auto found = connections_.find(socket);
        if (found == connections_.end()) {
            return true;
        }
        Connection& connection = found->second;
        connection.readArmed = !(!connection.inbox.empty() && postTo(socket, FD_READ));
        if (!connection.stuck && !connection.left) {
            postTo(socket, FD_WRITE);
        }
        closeIfRead(socket);
        return true;
    }
    BluetoothSocket accept(BluetoothSocket, std::uint64_t& peer) override {
        enter(Call::Accept);
        std::lock_guard guard(lock_);
        acceptArmed_ = true;
        if (pending_.empty()) {
            return fail(WSAEWOULDBLOCK, app::kNoSocket);
        }
        const BluetoothSocket socket = pending_.front();
        pending_.pop_front();
        // Phones still waiting after this call are told of again.
        if (!pending_.empty() && postTo(listener_, FD_ACCEPT)) {
            acceptArmed_ = false;
        }
        if (!acceptErrors_.empty()) {
            const int error = acceptErrors_.front();
            acceptErrors_.pop_front();
            connections_.erase(socket);
            return fail(error, app::kNoSocket);
        }
        open_.insert(socket);
        peer = connections_[socket].link.address;
        return socket;
    }
    int receive(BluetoothSocket socket, char* buffer, int size) override {
        enter(Call::Receive);
        std::lock_guard guard(lock_);
        const auto found = connections_.find(socket);
        if (found == connections_.end() || !open_.contains(socket)) {
            return fail(WSAENOTSOCK, -1);
        }
        Connection& connection = found->second;
        connection.readArmed = true;
        if (connection.inbox.empty()) {
            return connection.left ? 0 : fail(WSAEWOULDBLOCK, -1);
        }
        std::string& piece = connection.inbox.front();
        const auto count = std::min(piece.size(), static_cast<std::size_t>(size));
        std::copy_n(piece.data(), count, buffer);
        piece.erase(0, count);
        if (piece.empty()) {
            connection.inbox.pop_front();
        }
        // More left to read is told of again; a close, once nothing is.
        if (!connection.inbox.empty() && postTo(socket, FD_READ)) {
            connection.readArmed = false;
        }
        closeIfRead(socket);
        return static_cast<int>(count);
    }
    int send(BluetoothSocket socket, const char* bytes, int size) override {
        enter(Call::Send);
        std::lock_guard guard(lock_);
        const auto found = connections_.find(socket);
        if (found == connections_.end() || !open_.contains(socket)) {
            return fail(WSAENOTSOCK, -1);
        }
        Connection& connection = found->second;
        if (connection.left) {
            return fail(WSAECONNRESET, -1);
        }
        if (connection.stuck) {
            connection.blocked = true;
            return fail(WSAEWOULDBLOCK, -1);
        }
        connection.link.received.append(bytes, static_cast<std::size_t>(size));
        return size;
    }
    void close(BluetoothSocket socket) override {
        enter(Call::Close);
        std::lock_guard guard(lock_);
        open_.erase(socket);
        selected_.erase(socket);
        if (auto found = connections_.find(socket); found != connections_.end()) {
            found->second.link.closedByService = true;
        }
        if (socket == listener_) {
            listener_ = app::kNoSocket;
            pending_.clear();
        }
    }
    int lastError() override {
        enter(Call::LastError);
        return locked([&] { return lastErrors_[GetCurrentThreadId()]; });
    }
    std::wstring deviceName(std::uint64_t address) override {
        enter(Call::DeviceName);
        return locked([&] {
            ++nameReads_[address];
            const auto name = names_.find(address);
            return name == names_.end() ? std::wstring() : name->second;
        });
    }

  private:
    struct Connection {
        Link link;
        std::deque<std::string> inbox;  // sent by the phone, not yet received
        bool left = false;
        bool stuck = false;
        // An FD_READ may be posted: none has been since the last recv.
        bool readArmed = true;
        // A send failed with WSAEWOULDBLOCK: room again brings FD_WRITE.
        bool blocked = false;
        bool closePosted = false;
    };
    struct Selection {
        HWND window = nullptr;
        UINT message = 0;
        long events = 0;
    };

    template <class T>
    T fail(int error, T result) {
        lastErrors_[GetCurrentThreadId()] = error;
        return result;
    }
    void enter(Call call) {
        locked([&] { threads_.insert(GetCurrentThreadId()); });
        if (beforeCall) {
            beforeCall(call);
        }
        const bool held = locked([&] {
            const bool holds = held_.contains(call);
            holding_[call] += holds ? 1 : 0;
            return holds;
        });
        if (held) {
            WaitForSingleObject(released_.get(), kHoldMs);
            locked([&] { --holding_[call]; });
        }
    }
    // Posts the event when the socket asked for it; true when it did.
    bool postTo(BluetoothSocket socket, long event) {
        const auto found = selected_.find(socket);
        if (found == selected_.end() || (found->second.events & event) == 0) {
            return false;
        }
        return PostMessageW(found->second.window, found->second.message, socket,
                            WSAMAKESELECTREPLY(event, 0)) != FALSE;
    }
    void closeIfRead(BluetoothSocket socket) {
        Connection& connection = connections_[socket];
        if (connection.left && connection.inbox.empty() && !connection.closePosted &&
            postTo(socket, FD_CLOSE)) {
            connection.closePosted = true;
        }
    }

    mutable std::mutex lock_;
    framework::KernelHandle released_;
    int socketError_ = 0;
    int recordError_ = 0;
    std::deque<int> acceptErrors_;
    std::map<std::uint64_t, std::wstring> names_;
    std::map<std::uint64_t, int> nameReads_;
    int started_ = 0;
    int socketsMade_ = 0;
    int securityAsked_ = 0;
    std::vector<std::pair<unsigned long, bool>> recordCalls_;
    BluetoothSocket next_ = 100;
    BluetoothSocket listener_ = app::kNoSocket;
    bool acceptArmed_ = true;
    std::set<BluetoothSocket> open_;
    std::deque<BluetoothSocket> pending_;
    std::map<BluetoothSocket, Connection> connections_;
    std::map<BluetoothSocket, Selection> selected_;
    std::map<DWORD, int> lastErrors_;
    std::set<Call> held_;
    std::map<Call, int> holding_;
    std::set<DWORD> threads_;
};

}  // namespace testing_support
