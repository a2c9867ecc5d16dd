// The interface's texts are written in Russian in the source and shown through the translation
// layer. scripts/update-po.sh finds them by these two names.
#pragma once

#include <string>

#include "framework/translation_hooks.h"

namespace app {

// Marks a text kept in a constant for the catalogues; it is translated where it is shown.
constexpr const wchar_t* uiText(const wchar_t* text) {
    return text;
}

// The text in the user's language.
inline std::wstring tr(const wchar_t* text) {
    return framework::translateText(text);
}

}  // namespace app
