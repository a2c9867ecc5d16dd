// A list of pictures for small icons (tray, menus) that stays crisp at any display scaling: each
// picture is kept as its source and the icon is produced at the small-icon size of the moment.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/handle.h"

namespace framework {

class ImageList {
  public:
    ImageList() = default;
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;

    // An icon resource of module (null: the system's stock icons, such as IDI_APPLICATION).
    // Returns the new picture's index.
    int addResourceIcon(HINSTANCE module, UINT resourceId);
    // A copy of icon is kept; the caller keeps its own. Returns the index, or -1 when the icon
    // cannot be copied.
    int addIcon(HICON icon);
    void clear() { pictures_.clear(); }

    int count() const { return static_cast<int>(pictures_.size()); }

    // Picture index as a new icon at the current small-icon size; empty for an index outside the
    // list or a picture that cannot be produced.
    Icon icon(int index) const;

    // The small-icon size the shell asks for now.
    static SIZE smallIconSize();

  private:
    struct Picture {
        HINSTANCE module = nullptr;
        UINT resourceId = 0;
        Icon icon;  // set for pictures given by code
    };
    std::vector<Picture> pictures_;
};

}  // namespace framework
