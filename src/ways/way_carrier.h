// What a way in is, to everything above it: the carrier of the link's bytes both ways, and what the
// tray and the windows show of it. Each carrier says in its own header how its states map here:
// that is where the ways must differ (a connection the Bluetooth service accepts is a phone there;
// an open COM port is not, since an incoming Bluetooth port opens with no phone anywhere near).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "link/carrier.h"

namespace app {

class WayCarrier : public phonelink::Carrier {
  public:
    enum class CarrierState {
        // Nothing can come in.
        Closed,
        // Bytes may come in, and whether a phone is there only its bytes can tell.
        Open,
        // A phone is there, whether it speaks or not.
        Phone,
    };

    virtual CarrierState carrierState() const = 0;
    // How the tray tip names the way: "COM5", "Bluetooth".
    virtual std::wstring wayName() const = 0;
    // Whether the user has the way on (a port chosen and wanted, the service switched on).
    virtual bool wanted() const = 0;
    // The carrier's own words for how it is now, where the common ones ("waiting for the phone",
    // "connected") do not say enough: why it is down, which phone is in or asks to come in.
    virtual std::optional<std::wstring> stateText() const = 0;
    // Whether the user is asked something here (a phone asks to come in): the tray shows this way
    // before any other.
    virtual bool asksUser() const { return false; }

    // Main thread, for each chunk received, in order; never inside itself.
    std::function<void(const std::string& chunk)> onChunk;
    // Main thread: the connection with whoever was on the link ended (the port closed, the phone
    // went). What comes next is a new phone.
    std::function<void()> onEnded;
    // Main thread: the state or the texts changed.
    std::function<void()> onChange;
};

}  // namespace app
