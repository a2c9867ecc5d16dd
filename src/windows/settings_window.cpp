#include "windows/settings_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "framework/application.h"
#include "framework/hidden_window.h"
#include "settings/settings_values.h"
#include "windows/dialog_window.h"
#include "windows/png_bitmap.h"
#include "windows/resources/resource.h"
#include "windows/window_layout.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotMainWindow";
constexpr UINT kDeferredMessage = WM_APP + 1;
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
// The widest the dropped-down port list grows for long device names, at 96 DPI.
constexpr int kMaxDroppedPortListWidth96 = 400;
// Items the dropped-down port list shows at once; it scrolls to the others.
constexpr int kVisiblePortItems = 12;

constexpr const wchar_t* kDescription =
    uiText(L"дистанционное управление компьютером через мобильный телефон, посредством Bluetooth");
constexpr const wchar_t* kScale = uiText(L"медленнее                      быстрее");
constexpr const wchar_t* kHelp =
    uiText(L"Укажите приложение для запуска по \"горячей\" клавиши телефона");
constexpr const wchar_t* kPhoneButtonsText = uiText(L"Кнопки телефона…");

HFONT makeFont(const wchar_t* face, int height96, UINT dpi, BYTE charset) {
    return CreateFontW(-scaleForDpi(height96, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face);
}

// The window's frame around a client area of the given size at this DPI.
SIZE frameSizeFor(SIZE client, UINT dpi) {
    RECT r{0, 0, client.cx, client.cy};
    AdjustWindowRectExForDpi(&r, kWindowStyle, FALSE, kWindowExStyle, dpi);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

SettingsWindow::SettingsWindow(Listener& listener) : listener_(listener) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    framework::registerWindowClass(kWindowClass, &framework::ownedWindowProcedure<SettingsWindow>,
                                   LoadIconW(instance, MAKEINTRESOURCEW(IDI_KEYPILOT)),
                                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    auto& app = framework::application();
    HWND hwnd = CreateWindowExW(kWindowExStyle, kWindowClass, tr(kCaption).c_str(), kWindowStyle,
                                CW_USEDEFAULT, CW_USEDEFAULT, 10, 10, app.handle(), nullptr,
                                instance, this);
    // The window procedure took ownership of the handle when the window was being created.
    app.setMainWindow(hwnd);
    app.setDialogWindow(hwnd);
    createControls();
    applyDpi(dpiOf(hwnd));
    portChanges_.emplace(hwnd);
}

SettingsWindow::~SettingsWindow() {
    auto& app = framework::application();
    if (app.mainWindow() == window_.get()) {
        app.setMainWindow(nullptr);
        app.setDialogWindow(nullptr);
    }
}

void SettingsWindow::createControls() {
    HWND hwnd = handle();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int id,
                    DWORD exStyle = 0) {
        return CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                               nullptr);
    };
    // Banner.
    make(WC_STATICW, tr(kTitle).c_str(), SS_LEFT | SS_NOPREFIX, kTitleLabel);
    make(WC_STATICW, tr(kDescription).c_str(), SS_LEFT | SS_NOPREFIX, kDescriptionLabel);
    make(WC_STATICW, L"", SS_ICON | SS_CENTERIMAGE | SS_REALSIZECONTROL, kStatusPicture);
    // Created in tab order: program box, speed box, Cancel, OK, port box.
    make(WC_BUTTONW, tr(L"Программа для запуска").c_str(), BS_GROUPBOX, kProgramGroup);
    HWND edit = make(WC_EDITW, kDefaultProgram.data(), WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL,
                     kProgramEdit, WS_EX_CLIENTEDGE);
    SendMessageW(edit, EM_LIMITTEXT, 32767, 0);
    make(WC_BUTTONW, tr(L"...").c_str(), WS_TABSTOP | BS_PUSHBUTTON, kBrowseButton);
    make(WC_STATICW, tr(kHelp).c_str(), SS_LEFT | SS_NOPREFIX, kHelpLabel);
    make(WC_BUTTONW, tr(L"Скорость курсора мыши").c_str(), BS_GROUPBOX, kSpeedGroup);
    HWND slider = make(TRACKBAR_CLASSW, L"",
                       WS_TABSTOP | WS_GROUP | TBS_HORZ | TBS_BOTH | TBS_NOTICKS | TBS_FIXEDLENGTH,
                       kSpeedSlider);
    speedSlider_ = slider;
    SendMessageW(slider, TBM_SETRANGE, FALSE, MAKELPARAM(kMinCursorStep, kMaxCursorStep));
    SendMessageW(slider, TBM_SETPOS, TRUE, kMinCursorStep);
    make(WC_STATICW, tr(kScale).c_str(), SS_CENTER | SS_NOPREFIX, kSpeedScaleLabel);
    make(WC_BUTTONW, tr(kPhoneButtonsText).c_str(), WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON,
         kPhoneButtonsButton);
    make(WC_BUTTONW, tr(L"Отмена").c_str(), WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, kCancelButton);
    make(WC_BUTTONW, tr(L"ОК").c_str(), WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, kOkButton);
    make(WC_BUTTONW, tr(L"Порт для связи с Bluetooth").c_str(), BS_GROUPBOX, kPortGroup);
    HWND ports =
        make(WC_COMBOBOXW, L"", WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST, kPortList);
    // The visual-style list takes its height from this, not from the window's height.
    SendMessageW(ports, CB_SETMINVISIBLE, kVisiblePortItems, 0);
    createTooltip();
}

