// The "Connect a phone" window: the steps from pairing the phone to its first press, each with
// its state as it is now: pairing in Windows' settings, Keypilot's own Bluetooth service (its
// switch, whether this PC can run it, a phone that asks to come in) or else the incoming
// Bluetooth COM port and whether Keypilot listens on it, the remote page's address as a QR code and
// as text, and whether the phone has been heard since the window opened. The ports are read when
// the window opens and when a port arrives or leaves, off the main thread, and shown once read; the
// state is shown again every second from what was read last (for the phone heard). It owns only its
// window; the program behind it answers through the Listener.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/handle.h"
#include "framework/owned_window.h"
#include "i18n/ui_text.h"
#include "ports/port_catalogue.h"
#include "ports/port_change_notice.h"
#include "settings/remote_address.h"
#include "ways/bluetooth/bluetooth_service.h"
#include "windows/qr_code.h"

namespace app {

class ConnectWindow {
  public:
    static constexpr const wchar_t* kCaption = uiText(L"Подключение телефона");
    static constexpr const wchar_t* kHeard = uiText(L"Телефон подключён: попробуйте стрелки");
    static constexpr const wchar_t* kWaiting = uiText(L"Keypilot ждёт сигнала с телефона…");
    static constexpr UINT_PTR kRefreshTimerId = 1;
    static constexpr UINT kRefreshInterval = 1000;
    // The QR code's pixels per module at 96 DPI; more, in whole pixels, at higher scales.
    static constexpr int kModulePixels96 = 4;
    static constexpr int kQuietZone = QrCode::kQuietZone;

    enum Control : int {
        kCloseButton = IDCANCEL,
        kPairLabel = 2001,
        kBluetoothButton,
        kPortHeading,
        kServiceState,
        kServiceButton,
        kAskLabel,
        kAllowButton,
        kRefuseButton,
        kPortChoice,
        kPortState,
        kListenButton,
        kComPortsButton,
        kRemoteHeading,
        kQrCode,
        kScanHint,
        kAddressEdit,
        kCopyButton,
        kIgnoredNote,
        kHeardHeading,
        kHeardLabel,
    };

    class Listener {
      public:
        // The ports as last read; nothing before the first read has come.
        virtual const ports::PortList* connectPorts() = 0;
        // Reads the ports again; refresh() is called once they are read.
        virtual void readPorts() = 0;
        // Runs a program or opens a document through the shell, off the main thread.
        virtual void openInShell(const std::wstring& file, const std::wstring& parameters) = 0;
        // The entry of the port Keypilot has open; -1 when none is.
        virtual int listenedPort() = 0;
        // When something last arrived from the phone (GetTickCount64), if ever.
        virtual std::optional<ULONGLONG> phoneLastHeard() = 0;
        // "Listen on COMn": store that port and open it.
        virtual void onListen(int index) = 0;
        // Keypilot's own Bluetooth service, read for its state; probed when the window opens.
        virtual BluetoothService& bluetoothService() = 0;
        // The service's switch, and the answer for the phone that asks.
        virtual void onBluetoothSwitch() = 0;
        virtual void onBluetoothAnswer(bool allow) = 0;

      protected:
        ~Listener() = default;
    };

    // Creates the window, hidden. The application must have been initialised.
    explicit ConnectWindow(Listener& listener);
    ~ConnectWindow();
    ConnectWindow(const ConnectWindow&) = delete;
    ConnectWindow& operator=(const ConnectWindow&) = delete;

    HWND handle() const { return window_.get(); }
    HWND control(int id) const { return GetDlgItem(handle(), id); }
    bool visible() const { return IsWindowVisible(handle()) != FALSE; }
    UINT dpi() const { return dpi_; }

    // Shows the window in front with the page's address, and asks for the ports to be read;
    // "heard" counts from the first show on after the window was hidden.
    void show(const RemoteAddress& remote);
    void hide();
    // Shows the state again, with the ports as last read.
    void refresh();

    // What the QR code encodes: the address with the link's version.
    const std::wstring& encodedAddress() const { return encoded_; }
    // The QR code's side in modules, without the quiet zone; 0 when there is none.
    int qrModules() const { return qrCode_.size(); }
    // The QR code's pixels per module now.
    int modulePixels() const;

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<ConnectWindow>(HWND, UINT, WPARAM,
                                                                           LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void onCommand(WPARAM wParam);
    void createControls();
    void applyDpi(UINT dpi);
    void layout();
    void setText(int id, const std::wstring& text);
    void setShown(int id, bool shown);
    // The service's lines; what step 2 says of the COM port then.
    std::wstring showService();

    Listener& listener_;
    framework::OwnedWindow window_;
    std::optional<ports::PortChangeRegistration> portChanges_;
    UINT dpi_ = 96;
    bool shownBefore_ = false;
    ULONGLONG shownAt_ = 0;

    std::wstring encoded_;
    QrCode qrCode_;
    // The incoming ports as last shown, and the one the port step speaks of.
    std::vector<int> incoming_;
    int chosen_ = -1;
    // The port the user picked from several, until one is listened on.
    int picked_ = -1;
    // The texts and visibility last laid out: a refresh that changes neither moves nothing.
    std::wstring laidOut_;
    // The service's part of it.
    std::wstring serviceLaidOut_;

    framework::GdiObject font_;
    framework::GdiObject headingFont_;
};

}  // namespace app
