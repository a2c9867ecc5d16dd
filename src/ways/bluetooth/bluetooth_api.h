// The Winsock calls Keypilot's own Bluetooth service makes, and nothing else: one table, so that
// the service above it runs under Wine (which has no Bluetooth sockets) against a stand-in that
// plays a phone. Each entry is one system call, with the system's own results: a failure gives
// false (or kNoSocket, or -1) and lastError() says why, as WSAGetLastError does for the calling
// thread. A socket is non-blocking once selectMessages has been called on it, as WSAAsyncSelect
// makes it, so no receive or send waits for the phone; but any call may still wait on the radio
// and its stack (the record published or withdrawn, an accept, a device's name read from the
// stack, the startup), for seconds. The service therefore makes them on threads of its own,
// never on the UI thread, and an implementation must be callable from any thread.
//
// The service class, the record's name and the security asked of a link are fixed here, where
// the calls are made: docs/protocol.md gives the same UUID to the page.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace app {

// A socket as the system hands it out (SOCKET).
using BluetoothSocket = std::uintptr_t;
inline constexpr BluetoothSocket kNoSocket = ~BluetoothSocket{0};

// Keypilot's service class: c82e084b-74a8-46d0-b560-61536123c42b.
inline constexpr GUID kKeypilotServiceClass = {
    0xc82e084b, 0x74a8, 0x46d0, {0xb5, 0x60, 0x61, 0x53, 0x61, 0x23, 0xc4, 0x2b}};
// The name the service record carries, which the phone's picker shows.
inline constexpr const wchar_t* kKeypilotServiceName = L"Keypilot";

// Where a listening socket is bound: the radio's address and the RFCOMM channel the system gave.
struct BluetoothEndpoint {
    std::uint64_t address = 0;
    unsigned long channel = 0;
};

class BluetoothApi {
  public:
    virtual ~BluetoothApi() = default;

    // WSAStartup for version 2.2: 0, or the error it returned. Each successful one is followed by
    // one cleanup().
    virtual int startup() = 0;
    // WSACleanup.
    virtual void cleanup() = 0;
    // socket(AF_BTH, SOCK_STREAM, BTHPROTO_RFCOMM).
    virtual BluetoothSocket rfcommSocket() = 0;
    // setsockopt(SOL_RFCOMM, SO_BTH_AUTHENTICATE) and (SOL_RFCOMM, SO_BTH_ENCRYPT), both on:
    // a phone that cannot pair and encrypt is refused by the stack.
    virtual bool requireSecurity(BluetoothSocket socket) = 0;
    // bind to the first radio with port BT_PORT_ANY: the system picks a free channel.
    virtual bool bindAnyChannel(BluetoothSocket socket) = 0;
    // getsockname: the radio and channel the socket was bound to.
    virtual bool localEndpoint(BluetoothSocket socket, BluetoothEndpoint& endpoint) = 0;
    // listen, with room for one phone waiting.
    virtual bool listen(BluetoothSocket socket) = 0;
    // WSASetServiceW with RNRSERVICE_REGISTER (add) or RNRSERVICE_DELETE: Keypilot's service
    // record (class, name, this endpoint over RFCOMM) published or withdrawn.
    virtual bool setServiceRecord(const BluetoothEndpoint& endpoint, bool add) = 0;
    // WSAAsyncSelect: each of these FD_* events of the socket is posted to window as message,
    // with the socket as wParam and WSAMAKESELECTREPLY(event, error) as lParam.
    virtual bool selectMessages(BluetoothSocket socket, HWND window, UINT message, long events) = 0;
    // accept: the new connection and the phone's address.
    virtual BluetoothSocket accept(BluetoothSocket socket, std::uint64_t& peer) = 0;
    // recv and send: the bytes moved, 0 for a link closed by the far end (recv), or -1.
    virtual int receive(BluetoothSocket socket, char* buffer, int size) = 0;
    virtual int send(BluetoothSocket socket, const char* bytes, int size) = 0;
    // closesocket.
    virtual void close(BluetoothSocket socket) = 0;
    // WSAGetLastError.
    virtual int lastError() = 0;
    // The name the radio knows a paired device by (BluetoothGetDeviceInfo); empty when unknown.
    virtual std::wstring deviceName(std::uint64_t address) = 0;
};

// The system's calls (ws2_32; the device's name from bthprops.cpl, loaded when asked).
std::shared_ptr<BluetoothApi> systemBluetoothApi();

}  // namespace app
