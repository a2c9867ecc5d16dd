#include "windows/connect_window.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "framework/application.h"
#include "framework/exception.h"
#include "framework/hidden_window.h"
#include "framework/text.h"
#include "settings/pc_name.h"
#include "settings/settings_values.h"
#include "windows/dialog_window.h"
#include "windows/port_list_text.h"
#include "windows/resources/resource.h"
#include "windows/window_layout.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotConnectWindow";
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

// Windows' Bluetooth settings page, through the ms-settings: URI scheme ("Launch the Windows
// Settings app", learn.microsoft.com/windows/apps/develop/launch/launch-settings-app: Devices,
// Bluetooth, ms-settings:bluetooth).
constexpr const wchar_t* kBluetoothSettings = L"ms-settings:bluetooth";
// The classic Bluetooth settings (bthprops.cpl) on their COM Ports tab: rundll32 runs
// Control_RunDLL of shell32.dll with "<file.cpl>,<applet>,<page>" (Microsoft KB Q135068,
// "Starting a Control Panel Applet"); the empty applet is the first, page 2 its COM Ports tab.
constexpr const wchar_t* kRundll = L"rundll32.exe";
constexpr const wchar_t* kComPortsTab = L"shell32.dll,Control_RunDLL bthprops.cpl,,2";

constexpr const wchar_t* kPairStep =
    uiText(L"1. Выполните сопряжение телефона с этим компьютером в параметрах Bluetooth.");
constexpr const wchar_t* kBluetoothButtonText = uiText(L"Параметры Bluetooth…");
constexpr const wchar_t* kPortStep = uiText(L"2. Служба Keypilot или входящий COM-порт Bluetooth");
constexpr const wchar_t* kServiceOff =
    uiText(L"Служба Keypilot выключена. Включите её, и COM-порт не понадобится.");
constexpr const wchar_t* kServiceMissing =
    uiText(L"Служба Bluetooth Keypilot недоступна на этом компьютере: %s.");
constexpr const wchar_t* kServiceDown =
    uiText(L"Служба Keypilot недоступна: %s. Keypilot попробует снова.");
constexpr const wchar_t* kServiceStarting = uiText(L"Служба Keypilot запускается…");
constexpr const wchar_t* kServiceListening =
    uiText(L"Служба Keypilot работает: на телефоне выберите «Keypilot».");
// %s: the phone's name and address.
constexpr const wchar_t* kServicePhone = uiText(L"Служба Keypilot: подключён телефон %s.");
constexpr const wchar_t* kAsks =
    uiText(L"Телефон %s подключается к Keypilot впервые. Разрешить ему управлять компьютером?");
// After the question: the phone is let go after BluetoothService::kAskTimeoutMs.
constexpr const wchar_t* kAskLimit = uiText(L"Без ответа за минуту телефон будет отключён.");
constexpr const wchar_t* kSwitchOn = uiText(L"Включить службу Keypilot");
constexpr const wchar_t* kSwitchOff = uiText(L"Выключить службу Keypilot");
constexpr const wchar_t* kAllow = uiText(L"Разрешить");
constexpr const wchar_t* kRefuse = uiText(L"Отклонить");
constexpr const wchar_t* kPortNotNeeded =
    uiText(L"COM-порт не нужен, пока работает служба Keypilot; его можно добавить и так.");
// %s: the port's line in the port list, e.g. "COM5 — Bluetooth, входящий".
constexpr const wchar_t* kListening = uiText(L"%s: Keypilot слушает этот порт.");
constexpr const wchar_t* kNotListening = uiText(L"%s: Keypilot не слушает этот порт.");
constexpr const wchar_t* kSeveral = uiText(L"Найдено несколько входящих портов: выберите один.");
constexpr const wchar_t* kNoIncoming =
    uiText(L"Входящего порта нет: на вкладке «COM-порты» нажмите «Добавить…», затем «Входящий».");
// %s: the port's name, e.g. "COM5".
constexpr const wchar_t* kListenOn = uiText(L"Слушать %s");
constexpr const wchar_t* kComPortsButtonText = uiText(L"Вкладка «COM-порты»…");
constexpr const wchar_t* kRemoteStep = uiText(L"3. Откройте пульт на телефоне");
constexpr const wchar_t* kScan =
    uiText(L"Отсканируйте код камерой телефона и откройте адрес в Chrome.");
