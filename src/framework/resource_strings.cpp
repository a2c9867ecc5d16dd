#include "framework/resource_strings.h"

#include <atomic>

namespace framework {
namespace {

std::atomic<ResourceStringLoader>& currentLoader() {
    static std::atomic<ResourceStringLoader> loader{&loadUntranslatedResourceString};
    return loader;
}

}  // namespace

std::wstring loadUntranslatedResourceString(HINSTANCE module, UINT id) {
    // With a zero buffer size LoadStringW hands out a read-only pointer into the resource,
    // so strings of any length come back whole.
    const wchar_t* text = nullptr;
    int n = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (n <= 0 || text == nullptr) {
        return {};
    }
    return std::wstring(text, static_cast<size_t>(n));
}

std::wstring loadResourceString(HINSTANCE module, UINT id) {
    return currentLoader().load()(module, id);
}

std::wstring loadResourceString(UINT id) {
    return loadResourceString(GetModuleHandleW(nullptr), id);
}

ResourceStringLoader setResourceStringLoader(ResourceStringLoader loader) {
    return currentLoader().exchange(loader ? loader : &loadUntranslatedResourceString);
}

}  // namespace framework
