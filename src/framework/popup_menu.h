// A popup menu: a flat list of items, each with its own click action, shown at a point of the
// screen. The native menu is built afresh for every showing, so it always matches the items.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/handle.h"

namespace framework {

class PopupMenu {
  public:
    struct Item {
        std::wstring caption;  // "-" makes a separator
        std::function<void()> onClick;
        bool isDefault = false;  // shown bold; the item a double click on a tray icon runs
        bool checked = false;
        bool enabled = true;
        bool separator() const { return caption == L"-"; }
    };

    PopupMenu() = default;
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;
    ~PopupMenu() = default;

    // Each returns the new item's index.
    int addItem(std::wstring caption, std::function<void()> onClick, bool isDefault = false);
    int addSeparator();

    int count() const { return static_cast<int>(items_.size()); }
    // Throws std::out_of_range for an index outside the list.
    Item& item(int index);
    const Item& item(int index) const;

    bool checked(int index) const { return item(index).checked; }
    void setChecked(int index, bool checked) { item(index).checked = checked; }
    bool enabled(int index) const { return item(index).enabled; }
    void setEnabled(int index, bool enabled) { item(index).enabled = enabled; }

    // Whether the menu opens on its own when its owner asks (a tray icon's right button).
    bool autoPopup() const { return autoPopup_; }
    void setAutoPopup(bool autoPopup) { autoPopup_ = autoPopup; }

    // The object that showed the menu last; its click actions may want to know.
    const void* popupComponent() const { return popupComponent_; }
    void setPopupComponent(const void* component) { popupComponent_ = component; }

    // Runs before the menu is shown.
    std::function<void()> onPopup;

    // The lowest index whose Default flag is set, or -1.
    int defaultItemIndex() const;
    // Runs the item's click action when it is enabled and not a separator; true when it ran. An
    // error of the action goes to the application's error display, never to the caller.
    bool clickItem(int index);

    // Shows the menu at the screen point, returns when it has closed, then runs the chosen
    // item's click action. Returns the chosen index, or -1 when nothing was chosen.
    int popup(int x, int y);

    // Builds the native menu as the items stand: item i has command identifier i + 1.
    Menu buildMenu() const;

  private:
    // The window that owns the menu while it is shown: the application window, and without that
    // a hidden window of the menu's own.
    HWND owner();

    std::vector<Item> items_;
    bool autoPopup_ = true;
    const void* popupComponent_ = nullptr;
    Window ownWindow_;
};

}  // namespace framework
