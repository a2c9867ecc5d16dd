// COM for the calling thread while this object lives, as a single-threaded apartment (without
// OLE1 DDE, which nothing here needs): undone only if this object did it, so a thread that had
// COM already keeps it as it was. A thread already in the multithreaded apartment keeps that one
// and is served from there.
#pragma once

#include <objbase.h>

namespace framework {

class ComApartment {
  public:
    ComApartment() {
        const HRESULT hr =
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        initialized_ = SUCCEEDED(hr);  // S_FALSE too, which must be balanced as well
        usable_ = initialized_ || hr == RPC_E_CHANGED_MODE;
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (initialized_) {
            CoUninitialize();
        }
    }
    // Whether COM calls can be made on this thread now.
    bool usable() const { return usable_; }

  private:
    bool initialized_ = false;
    bool usable_ = false;
};

}  // namespace framework
