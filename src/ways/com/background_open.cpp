#include "ways/com/background_open.h"

#include <functional>
#include <utility>

namespace app {

std::unique_ptr<BackgroundOpen> startBackgroundOpen(std::shared_ptr<serial::CommApi> api,
                                                    const std::wstring& portName,
                                                    const serial::DeviceSetup& setup,
                                                    serial::DeviceReleased released, HWND window,
                                                    UINT message, WPARAM id) {
    // Only memory can run out in the calls: the try failed for that.
    serial::OpenedDevice outOfMemory;
    outOfMemory.systemError = ERROR_NOT_ENOUGH_MEMORY;
    return std::make_unique<BackgroundOpen>(
        [api = std::move(api), portName, setup,
         released = std::move(released)](const std::function<bool()>& wanted) {
            // Windows refuses a second open of a port while a handle of the first lives.
            serial::waitForRelease(released);
            if (!wanted()) {
                return serial::OpenedDevice{};
            }
            serial::OpenedDevice opened = serial::openPortDevice(api, portName);
            if (wanted()) {
                serial::setUpDevice(*api, opened, setup);
            }
            return opened;
        },
        std::move(outOfMemory), window, message, id);
}

}  // namespace app
