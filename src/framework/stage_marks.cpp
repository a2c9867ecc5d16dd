#include "framework/stage_marks.h"

#include <windows.h>

#include "framework/handle.h"

namespace framework::stage_marks {
namespace {

// The starter's memory, looked up once; null when the marks are off. Kept until the process
// ends: the starter reads the records afterwards, from its own handle.
Shared* shared() noexcept {
    static const MappedView view = [] {
        wchar_t name[128];
        const DWORD length = GetEnvironmentVariableW(kVariable, name, 128);
        if (length == 0 || length >= 128) {
            return MappedView();
        }
        // The view keeps the mapping alive without its handle.
        const KernelHandle mapping(OpenFileMappingW(FILE_MAP_WRITE, FALSE, name));
        if (!mapping) {
            return MappedView();
        }
        return MappedView(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(Shared)));
    }();
    // Mapped for writing; the owner's type only knows views in general.
    return static_cast<Shared*>(const_cast<void*>(view.get()));
}

}  // namespace

void mark(Stage stage) noexcept {
    Shared* memory = shared();
    if (!memory) {
        return;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    std::int32_t chunk = memory->begun.load(std::memory_order_relaxed);
    if (stage == kPortEvent) {
        memory->begun.store(++chunk, std::memory_order_relaxed);
        memory->records[static_cast<std::uint32_t>(chunk - 1) % kRecordCount] = Record{};
    } else if (chunk == 0) {
        return;
    }
    memory->records[static_cast<std::uint32_t>(chunk - 1) % kRecordCount].at[stage] = now.QuadPart;
}

}  // namespace framework::stage_marks