void SettingsWindow::createTooltip() {
    HWND hwnd = handle();
    tooltip_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                                   GetModuleHandleW(nullptr), nullptr));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd;
    tool.uId = reinterpret_cast<UINT_PTR>(control(kBrowseButton));
    std::wstring browseTip = tr(L"Обзор...");
    tool.lpszText = browseTip.data();
    SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void SettingsWindow::applyDpi(UINT dpi) {
    dpi_ = dpi;
    // Microsoft Sans Serif is the scalable face of MS Sans Serif: sharp at every DPI.
    dialogFont_.reset(makeFont(L"Microsoft Sans Serif", 11, dpi, DEFAULT_CHARSET));
    titleFont_.reset(makeFont(L"Tahoma", 19, dpi, RUSSIAN_CHARSET));
    descriptionFont_.reset(makeFont(L"Tahoma", 11, dpi, RUSSIAN_CHARSET));
    int count = 0;
    const ControlRect* rects = controlRects(count);
    for (int i = 0; i < count; ++i) {
        HGDIOBJ font = dialogFont_.get();
        if (rects[i].id == kTitleLabel) {
            font = titleFont_.get();
        }
        if (rects[i].id == kDescriptionLabel) {
            font = descriptionFont_.get();
        }
        SendMessageW(control(rects[i].id), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // Sized to the texts in the fonts just given, in the user's language.
    Layout layout = fitLayout(
        dpi, [this](int id, int wrapWidth) { return measureText(control(id), wrapWidth); });
    for (const auto& placed : layout.rects) {
        const RECT& r = placed.bounds;
        int height = r.bottom - r.top;
        // A drop-down list's window height includes its open list.
        if (placed.id == kPortList) {
            height = scaleForDpi(21 + 16 * kVisiblePortItems, dpi);
        }
        MoveWindow(control(placed.id), r.left, r.top, r.right - r.left, height, FALSE);
    }
    SendMessageW(control(kPortList), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                 scaleForDpi(21, dpi) - 6);
    SendMessageW(control(kSpeedSlider), TBM_SETTHUMBLENGTH, scaleForDpi(10, dpi), 0);
    SendMessageW(tooltip_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont_.get()), FALSE);
    loadPictures(dpi);
    fitFrame(layout.client, dpi);
    fitDroppedPortList();
    InvalidateRect(handle(), nullptr, TRUE);
}

void SettingsWindow::loadPictures(UINT dpi) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    int pictureSize = scaleForDpi(32, dpi);
    connectedPicture_.reset(static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(IDI_CONNECTED), IMAGE_ICON, pictureSize, pictureSize, 0)));
    disconnectedPicture_.reset(static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(IDI_DISCONNECTED), IMAGE_ICON, pictureSize, pictureSize, 0)));
    waitingPicture_.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_WAITING),
                                                        IMAGE_ICON, pictureSize, pictureSize, 0)));
    setStatusPicture(statusShown_);
    logo_ = loadPngResource(instance, dpi > 120 ? IDB_LOGO_2X : IDB_LOGO);
}

