#include "ways/com/background_open.h"

#include <utility>

namespace app {

std::unique_ptr<BackgroundOpen> startBackgroundOpen(std::shared_ptr<serial::CommApi> api,
                                                    const std::wstring& portName, HWND window,
                                                    UINT message, WPARAM id) {
    // Only memory can run out in the call: the try failed for that.
    serial::OpenedDevice outOfMemory;
    outOfMemory.systemError = ERROR_NOT_ENOUGH_MEMORY;
    return std::make_unique<BackgroundOpen>(
        [api = std::move(api), portName] { return serial::openPortDevice(*api, portName); },
        std::move(outOfMemory), window, message, id);
}

}  // namespace app
