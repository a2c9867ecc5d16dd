// The one file that calls Winsock for Bluetooth. The sequence follows Microsoft's documentation
// of Bluetooth and WSASetService: an RFCOMM socket bound to BT_PORT_ANY, its address from
// getsockname, a WSAQUERYSETW in the NS_BTH namespace with the service class and one
// CSADDR_INFO, then listen and accept.
#include <winsock2.h>

#include "ways/bluetooth/bluetooth_api.h"

#include <ws2bth.h>

#include "ports/system_port_sources.h"

namespace app {
namespace {

SOCKET native(BluetoothSocket socket) {
    return static_cast<SOCKET>(socket);
}

SOCKADDR_BTH socketAddress(std::uint64_t address, unsigned long channel) {
    SOCKADDR_BTH bth{};
    bth.addressFamily = AF_BTH;
    bth.btAddr = address;
    bth.port = channel;
    return bth;
}

class SystemBluetoothApi final : public BluetoothApi {
  public:
    int startup() override {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data);
    }
    void cleanup() override { WSACleanup(); }
    BluetoothSocket rfcommSocket() override {
        const SOCKET s = ::socket(AF_BTH, SOCK_STREAM, BTHPROTO_RFCOMM);
        return s == INVALID_SOCKET ? kNoSocket : static_cast<BluetoothSocket>(s);
    }
    bool requireSecurity(BluetoothSocket socket) override {
        const ULONG on = TRUE;
        const auto* value = reinterpret_cast<const char*>(&on);
        return setsockopt(native(socket), SOL_RFCOMM, static_cast<int>(SO_BTH_AUTHENTICATE), value,
                          sizeof on) == 0 &&
               setsockopt(native(socket), SOL_RFCOMM, SO_BTH_ENCRYPT, value, sizeof on) == 0;
    }
    bool bindAnyChannel(BluetoothSocket socket) override {
        SOCKADDR_BTH any = socketAddress(0, BT_PORT_ANY);
        return ::bind(native(socket), reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
    }
    bool localEndpoint(BluetoothSocket socket, BluetoothEndpoint& endpoint) override {
        SOCKADDR_BTH bound{};
        int size = sizeof bound;
        if (getsockname(native(socket), reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
            return false;
        }
        endpoint.address = bound.btAddr;
        endpoint.channel = bound.port;
        return true;
    }
    bool listen(BluetoothSocket socket) override { return ::listen(native(socket), 1) == 0; }
    bool setServiceRecord(const BluetoothEndpoint& endpoint, bool add) override {
        SOCKADDR_BTH local = socketAddress(endpoint.address, endpoint.channel);
        CSADDR_INFO where{};
        where.LocalAddr.lpSockaddr = reinterpret_cast<sockaddr*>(&local);
        where.LocalAddr.iSockaddrLength = sizeof local;
        where.iSocketType = SOCK_STREAM;
        where.iProtocol = BTHPROTO_RFCOMM;
        GUID serviceClass = kKeypilotServiceClass;
        std::wstring name = kKeypilotServiceName;
        WSAQUERYSETW record{};
        record.dwSize = sizeof record;
        record.lpszServiceInstanceName = name.data();
        record.lpServiceClassId = &serviceClass;
        record.dwNameSpace = NS_BTH;
        record.dwNumberOfCsAddrs = 1;
        record.lpcsaBuffer = &where;
        return WSASetServiceW(&record, add ? RNRSERVICE_REGISTER : RNRSERVICE_DELETE, 0) == 0;
    }
    bool selectMessages(BluetoothSocket socket, HWND window, UINT message, long events) override {
        return WSAAsyncSelect(native(socket), window, message, events) == 0;
    }
    BluetoothSocket accept(BluetoothSocket socket, std::uint64_t& peer) override {
        SOCKADDR_BTH from{};
        int size = sizeof from;
        const SOCKET s = ::accept(native(socket), reinterpret_cast<sockaddr*>(&from), &size);
        if (s == INVALID_SOCKET) {
            return kNoSocket;
        }
        peer = from.btAddr;
        return static_cast<BluetoothSocket>(s);
    }
    int receive(BluetoothSocket socket, char* buffer, int size) override {
        return ::recv(native(socket), buffer, size, 0);
    }
    int send(BluetoothSocket socket, const char* bytes, int size) override {
        return ::send(native(socket), bytes, size, 0);
    }
    void close(BluetoothSocket socket) override { closesocket(native(socket)); }
    int lastError() override { return WSAGetLastError(); }
    std::wstring deviceName(std::uint64_t address) override {
        const ports::PortSources sources = ports::systemPortSources();
        return sources.bluetoothName ? sources.bluetoothName(address) : std::wstring();
    }
};

}  // namespace

std::shared_ptr<BluetoothApi> systemBluetoothApi() {
    return std::make_shared<SystemBluetoothApi>();
}

}  // namespace app
