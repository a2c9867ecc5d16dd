// Timestamps of the steps a received chunk takes through the program, from the port's event to
// the end of its actions, for the latency benchmark: it shows where a chunk's time goes.
//
// Off unless the process starts with the environment variable KEYPILOT_STAGE_MARKS naming a file
// mapping that its starter has created (the layout below); the program then writes the marks into
// the starter's memory and never into a file. Off, a mark costs a test of a pointer.
#pragma once

#include <atomic>
#include <cstdint>

namespace framework::stage_marks {

enum Stage : int {
    kPortEvent,   // the port's event thread: its wait has ended; begins a chunk's record
    kHandOver,    // the event thread hands the chunk over to the main thread
    kMainThread,  // the main thread takes it up
    kRead,        // the chunk's bytes have been read from the port
    kReader,      // the link's reader has read them
    kStatus,      // what is known about the phone is up to date
    kAction,      // the actions the chunk asks for are done
    kBack,        // the event thread goes on
    kStageCount
};

inline constexpr const wchar_t* kVariable = L"KEYPILOT_STAGE_MARKS";
inline constexpr std::uint32_t kRecordCount = 4096;

// The performance counter (QueryPerformanceCounter, the same in every process) at each stage
// of one chunk; 0 where the chunk did not pass.
struct Record {
    std::int64_t at[kStageCount];
};

// The shared memory: how many chunks have begun, and their records in a ring, chunk n in
// records[(n - 1) % kRecordCount].
struct Shared {
    std::atomic<std::int32_t> begun;
    std::int32_t reserved;
    Record records[kRecordCount];
};
static_assert(std::atomic<std::int32_t>::is_always_lock_free,
              "the count is shared between processes");

// kPortEvent begins a new record; every other stage goes into the latest one. A chunk's stages
// follow each other across the two threads (the event thread waits while the main thread
// works), so a record is never written by two threads at once.
void mark(Stage stage) noexcept;

}  // namespace framework::stage_marks
