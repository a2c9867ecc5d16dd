#include "desktop/call_queue.h"

#include <objbase.h>

#include <iterator>
#include <system_error>
#include <thread>

#include "framework/application.h"
#include "framework/exception.h"

namespace app {
namespace {

constexpr UINT kFinishedMessage = WM_APP + 1;
constexpr const wchar_t* kWindowClass = L"KeypilotCallQueue";

}  // namespace

CallQueue::CallQueue(std::size_t waitingLimit, bool comApartment)
    : waitingLimit_(waitingLimit),
      comApartment_(comApartment),
      shared_(std::make_shared<Shared>()) {
    if (!framework::createOwnedMessageWindow(kWindowClass, *this)) {
        framework::raiseLastOSError();
    }
    shared_->window = window_.get();
}

CallQueue::~CallQueue() {
    std::deque<Waiting> dropped;
    {
        std::lock_guard guard(shared_->lock);
        shared_->abandoned = true;
        dropped.swap(shared_->waiting);
        shared_->finished.clear();
    }
}

void CallQueue::post(Call call, Done done) {
    const std::uint64_t id = nextId_++;
    done_.emplace(id, std::move(done));
    std::deque<Waiting> dropped;
    std::lock_guard guard(shared_->lock);
    shared_->waiting.push_back({id, std::move(call)});
    while (waitingLimit_ > 0 && shared_->waiting.size() > waitingLimit_) {
        finish(*shared_, shared_->waiting.front().id, kNotRun);
        dropped.push_back(std::move(shared_->waiting.front()));
        shared_->waiting.pop_front();
    }
    if (shared_->serving) {
        return;
    }
    try {
        std::thread([shared = shared_, com = comApartment_] { serve(shared, com); }).detach();
        shared_->serving = true;
    } catch (const std::system_error&) {
        // No thread can start now: the calls are told they never ran, and the next post tries
        // again.
        for (const auto& waiting : shared_->waiting) {
            finish(*shared_, waiting.id, kNotRun);
        }
        dropped.insert(dropped.end(), std::make_move_iterator(shared_->waiting.begin()),
                       std::make_move_iterator(shared_->waiting.end()));
        shared_->waiting.clear();
    }
}

void CallQueue::serve(const std::shared_ptr<Shared>& shared, bool comApartment) {
    // The shell needs COM on the thread that calls it; nothing here ever creates a window, so the
    // apartment needs no message loop.
    const HRESULT com =
        comApartment ? CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)
                     : E_NOTIMPL;
    while (true) {
        Waiting next{};
        {
            std::lock_guard guard(shared->lock);
            if (shared->abandoned || shared->waiting.empty()) {
                shared->serving = false;
                break;
            }
            next = std::move(shared->waiting.front());
            shared->waiting.pop_front();
        }
        DWORD result = ERROR_INTERNAL_ERROR;
        try {
            result = next.call();
        } catch (...) {
            // The thread's boundary: the call failed, and the owner is told so.
        }
        // What the call holds goes on this thread, never under the lock.
        next.call = nullptr;
        std::lock_guard guard(shared->lock);
        finish(*shared, next.id, result);
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
}

void CallQueue::finish(Shared& shared, std::uint64_t id, DWORD result) {
    if (shared.abandoned) {
        return;
    }
    shared.finished.emplace_back(id, result);
    // The owner's window lives as long as the owner has not let go.
    PostMessageW(shared.window, kFinishedMessage, 0, 0);
}

LRESULT CallQueue::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kFinishedMessage) {
        deliver();
        return 0;
    }
    return DefWindowProcW(window_.get(), msg, wParam, lParam);
}

void CallQueue::deliver() {
    std::vector<std::pair<std::uint64_t, DWORD>> finished;
    {
        std::lock_guard guard(shared_->lock);
        finished.swap(shared_->finished);
    }
    for (const auto& one : finished) {
        auto node = done_.extract(one.first);
        if (node && node.mapped()) {
            // Each on its own, so that one that raises keeps none of the others from its result.
            framework::application().guard([&] { node.mapped()(one.second); });
        }
    }
}

}  // namespace app
