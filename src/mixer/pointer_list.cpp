#include "mixer/pointer_list.h"

#include <string>

#include "framework/resource_strings.h"
#include "framework/text.h"

namespace mixer {

void raiseListIndexError(int32_t index) {
    throw ListError(framework::formatText(framework::loadResourceString(IDS_LIST_INDEX_ERROR),
                                          {std::to_wstring(index)}));
}

}  // namespace mixer
