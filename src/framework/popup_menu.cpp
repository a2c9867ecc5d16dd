#include "framework/popup_menu.h"

#include <stdexcept>

#include "framework/application.h"
#include "framework/hidden_window.h"

namespace framework {

namespace {

UINT trackMenu(HMENU menu, HWND owner, int x, int y) {
    // TPM_RETURNCMD hands the choice back here instead of as WM_COMMAND to the owner, so the
    // owner needs no knowledge of the menu.
    return static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_LEFTALIGN, x, y,
                       0, owner, nullptr));
}

HWND createOwnWindow() {
    return createHiddenWindow(L"KeypilotPopupMenuOwner", DefWindowProcW, nullptr, WS_EX_TOOLWINDOW);
}

}  // namespace

int PopupMenu::addItem(std::wstring caption, std::function<void()> onClick, bool isDefault) {
    Item item;
    item.caption = std::move(caption);
    item.onClick = std::move(onClick);
    item.isDefault = isDefault;
    items_.push_back(std::move(item));
    return count() - 1;
}

int PopupMenu::addSeparator() {
    return addItem(L"-", nullptr);
}

PopupMenu::Item& PopupMenu::item(int index) {
    if (index < 0 || index >= count()) {
        throw std::out_of_range("menu item index out of range");
    }
    return items_[static_cast<size_t>(index)];
}

const PopupMenu::Item& PopupMenu::item(int index) const {
    return const_cast<PopupMenu*>(this)->item(index);
}

int PopupMenu::defaultItemIndex() const {
    for (int i = 0; i < count(); ++i) {
        if (items_[static_cast<size_t>(i)].isDefault) {
            return i;
        }
    }
    return -1;
}

bool PopupMenu::clickItem(int index) {
    if (index < 0 || index >= count()) {
        return false;
    }
    const Item& chosen = items_[static_cast<size_t>(index)];
    if (chosen.separator() || !chosen.enabled || !chosen.onClick) {
        return false;
    }
    // The action may change the menu or destroy it: run a copy. It is an event handler, so its
    // error is shown like any handler's and goes no further.
    std::function<void()> action = chosen.onClick;
    application().guard(action);
    return true;
}

Menu PopupMenu::buildMenu() const {
    Menu menu{CreatePopupMenu()};
    if (!menu) {
        return menu;
    }
    bool defaultSet = false;
    for (int i = 0; i < count(); ++i) {
        const Item& it = items_[static_cast<size_t>(i)];
        if (it.separator()) {
            AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING | (it.checked ? MF_CHECKED : MF_UNCHECKED) |
                     (it.enabled ? MF_ENABLED : MF_GRAYED);
        AppendMenuW(menu.get(), flags, static_cast<UINT_PTR>(i) + 1, it.caption.c_str());
        if (it.isDefault && !defaultSet) {
            SetMenuDefaultItem(menu.get(), static_cast<UINT>(i), TRUE);
            defaultSet = true;
        }
    }
    return menu;
}

HWND PopupMenu::owner() {
    if (HWND app = application().handle()) {
        return app;
    }
    if (!ownWindow_) {
        ownWindow_.reset(createOwnWindow());
    }
    return ownWindow_.get();
}

int PopupMenu::popup(int x, int y) {
    if (onPopup) {
        onPopup();
    }
    UINT command = 0;
    {
        Menu menu = buildMenu();
        if (!menu) {
            return -1;
        }
        command = trackMenu(menu.get(), owner(), x, y);
    }
    if (command == 0 || command > static_cast<UINT>(count())) {
        return -1;
    }
    int index = static_cast<int>(command) - 1;
    // Nothing of this object may be touched after the action: it may have destroyed the menu.
    clickItem(index);
    return index;
}

}  // namespace framework
