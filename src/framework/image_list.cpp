#include "framework/image_list.h"

#include <commctrl.h>

namespace framework {

namespace {

using LoadIconMetricFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, HICON*);

// LoadIconMetric exists only in version 6 of the common controls, which a program gets through
// its manifest; the DLL already mapped into the process is the one the manifest chose.
LoadIconMetricFn loadIconMetricFunction() {
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    if (!comctl) {
        return nullptr;
    }
    return reinterpret_cast<LoadIconMetricFn>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "LoadIconMetric")));
}

}  // namespace

int ImageList::addResourceIcon(HINSTANCE module, UINT resourceId) {
    Picture picture;
    picture.module = module;
    picture.resourceId = resourceId;
    pictures_.push_back(std::move(picture));
    return count() - 1;
}

int ImageList::addIcon(HICON icon) {
    if (!icon) {
        return -1;
    }
    Icon copy{CopyIcon(icon)};
    if (!copy) {
        return -1;
    }
    Picture picture;
    picture.icon = std::move(copy);
    pictures_.push_back(std::move(picture));
    return count() - 1;
}

SIZE ImageList::smallIconSize() {
    return SIZE{GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)};
}

Icon ImageList::icon(int index) const {
    if (index < 0 || index >= count()) {
        return Icon{};
    }
    const Picture& picture = pictures_[static_cast<size_t>(index)];
    SIZE size = smallIconSize();
    if (picture.icon) {
        return Icon{
            static_cast<HICON>(CopyImage(picture.icon.get(), IMAGE_ICON, size.cx, size.cy, 0))};
    }
    const wchar_t* name = MAKEINTRESOURCEW(picture.resourceId);
    if (LoadIconMetricFn loadIconMetric = loadIconMetricFunction()) {
        HICON loaded = nullptr;
        if (SUCCEEDED(loadIconMetric(picture.module, name, LIM_SMALL, &loaded)) && loaded) {
            return Icon{loaded};
        }
    }
    if (picture.module) {
        return Icon{
            static_cast<HICON>(LoadImageW(picture.module, name, IMAGE_ICON, size.cx, size.cy, 0))};
    }
    // The system's stock icons load only shared, and a shared icon must never be destroyed:
    // hand out a copy of our own.
    HICON shared =
        static_cast<HICON>(LoadImageW(nullptr, name, IMAGE_ICON, size.cx, size.cy, LR_SHARED));
    if (!shared) {
        return Icon{};
    }
    return Icon{static_cast<HICON>(CopyImage(shared, IMAGE_ICON, size.cx, size.cy, 0))};
}

}  // namespace framework
