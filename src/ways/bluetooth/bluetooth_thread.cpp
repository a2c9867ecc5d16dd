#include "ways/bluetooth/bluetooth_thread.h"

#include <system_error>
#include <utility>

#include "ways/bluetooth/bluetooth_channel.h"
#include "ways/bluetooth/bluetooth_worker.h"

namespace app {

std::wstring BluetoothNames::name(BluetoothApi& api, std::uint64_t address) {
    {
        std::lock_guard guard(lock_);
        const auto known = names_.find(address);
        if (known != names_.end() && !known->second.empty()) {
            return known->second;
        }
    }
    std::wstring name = api.deviceName(address);
    std::lock_guard guard(lock_);
    names_[address] = name;
    return name;
}

BluetoothThread::BluetoothThread(Task task, std::shared_ptr<BluetoothApi> api,
                                 std::shared_ptr<BluetoothNames> names, BluetoothTimings timings,
                                 std::set<std::uint64_t> allowed, std::set<std::uint64_t> refused,
                                 HWND window, UINT message, WPARAM id)
    : channel_(std::make_shared<BluetoothChannel>()), id_(id) {
    channel_->window = window;
    channel_->message = message;
    channel_->id = id;
    channel_->wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    channel_->finished.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!channel_->wake || !channel_->finished) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
    }
    thread_ =
        std::thread([channel = channel_, api = std::move(api), names = std::move(names), timings,
                     task, allowed = std::move(allowed), refused = std::move(refused)]() mutable {
            int error = ERROR_NOT_ENOUGH_MEMORY;
            try {
                BluetoothWorker worker(*channel, *api, *names, timings, std::move(allowed),
                                       std::move(refused));
                error = worker.run(task);
            } catch (...) {
                // The thread's boundary: only memory can run out in the service's own code. The
                // worker has let go of its phone, record and sockets on the way out, and the UI
                // thread, told why the thread ended, shows the service down.
            }
            channel->finish(error);
        });
}

BluetoothThread::~BluetoothThread() {
    {
        std::lock_guard guard(channel_->lock);
        channel_->abandoned = true;
        channel_->stopAsked = true;
        channel_->reports.clear();
    }
    SetEvent(channel_->wake.get());
    // A thread that is done is joined; one still letting go ends by itself.
    if (WaitForSingleObject(channel_->finished.get(), 0) == WAIT_OBJECT_0) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

HANDLE BluetoothThread::finished() const {
    return channel_->finished.get();
}

void BluetoothThread::request(BluetoothRequest request) {
    {
        std::lock_guard guard(channel_->lock);
        channel_->requests.push_back(std::move(request));
    }
    SetEvent(channel_->wake.get());
}

void BluetoothThread::setPhones(std::set<std::uint64_t> allowed, std::set<std::uint64_t> refused) {
    BluetoothRequest phones;
    phones.kind = BluetoothRequest::Kind::Phones;
    phones.allowed = std::move(allowed);
    phones.refused = std::move(refused);
    request(std::move(phones));
}

void BluetoothThread::answer(std::uint64_t number, std::uint64_t generation, bool allow) {
    BluetoothRequest answer;
    answer.kind = BluetoothRequest::Kind::Answer;
    answer.number = number;
    answer.generation = generation;
    answer.allow = allow;
    request(std::move(answer));
}

void BluetoothThread::radioArrived() {
    BluetoothRequest arrived;
    arrived.kind = BluetoothRequest::Kind::RadioArrived;
    request(std::move(arrived));
}

void BluetoothThread::radioLeft() {
    BluetoothRequest left;
    left.kind = BluetoothRequest::Kind::RadioLeft;
    request(std::move(left));
}

void BluetoothThread::send(std::uint64_t generation, std::string bytes) {
    BluetoothRequest send;
    send.kind = BluetoothRequest::Kind::Send;
    send.generation = generation;
    send.bytes = std::move(bytes);
    request(std::move(send));
}

void BluetoothThread::stop() {
    {
        std::lock_guard guard(channel_->lock);
        channel_->stopAsked = true;
    }
    SetEvent(channel_->wake.get());
}

void BluetoothThread::chunkHandled(std::uint64_t number) noexcept {
    channel_->handled.store(number);
    SetEvent(channel_->wake.get());
}

std::optional<BluetoothReport> BluetoothThread::take() {
    std::lock_guard guard(channel_->lock);
    if (!channel_->reports.empty()) {
        BluetoothReport report = std::move(channel_->reports.front());
        channel_->reports.pop_front();
        return report;
    }
    if (channel_->done && !channel_->doneTaken) {
        channel_->doneTaken = true;
        BluetoothReport report;
        report.kind = BluetoothReport::Kind::Finished;
        report.error = channel_->doneError;
        return report;
    }
    return std::nullopt;
}

}  // namespace app
