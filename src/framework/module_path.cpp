#include "framework/module_path.h"

#include "framework/growing_buffer.h"

namespace framework {

std::wstring modulePath(HMODULE module) {
    // A full buffer means the path may have been cut: the call returns the buffer's size then.
    return readGrowingBuffer(
        [module](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(module, buffer, size); });
}

}  // namespace framework