// %s: the computer's name.
constexpr const wchar_t* kPick =
    uiText(L"Нажмите «Подключить» и выберите этот компьютер по имени Bluetooth: %s.");
constexpr const wchar_t* kCopy = uiText(L"Копировать");
constexpr const wchar_t* kIgnored =
    uiText(L"Значение remote в реестре пропущено: нужен адрес https:// до 200 знаков.");
constexpr const wchar_t* kHeardStep = uiText(L"4. Нажмите кнопку на телефоне");
constexpr const wchar_t* kClose = uiText(L"Закрыть");

// Margins, gaps and the narrowest text column, at 96 DPI.
constexpr int kMargin = 12;
constexpr int kLineGap = 6;
constexpr int kStepGap = 14;
constexpr int kContentWidth = 440;
constexpr int kButtonHeight = 25;
constexpr int kEditHeight = 23;

}  // namespace

ConnectWindow::ConnectWindow(Listener& listener) : listener_(listener) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    framework::registerWindowClass(kWindowClass, &framework::ownedWindowProcedure<ConnectWindow>,
                                   LoadIconW(instance, MAKEINTRESOURCEW(IDI_KEYPILOT)),
                                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    HWND hwnd = CreateWindowExW(kWindowExStyle, kWindowClass, tr(kCaption).c_str(), kWindowStyle,
                                CW_USEDEFAULT, CW_USEDEFAULT, 10, 10,
                                framework::application().handle(), nullptr, instance, this);
    if (!hwnd) {
        framework::raiseLastOSError();
    }
    createControls();
    applyDpi(dpiOf(hwnd));
    portChanges_.emplace(hwnd);
}

ConnectWindow::~ConnectWindow() {
    if (window_) {
        KillTimer(window_.get(), kRefreshTimerId);
    }
}

void ConnectWindow::createControls() {
    HWND hwnd = handle();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto make = [&](const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                    DWORD exStyle = 0) {
        return CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | style, 0, 0, 0, 0, hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                               nullptr);
    };
    const DWORD label = SS_LEFT | SS_NOPREFIX | WS_VISIBLE;
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    make(WC_STATICW, tr(kPairStep), label, kPairLabel);
    make(WC_BUTTONW, tr(kBluetoothButtonText), button | WS_VISIBLE, kBluetoothButton);
    make(WC_STATICW, tr(kPortStep), label, kPortHeading);
    make(WC_STATICW, L"", label, kServiceState);
    make(WC_BUTTONW, L"", button | WS_VISIBLE, kServiceButton);
    make(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, kAskLabel);
    make(WC_BUTTONW, tr(kAllow), button, kAllowButton);
    make(WC_BUTTONW, tr(kRefuse), button, kRefuseButton);
    make(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kPortChoice);
    make(WC_STATICW, L"", label, kPortState);
    make(WC_BUTTONW, L"", button, kListenButton);
    make(WC_BUTTONW, tr(kComPortsButtonText), button, kComPortsButton);
    make(WC_STATICW, tr(kRemoteStep), label, kRemoteHeading);
    make(WC_STATICW, L"", SS_OWNERDRAW | WS_VISIBLE, kQrCode);
    make(WC_STATICW, tr(kScan) + L" " + framework::formatText(tr(kPick), {pcName()}), label,
         kScanHint);
    make(WC_EDITW, L"", WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL | WS_VISIBLE, kAddressEdit,
         WS_EX_CLIENTEDGE);
    make(WC_BUTTONW, tr(kCopy), button | WS_VISIBLE, kCopyButton);
    make(WC_STATICW, tr(kIgnored), SS_LEFT | SS_NOPREFIX, kIgnoredNote);
    make(WC_STATICW, tr(kHeardStep), label, kHeardHeading);
    make(WC_STATICW, tr(kWaiting), label, kHeardLabel);
    make(WC_BUTTONW, tr(kClose), button | BS_DEFPUSHBUTTON | WS_VISIBLE, kCloseButton);
}

