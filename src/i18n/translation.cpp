#include "i18n/translation.h"

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "framework/growing_buffer.h"
#include "framework/module_path.h"
#include "framework/resource_strings.h"
#include "framework/translation_hooks.h"
#include "i18n/embedded_catalogues.h"
#include "i18n/translator.h"

namespace i18n {
namespace {

struct Layer {
    std::wstring executablePath;
    std::unique_ptr<EmbeddedCatalogues> embeddedIndex;
    std::vector<std::wstring> resourceStringDomains;
    std::unique_ptr<Translator> sharedInstance;
    framework::ResourceStringLoader previousLoader = nullptr;
};

// Guards the domain list (readers walk it, adding a domain writes) and the layer's lifetime:
// shut-down takes it exclusively, so it never frees the layer under a running translation.
std::shared_mutex& layerLock() {
    static std::shared_mutex lock;
    return lock;
}

std::unique_ptr<Layer>& layer() {
    static std::unique_ptr<Layer> instance;
    return instance;
}

std::wstring translateResourceStringLocked(Layer& state, const std::wstring& text) {
    std::wstring result = text;
    for (const auto& name : state.resourceStringDomains) {
        result = state.sharedInstance->translateInDomain(name, text);
        if (result != text) {
            break;
        }
    }
    return result;
}

// The string table's text, however long.
std::wstring loadStringTableText(HINSTANCE module, UINT id) {
    // String tables hold 16-bit identifiers; LoadStringW would cut a larger one down to its low
    // word and fetch an unrelated text.
    if (id > 0xFFFF) {
        return {};
    }
    // A text that fills the buffer may have been cut.
    return framework::readGrowingBuffer(
        [&](wchar_t* buffer, DWORD size) {
            return LoadStringW(module, id, buffer, static_cast<int>(size));
        },
        1024, 1);
}

}  // namespace

void startup() {
    auto state = std::make_unique<Layer>();
    state->executablePath = framework::modulePath();
    state->embeddedIndex = std::make_unique<EmbeddedCatalogues>(state->executablePath);
    state->embeddedIndex->scanExecutable();
    state->resourceStringDomains.push_back(L"default");
    state->sharedInstance =
        std::make_unique<Translator>(state->executablePath, state->embeddedIndex.get());
    {
        std::unique_lock guard(layerLock());
        if (layer()) {
            return;
        }
        layer() = std::move(state);
        layer()->previousLoader = framework::setResourceStringLoader(&loadResourceStringWide);
        framework::setTranslationHooks({&translateText, &addResourceStringDomain});
    }
}

void shutdown() {
    std::unique_ptr<Layer> state;
    {
        std::unique_lock guard(layerLock());
        state = std::move(layer());
        if (!state) {
            return;
        }
        framework::setResourceStringLoader(state->previousLoader);
        framework::setTranslationHooks({});
    }
    // The translator closes every catalogue, then the index goes.
    state->sharedInstance.reset();
    state->embeddedIndex.reset();
}

std::wstring translateText(const std::wstring& text) {
    std::shared_lock guard(layerLock());
    if (!layer()) {
        return text;
    }
    return layer()->sharedInstance->translate(text);
}

void addResourceStringDomain(const std::wstring& name) {
    std::unique_lock guard(layerLock());
    if (layer()) {
        layer()->resourceStringDomains.push_back(name);
    }
}

std::wstring translateResourceString(const std::wstring& text) {
    std::shared_lock guard(layerLock());
    if (!layer()) {
        return text;
    }
    return translateResourceStringLocked(*layer(), text);
}

std::wstring loadResourceStringWide(HINSTANCE module, UINT id) {
    return translateResourceString(loadStringTableText(module, id));
}

}  // namespace i18n
