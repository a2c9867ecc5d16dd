// A stand-in for the Bluetooth service's Winsock calls. Wine has no Bluetooth sockets
// (socket(AF_BTH, ...) fails with WSAEPROTONOSUPPORT), so a phone that connects, talks and goes,
// a second phone, a failing accept or service record, a radio that goes and a write that never
// ends are played here. Everything above the calls is real: the socket news reaches the service
// as the window messages WSAAsyncSelect posts, through the thread's message loop. The test
// thread plays the phones; nothing here is touched by another thread.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ways/bluetooth/bluetooth_api.h"

namespace testing_support {

using app::BluetoothSocket;

class FakeBluetoothApi final : public app::BluetoothApi {
  public:
    // A connection as the phone's end sees it.
    struct Link {
        std::uint64_t address = 0;
        std::deque<std::string> inbox;  // sent by the phone, not yet received
        std::string received;           // what reached the phone
        bool phoneLeft = false;
        bool closedByService = false;
        bool stuck = false;  // its sends never finish
    };

    // What the next calls do: a socket refused with this error (0: made), a record refused, the
    // next accepts failing with these errors.
    int socketError = 0;
    int recordError = 0;
    std::deque<int> acceptErrors;
    std::map<std::uint64_t, std::wstring> names;

    // What the service did.
    int socketsMade = 0;
    int securityAsked = 0;
    std::vector<std::pair<unsigned long, bool>> recordCalls;  // channel, registered
    BluetoothSocket listening = app::kNoSocket;
    std::map<BluetoothSocket, Link> links;

    // Records published and not withdrawn.
    int published() const {
        int count = 0;
        for (const auto& [channel, add] : recordCalls) {
            count += add ? 1 : -1;
        }
        return count;
    }
    int openSockets() const { return static_cast<int>(open_.size()); }

    // A phone connects: the listening socket hears of it. Returns its connection.
    BluetoothSocket connect(std::uint64_t address) {
        const BluetoothSocket link = next_++;
        links[link].address = address;
        pending_.push_back(link);
        post(listening, FD_ACCEPT, 0);
        return link;
    }
    // The phone sends these bytes, received as one piece.
    void say(BluetoothSocket link, const std::string& bytes) {
        links[link].inbox.push_back(bytes);
        post(link, FD_READ, 0);
    }
    void leave(BluetoothSocket link) {
        links[link].phoneLeft = true;
        post(link, FD_CLOSE, 0);
    }
    // The phone takes what was sent again.
    void writable(BluetoothSocket link) {
        links[link].stuck = false;
        post(link, FD_WRITE, 0);
    }

    int startup() override { return 0; }
    void cleanup() override {}
    BluetoothSocket rfcommSocket() override {
        if (socketError != 0) {
            return fail(socketError, app::kNoSocket);
        }
        ++socketsMade;
        const BluetoothSocket socket = next_++;
        open_.push_back(socket);
        return socket;
    }
    bool requireSecurity(BluetoothSocket) override {
        ++securityAsked;
        return true;
    }
    bool bindAnyChannel(BluetoothSocket) override { return true; }
    bool localEndpoint(BluetoothSocket, app::BluetoothEndpoint& endpoint) override {
        endpoint = {0x001122334455, kChannel};
        return true;
    }
    bool listen(BluetoothSocket socket) override {
        listening = socket;
        return true;
    }
    bool setServiceRecord(const app::BluetoothEndpoint& endpoint, bool add) override {
        if (add && recordError != 0) {
            return fail(recordError, false);
        }
        recordCalls.emplace_back(endpoint.channel, add);
        return true;
    }
    bool selectMessages(BluetoothSocket socket, HWND window, UINT message, long events) override {
        windows_[socket] = {window, message};
        // As Winsock does: a connection can be written to from the start, and what arrived
        // before is told of at once.
        if (const auto link = links.find(socket); link != links.end()) {
            if ((events & FD_WRITE) != 0) {
                post(socket, FD_WRITE, 0);
            }
            if (!link->second.inbox.empty()) {
                post(socket, FD_READ, 0);
            }
        }
        return true;
    }
    BluetoothSocket accept(BluetoothSocket, std::uint64_t& peer) override {
        // As Winsock does: phones still waiting after this call are told of again.
        if (pending_.size() > 1 || (!pending_.empty() && !acceptErrors.empty())) {
            post(listening, FD_ACCEPT, 0);
        }
        if (!acceptErrors.empty()) {
            const int error = acceptErrors.front();
            acceptErrors.pop_front();
            return fail(error, app::kNoSocket);
        }
        if (pending_.empty()) {
            return fail(WSAEWOULDBLOCK, app::kNoSocket);
        }
        const BluetoothSocket link = pending_.front();
        pending_.pop_front();
        open_.push_back(link);
        peer = links[link].address;
        return link;
    }
    int receive(BluetoothSocket socket, char* buffer, int size) override {
        Link& link = links[socket];
        if (link.inbox.empty()) {
            return link.phoneLeft ? 0 : fail(WSAEWOULDBLOCK, -1);
        }
        std::string& piece = link.inbox.front();
        const auto count = std::min(piece.size(), static_cast<std::size_t>(size));
        std::copy_n(piece.data(), count, buffer);
        piece.erase(0, count);
        if (piece.empty()) {
            link.inbox.pop_front();
        }
        // As Winsock does: more left to read is told of again.
        if (!link.inbox.empty()) {
            post(socket, FD_READ, 0);
        }
        return static_cast<int>(count);
    }
    int send(BluetoothSocket socket, const char* bytes, int size) override {
        Link& link = links[socket];
        if (link.phoneLeft) {
            return fail(WSAECONNRESET, -1);
        }
        if (link.stuck) {
            return fail(WSAEWOULDBLOCK, -1);
        }
        link.received.append(bytes, static_cast<std::size_t>(size));
        return size;
    }
    void close(BluetoothSocket socket) override {
        open_.erase(std::remove(open_.begin(), open_.end(), socket), open_.end());
        if (auto link = links.find(socket); link != links.end()) {
            link->second.closedByService = true;
        }
        windows_.erase(socket);
        if (socket == listening) {
            listening = app::kNoSocket;
        }
    }
    int lastError() override { return lastError_; }
    std::wstring deviceName(std::uint64_t address) override {
        const auto name = names.find(address);
        return name == names.end() ? std::wstring() : name->second;
    }

    static constexpr unsigned long kChannel = 7;

  private:
    template <class T>
    T fail(int error, T result) {
        lastError_ = error;
        return result;
    }
    void post(BluetoothSocket socket, long event, int error) {
        const auto window = windows_.find(socket);
        if (window != windows_.end()) {
            PostMessageW(window->second.first, window->second.second, socket,
                         WSAMAKESELECTREPLY(event, error));
        }
    }

    BluetoothSocket next_ = 100;
    std::vector<BluetoothSocket> open_;
    std::deque<BluetoothSocket> pending_;
    std::map<BluetoothSocket, std::pair<HWND, UINT>> windows_;
    int lastError_ = 0;
};

}  // namespace testing_support