void ConnectWindow::applyDpi(UINT dpi) {
    dpi_ = dpi;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
    LOGFONTW heading = metrics.lfMessageFont;
    heading.lfWeight = FW_BOLD;
    headingFont_.reset(CreateFontIndirectW(&heading));
    for (HWND child = GetWindow(handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(child);
        const bool isHeading =
            id == kPortHeading || id == kRemoteHeading || id == kHeardHeading || id == kPairLabel;
        SendMessageW(child, WM_SETFONT,
                     reinterpret_cast<WPARAM>(isHeading ? headingFont_.get() : font_.get()), FALSE);
    }
    laidOut_.clear();
    layout();
}

int ConnectWindow::modulePixels() const {
    return std::max(kModulePixels96, scaleForDpi(kModulePixels96, dpi_));
}

void ConnectWindow::layout() {
    auto s = [this](int v) { return scaleForDpi(v, dpi_); };
    auto shown = [this](int id) {
        return (GetWindowLongW(control(id), GWL_STYLE) & WS_VISIBLE) != 0;
    };
    auto buttonWidth = [&](int id) {
        return std::max(s(90), static_cast<int>(measureText(control(id)).cx) + s(24));
    };
    const int qrSide = qrCode_.side(modulePixels());
    // Wide enough for every button and heading on one line, and for the code beside a column.
    int width = s(kContentWidth);
    for (int id : {kBluetoothButton, kListenButton, kComPortsButton, kServiceButton}) {
        width = std::max(width, buttonWidth(id));
    }
    for (int id : {kPortHeading, kRemoteHeading, kHeardHeading}) {
        width = std::max(width, static_cast<int>(measureText(control(id)).cx));
    }
    width = std::max(width, qrSide + s(12) + s(220));

    const int left = s(kMargin);
    int y = s(kMargin);
    auto place = [&](int id, int x, int w, int h) {
        MoveWindow(control(id), x, y, w, h, FALSE);
        y += h;
    };
    auto text = [&](int id, int x, int w) {
        place(id, x, w, static_cast<int>(measureText(control(id), w).cy));
    };
    auto buttonAt = [&](int id, int x) { place(id, x, buttonWidth(id), s(kButtonHeight)); };

    text(kPairLabel, left, width);
    y += s(kLineGap);
    buttonAt(kBluetoothButton, left);
    y += s(kStepGap);

    text(kPortHeading, left, width);
    y += s(kLineGap);
    text(kServiceState, left, width);
    y += s(kLineGap);
    buttonAt(kServiceButton, left);
    y += s(kLineGap);
    if (shown(kAskLabel)) {
        text(kAskLabel, left, width);
        y += s(kLineGap);
        const int top = y;
        buttonAt(kAllowButton, left);
        y = top;
        buttonAt(kRefuseButton, left + buttonWidth(kAllowButton) + s(kLineGap));
        y += s(kLineGap);
    }
    if (shown(kPortChoice)) {
        // The window's height includes the open list.
        MoveWindow(control(kPortChoice), left, y, s(260), s(kEditHeight + 16 * 8), FALSE);
        y += s(kEditHeight) + s(kLineGap);
    }
    text(kPortState, left, width);
    y += s(kLineGap);
    buttonAt(shown(kListenButton) ? kListenButton : kComPortsButton, left);
    y += s(kStepGap);

    text(kRemoteHeading, left, width);
    y += s(kLineGap);
    const int rowTop = y;
    MoveWindow(control(kQrCode), left, rowTop, qrSide, qrSide, FALSE);
    const int column = left + qrSide + s(12);
    const int columnWidth = left + width - column;
    text(kScanHint, column, columnWidth);
    y += s(kLineGap);
    place(kAddressEdit, column, columnWidth, s(kEditHeight));
    y += s(kLineGap);
    buttonAt(kCopyButton, column);
    y = std::max(y, rowTop + qrSide);
    if (shown(kIgnoredNote)) {
        y += s(kLineGap);
        text(kIgnoredNote, left, width);
    }
    y += s(kStepGap);

    text(kHeardHeading, left, width);
    y += s(kLineGap);
    text(kHeardLabel, left, width);
    y += s(kStepGap);
    const int closeWidth = buttonWidth(kCloseButton);
    place(kCloseButton, left + width - closeWidth, closeWidth, s(kButtonHeight));
    y += s(kMargin);

    RECT frame{0, 0, left + width + s(kMargin), y};
    AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi_);
    SetWindowPos(handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(handle(), nullptr, TRUE);
}

void ConnectWindow::show(const RemoteAddress& remote) {
    encoded_ = addressWithVersion(remote.address, phonelink::kProtocolVersion);
    qrCode_ = QrCode(encoded_);
    SetWindowTextW(control(kAddressEdit), encoded_.c_str());
    SetWindowTextW(control(kIgnoredNote),
                   tr(remote.ignoredBecause ? remote.ignoredBecause : kIgnored).c_str());
    setShown(kIgnoredNote, remote.storedIgnored);
    HWND hwnd = handle();
    if (!visible()) {
        shownAt_ = GetTickCount64();
    }
    laidOut_.clear();
    listener_.readPorts();
    // Whether this PC can run the service is said before anything is switched on.
    listener_.bluetoothService().probe();
    refresh();
    if (!shownBefore_) {
        shownBefore_ = true;
        centreOnCursorMonitor(hwnd);
        if (dpiOf(hwnd) != dpi_) {
            applyDpi(dpiOf(hwnd));
        }
    }
    SetTimer(hwnd, kRefreshTimerId, kRefreshInterval, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
}

void ConnectWindow::hide() {
    KillTimer(handle(), kRefreshTimerId);
    ShowWindow(handle(), SW_HIDE);
}

void ConnectWindow::setText(int id, const std::wstring& text) {
    HWND child = control(id);
    const int length = GetWindowTextLengthW(child);
    std::wstring now(static_cast<std::size_t>(length) + 1, L'\0');
    now.resize(static_cast<std::size_t>(GetWindowTextW(child, now.data(), length + 1)));
    if (now != text) {
        SetWindowTextW(child, text.c_str());
    }
}

void ConnectWindow::setShown(int id, bool shown) {
    ShowWindow(control(id), shown ? SW_SHOWNA : SW_HIDE);
}

void ConnectWindow::refresh() {
    static const ports::PortList kNoneRead{};
    const ports::PortList* read = listener_.connectPorts();
    const ports::PortList& ports = read ? *read : kNoneRead;
    const int listened = listener_.listenedPort();
    const std::vector<int> incoming = ports::bluetoothIncomingPorts(ports);
    // The port spoken of: the one the user picked, else the one Keypilot listens on, else the
    // first.
    auto found = [&](int index) {
        return std::find(incoming.begin(), incoming.end(), index) != incoming.end();
    };
    if (found(picked_)) {
        chosen_ = picked_;
    } else if (found(listened)) {
        chosen_ = listened;
    } else if (!found(chosen_)) {
        chosen_ = incoming.empty() ? -1 : incoming.front();
    }
    HWND choice = control(kPortChoice);
    if (incoming != incoming_) {
        incoming_ = incoming;
        SendMessageW(choice, CB_RESETCONTENT, 0, 0);
        for (int index : incoming_) {
            const std::wstring item = portItemText(index, ports[static_cast<std::size_t>(index)]);
            SendMessageW(choice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
    }
    const auto at = std::find(incoming_.begin(), incoming_.end(), chosen_);
    SendMessageW(choice, CB_SETCURSEL,
                 at == incoming_.end() ? static_cast<WPARAM>(-1)
                                       : static_cast<WPARAM>(at - incoming_.begin()),
                 0);

    std::wstring state;
    if (!read) {
        // Nothing to say of the ports until they are read.
    } else if (chosen_ < 0) {
        state = tr(kNoIncoming);
    } else {
        const std::wstring line = portItemText(chosen_, ports[static_cast<std::size_t>(chosen_)]);
        state = framework::formatText(tr(chosen_ == listened ? kListening : kNotListening), {line});
        if (incoming_.size() > 1) {
            state = tr(kSeveral) + L"\n" + state;
        }
    }
    const std::wstring portNote = showService();
    if (!portNote.empty()) {
        state = state.empty() ? portNote : portNote + L"\n" + state;
    }
    setText(kPortState, state);
    setText(kListenButton, framework::formatText(tr(kListenOn), {portNameFor(chosen_)}));
    setShown(kPortChoice, incoming_.size() > 1);
    setShown(kListenButton, chosen_ >= 0 && chosen_ != listened);
    setShown(kComPortsButton, read && chosen_ < 0);

    const auto heard = listener_.phoneLastHeard();
    setText(kHeardLabel, tr(heard && *heard >= shownAt_ ? kHeard : kWaiting));

    // Laid out again only when something of it changed.
    std::wstring now =
        state + L"|" + std::to_wstring(chosen_) + L"|" + std::to_wstring(incoming_.size()) + L"|" +
        std::to_wstring(chosen_ != listened) + L"|" + std::to_wstring(qrCode_.size()) + L"|" +
        std::to_wstring(IsWindowVisible(control(kIgnoredNote))) + L"|" + serviceLaidOut_;
    if (now != laidOut_) {
        laidOut_ = std::move(now);
        layout();
    }
    InvalidateRect(control(kHeardLabel), nullptr, TRUE);
}

std::wstring ConnectWindow::showService() {
    using State = BluetoothService::State;
    const BluetoothService& service = listener_.bluetoothService();
    const auto& phone = service.phone();
    const std::wstring phoneText =
        phone ? (phone->name.empty() ? std::wstring() : L"«" + phone->name + L"» ") + L"(" +
                    bluetoothAddressText(phone->address) + L")"
              : std::wstring();
    std::wstring state;
    switch (service.state()) {
        case State::Off:
            state = service.available() == false
                        ? framework::formatText(tr(kServiceMissing), {service.problem()})
                        : tr(kServiceOff);
            break;
        case State::Starting:
            state = tr(kServiceStarting);
            break;
        case State::Unavailable:
            state = framework::formatText(tr(kServiceDown), {service.problem()});
            break;
        case State::Listening:
        case State::Asking:
            state = tr(kServiceListening);
            break;
        case State::Connected:
            state = framework::formatText(tr(kServicePhone), {phoneText});
            break;
    }
    const bool asking = service.state() == State::Asking;
    setText(kServiceState, state);
    setText(kServiceButton, tr(service.switchedOn() ? kSwitchOff : kSwitchOn));
    setText(kAskLabel, asking ? framework::formatText(tr(kAsks), {phoneText}) + L" " + tr(kAskLimit)
                              : std::wstring());
    for (int id : {kAskLabel, kAllowButton, kRefuseButton}) {
        setShown(id, asking);
    }
    serviceLaidOut_ =
        state + L"|" + std::to_wstring(asking) + std::to_wstring(service.switchedOn());
    const bool up = service.state() == State::Listening || service.state() == State::Asking ||
                    service.state() == State::Connected;
    return up ? tr(kPortNotNeeded) : std::wstring();
}

void ConnectWindow::onCommand(WPARAM wParam) {
    const int id = LOWORD(wParam);
    if (id == kPortChoice && HIWORD(wParam) == CBN_SELCHANGE) {
        const auto at = SendMessageW(control(kPortChoice), CB_GETCURSEL, 0, 0);
        if (at >= 0 && static_cast<std::size_t>(at) < incoming_.size()) {
            picked_ = incoming_[static_cast<std::size_t>(at)];
            refresh();
        }
        return;
    }
    if (HIWORD(wParam) != BN_CLICKED) {
        return;
    }
    switch (id) {
        case kBluetoothButton:
            listener_.openInShell(kBluetoothSettings, L"");
            break;
        case kComPortsButton:
            listener_.openInShell(kRundll, kComPortsTab);
            break;
        case kListenButton:
            if (chosen_ >= 0) {
                listener_.onListen(chosen_);
                // From now on the step speaks of the port listened on.
                picked_ = -1;
                refresh();
            }
            break;
        case kCopyButton:
            copyToClipboard(handle(), encoded_);
            break;
        case kServiceButton:
            listener_.onBluetoothSwitch();
            refresh();
            break;
        case kAllowButton:
        case kRefuseButton:
            listener_.onBluetoothAnswer(id == kAllowButton);
            refresh();
            break;
        case kCloseButton:
            hide();
            break;
        default:
            break;
    }
}

LRESULT ConnectWindow::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = handle();
    switch (msg) {
        case WM_COMMAND:
            onCommand(wParam);
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(kCloseButton, DC_HASDEFID);
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID == static_cast<UINT>(kQrCode)) {
                qrCode_.draw(item->hDC, item->rcItem, modulePixels());
                return TRUE;
            }
            break;
        }
        case WM_TIMER:
            if (wParam == kRefreshTimerId) {
                refresh();
                return 0;
            }
            break;
        case WM_DEVICECHANGE:
            if (visible() && ports::isPortArrivalOrRemoval(wParam, lParam)) {
                listener_.readPorts();
            }
            break;
        case WM_DPICHANGED:
            return onDpiChanged(hwnd, wParam, lParam, [this](UINT dpi) { applyDpi(dpi); });
        case WM_CLOSE:
            hide();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace app