void SettingsWindow::fitFrame(SIZE client, UINT dpi) {
    SIZE frame = frameSizeFor(client, dpi);
    SetWindowPos(handle(), nullptr, 0, 0, frame.cx, frame.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Some systems draw the frame at another scale than they report: measure and correct.
    RECT actual;
    GetClientRect(handle(), &actual);
    if (actual.right != client.cx || actual.bottom != client.cy) {
        SetWindowPos(handle(), nullptr, 0, 0, frame.cx + client.cx - actual.right,
                     frame.cy + client.cy - actual.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void SettingsWindow::show() {
    HWND hwnd = handle();
    if (!shownBefore_) {
        centreOnCursorMonitor(hwnd);
        // The window may have landed on a monitor with another scale.
        UINT dpi = dpiOf(hwnd);
        if (dpi != dpi_) {
            applyDpi(dpi);
        }
    }
    // The application window carries the taskbar button while the settings are shown.
    ShowWindow(framework::application().handle(), SW_SHOWNOACTIVATE);
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    if (!shownBefore_) {
        SetFocus(control(kOkButton));
    }
    shownBefore_ = true;
}

void SettingsWindow::hide() {
    ShowWindow(handle(), SW_HIDE);
    ShowWindow(framework::application().handle(), SW_HIDE);
}

std::optional<std::wstring> SettingsWindow::browseForProgram() {
    return askForProgram(handle());
}

void SettingsWindow::postDeferred() {
    PostMessageW(handle(), kDeferredMessage, 0, 0);
}

void SettingsWindow::setStatusPicture(LinkStatus status) {
    statusShown_ = status;
    HICON icon = status == LinkStatus::Heard     ? connectedPicture_.get()
                 : status == LinkStatus::Waiting ? waitingPicture_.get()
                                                 : disconnectedPicture_.get();
    SendMessageW(control(kStatusPicture), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void SettingsWindow::setPortNames(const std::vector<std::wstring>& names) {
    HWND ports = control(kPortList);
    int chosen = portIndex();
    SendMessageW(ports, WM_SETREDRAW, FALSE, 0);
    SendMessageW(ports, CB_RESETCONTENT, 0, 0);
    for (const auto& name : names) {
        SendMessageW(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    if (chosen >= 0 && chosen < static_cast<int>(names.size())) {
        setPortIndex(chosen);
    }
    SendMessageW(ports, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(ports, nullptr, TRUE);
    fitDroppedPortList();
}

void SettingsWindow::fitDroppedPortList() {
    HWND ports = control(kPortList);
    auto font = reinterpret_cast<HFONT>(SendMessageW(ports, WM_GETFONT, 0, 0));
    framework::WindowDeviceContext dc{ports};
    framework::SelectedObject selected{
        dc.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT)};
    int widest = 0;
    auto count = static_cast<int>(SendMessageW(ports, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        auto length = SendMessageW(ports, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length <= 0) {
            continue;
        }
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(ports, CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(text.data()));
        SIZE extent{};
        GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(length), &extent);
        widest = std::max(widest, static_cast<int>(extent.cx));
    }
    // The items' margins and the list's scroll bar; a list narrower than the box gets the
    // box's width.
    int width = widest + scaleForDpi(8, dpi_) + GetSystemMetricsForDpi(SM_CXVSCROLL, dpi_);
    width = std::min(width, scaleForDpi(kMaxDroppedPortListWidth96, dpi_));
    SendMessageW(ports, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

int SettingsWindow::cursorStep() const {
    return static_cast<int>(SendMessageW(speedSlider_, TBM_GETPOS, 0, 0));
}

void SettingsWindow::setCursorStep(int step) {
    SendMessageW(control(kSpeedSlider), TBM_SETPOS, TRUE, step);
}

std::wstring SettingsWindow::programText() const {
    HWND edit = control(kProgramEdit);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    int n = GetWindowTextW(edit, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(n));
    return text;
}

void SettingsWindow::setProgramText(const std::wstring& text) {
    SetWindowTextW(control(kProgramEdit), text.c_str());
}

int SettingsWindow::portIndex() const {
    return static_cast<int>(SendMessageW(control(kPortList), CB_GETCURSEL, 0, 0));
}

void SettingsWindow::setPortIndex(int index) {
    SendMessageW(control(kPortList), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void SettingsWindow::paintBanner(HDC dc) {
    RECT client;
    GetClientRect(handle(), &client);
    RECT banner{0, 0, client.right, scaleForDpi(kBannerHeight, dpi_)};
    FillRect(dc, &banner, static_cast<HBRUSH>(whiteBrush_.get()));
    // A lowered line under the banner.
    RECT line{0, banner.bottom, client.right, banner.bottom + scaleForDpi(2, dpi_)};
    DrawEdge(dc, &line, BDR_SUNKENOUTER, BF_TOP);
    if (logo_) {
        BITMAP bm{};
        GetObjectW(logo_.get(), sizeof bm, &bm);
        RECT r = scaleForDpi(kLogoRect96, dpi_);
        framework::DeviceContext memory{CreateCompatibleDC(dc)};
        framework::SelectedObject selected{memory.get(), logo_.get()};
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory.get(), 0, 0,
                   bm.bmWidth, bm.bmHeight, SRCCOPY);
    }
}

LRESULT SettingsWindow::onCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
            case kOkButton:
                listener_.onOk();
                return 0;
            case kCancelButton:
                listener_.onCancel();
                return 0;
            case kBrowseButton:
                listener_.onBrowse();
                return 0;
            case kPhoneButtonsButton:
                listener_.onPhoneButtons();
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(handle(), WM_COMMAND, wParam, lParam);
}

LRESULT SettingsWindow::onControlColour(HDC dc, HWND child) {
    int id = GetDlgCtrlID(child);
    if (id == kTitleLabel || id == kDescriptionLabel || id == kStatusPicture) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(whiteBrush_.get());
    }
    // Everything else sits on the window's face colour.
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT SettingsWindow::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = handle();
    switch (msg) {
        case WM_COMMAND:
            return onCommand(wParam, lParam);
        case DM_GETDEFID:
            return MAKELRESULT(kOkButton, DC_HASDEFID);
        case WM_TIMER:
            if (listener_.onTimer(wParam)) {
                return 0;
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            paintBanner(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            return onControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DPICHANGED:
            return onDpiChanged(hwnd, wParam, lParam, [this](UINT dpi) { applyDpi(dpi); });
        case WM_CLOSE:
            listener_.onClose();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) {
                listener_.onEndSession();
            }
            return 0;
        case kDeferredMessage:
            listener_.onDeferred();
            return 0;
        case WM_DEVICECHANGE:
            if (ports::isPortArrivalOrRemoval(wParam, lParam)) {
                listener_.onPortsChanged();
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace app
