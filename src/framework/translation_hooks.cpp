#include "framework/translation_hooks.h"

namespace framework {
namespace {

TranslationHooks& hooks() {
    static TranslationHooks installed;
    return installed;
}

}  // namespace

void setTranslationHooks(const TranslationHooks& newHooks) {
    hooks() = newHooks;
}

std::wstring translateText(const std::wstring& text) {
    auto fn = hooks().translateText;
    return fn ? fn(text) : text;
}

void addResourceStringDomain(const std::wstring& domain) {
    if (auto fn = hooks().addResourceStringDomain) {
        fn(domain);
    }
}

}  // namespace framework
