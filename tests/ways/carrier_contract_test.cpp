// What every way back to the phone promises, held against both: the COM port (its writer on a real
// port pair, writes made to hang through the driver stand-in, which a pseudo-terminal cannot be)
// and Keypilot's own Bluetooth service (above its Winsock calls, which Wine has not). Every send
// gets exactly one outcome, whatever ends the write: the phone taking it, the write given up, the
// link closed by Keypilot or dropped by the far end. And a talk that ends forgets what it waited
// for, so the phone's next hello is answered.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fake_bluetooth_api.h"
#include "framework/application.h"
#include "hanging_write_comm_api.h"
#include "link/carrier.h"
#include "link/talk.h"
#include "testbed.h"
#include "ways/bluetooth/bluetooth_service.h"
#include "ways/com/port_connection.h"
#include "ways/way.h"
#include "wine_test_support.h"

using testing_support::pumpUntil;

namespace {

// Passes everything on, both ways, and counts the sends and their outcomes.
class CountingCarrier final : public app::WayCarrier {
  public:
    explicit CountingCarrier(app::WayCarrier& inner) : inner_(inner) {
        inner_.onSent = [this](phonelink::SendOutcome outcome) {
            ++outcomes;
            last = outcome;
            pass(onSent, outcome);
        };
        inner_.onChunk = [this](const std::string& chunk) { pass(onChunk, chunk); };
        inner_.onEnded = [this] { pass(onEnded); };
        inner_.onChange = [this] { pass(onChange); };
    }
    ~CountingCarrier() override {
        inner_.onSent = nullptr;
        inner_.onChunk = nullptr;
        inner_.onEnded = nullptr;
        inner_.onChange = nullptr;
    }
    void send(std::string bytes) override {
        ++sends;
        inner_.send(std::move(bytes));
    }
    CarrierState carrierState() const override { return inner_.carrierState(); }
    std::wstring wayName() const override { return inner_.wayName(); }
    bool wanted() const override { return inner_.wanted(); }
    std::optional<std::wstring> stateText() const override { return inner_.stateText(); }

    int sends = 0;
    int outcomes = 0;
    phonelink::SendOutcome last = phonelink::SendOutcome::Written;

  private:
    template <class Callback, class... Args>
    static void pass(const Callback& callback, const Args&... args) {
        if (callback) {
            callback(args...);
        }
    }
    app::WayCarrier& inner_;
};

// The COM port: a port pair of the testbed, its writes held by the driver stand-in.
class ComPortBench {
  public:
    static constexpr std::uint64_t kGiveUpMs = phonelink::kWriteTimeoutMs;

    ComPortBench() : pair_(testing_support::testbedPair(0)) { connection_.port().setCommApi(api_); }
    app::WayCarrier& carrier() { return connection_; }
    bool connect() {
        connection_.keepOpen(pair_.local);
        if (!pumpUntil([&] { return connection_.connected(); })) {
            return false;
        }
        phone_ = std::make_unique<testing_support::PortEnd>(pair_.remote);
        return phone_->isOpen();
    }
    // Writes taken on from now hang until the link ends.
    void hang(bool on) { api_->hang(on); }
    bool writeHangs() { return api_->pending(); }
    // OK in the settings window with the port open: it closes.
    bool close() {
        connection_.toggle(pair_.local);
        return pumpUntil([&] { return !connection_.connected(); });
    }
    // The far end goes, and comes back.
    bool dropAndReturn() {
        testing_support::DroppedLink link(pair_.local);
        if (!link.drop() || !pumpUntil([&] { return !connection_.connected(); }, 10000)) {
            return false;
        }
        phone_.reset();
        return link.restore() && connect();
    }
    bool linkUp() { return connection_.connected(); }
    // The phone writes.
    bool say(const std::string& bytes) { return phone_->send(bytes); }
    // Whether the phone's end reads `text` within 5 s; the program's messages are served
    // meanwhile.
    bool phoneReads(const std::string& text) {
        return pumpUntil([&] {
            read_ += phone_->read(10);
            return read_.find(text) != std::string::npos;
        });
    }

  private:
    testing_support::PortPair pair_;
    std::shared_ptr<testing_support::HangingWriteCommApi> api_ =
        std::make_shared<testing_support::HangingWriteCommApi>();
    app::PortConnection connection_;
    std::unique_ptr<testing_support::PortEnd> phone_;
    std::string read_;
};

// Keypilot's own service with an allowed phone, its sends held by the phone not reading.
class BluetoothBench {
  public:
    static constexpr std::uint64_t kGiveUpMs = 300;
    static constexpr std::uint64_t kPhone = 0xA0A1A2A3A4A5;

    BluetoothBench() : service_(api_, 200, static_cast<UINT>(kGiveUpMs)) {
        service_.setPhones({kPhone}, {});
    }
    app::WayCarrier& carrier() { return service_; }
    bool connect() {
        service_.switchOn();
        if (!pumpUntil(
                [&] { return service_.state() == app::BluetoothService::State::Listening; })) {
            return false;
        }
        link_ = api_->connect(kPhone);
        return pumpUntil([&] { return service_.connected(); });
    }
    void hang(bool on) { api_->setStuck(link_, on); }
    bool writeHangs() { return api_->blocked(link_) && service_.connected(); }
    // The service switched off: the phone is let go.
    bool close() {
        service_.switchOff();
        return !service_.connected();
    }
    // The phone walks out of range during the write, and comes back.
    bool dropAndReturn() {
        api_->leave(link_);
        return pumpUntil([&] { return !service_.connected(); }) && connect();
    }
    bool linkUp() { return service_.connected(); }
    bool say(const std::string& bytes) {
        api_->say(link_, bytes);
        return true;
    }
    bool phoneReads(const std::string& text) {
        return pumpUntil([&] { return api_->received(link_).find(text) != std::string::npos; });
    }

  private:
    std::shared_ptr<testing_support::FakeBluetoothApi> api_ =
        std::make_shared<testing_support::FakeBluetoothApi>();
    app::BluetoothService service_;
    app::BluetoothSocket link_ = app::kNoSocket;
};

// A way over the bench's carrier, as Keypilot has it: the phone's hello is answered with the
// number of hellos heard so far.
template <class Bench>
class CarrierContractTest : public ::testing::Test, private app::Way::Listener {
  protected:
    void SetUp() override {
        framework::application().initialize();
        bench_ = std::make_unique<Bench>();
        auto counted = std::make_unique<CountingCarrier>(bench_->carrier());
        counted_ = counted.get();
        phonelink::PhoneTalk::Lines lines;
        lines.helloAnswer = [this] { return "{\"hello\":" + std::to_string(hellos_) + "}\n"; };
        app::Way::Listener& listener = *this;
        way_ = std::make_unique<app::Way>(std::move(counted), listener, lines,
                                          [] { return GetTickCount64(); });
    }
    void TearDown() override {
        way_.reset();
        bench_.reset();
    }
    // The phone says hello; true once its answer has reached it.
    bool helloAnswered() {
        const int hello = ++hellos_;
        return bench_->say("HI04") &&
               bench_->phoneReads("{\"hello\":" + std::to_string(hello) + "}\n");
    }
    // Every send has had its outcome, and none came twice.
    bool settled() {
        return pumpUntil([&] { return counted_->outcomes >= counted_->sends; }, 5000) &&
               testing_support::waitForTimerTicks(10, 3) && counted_->outcomes == counted_->sends;
    }
    // A hello whose answer hangs in its write.
    void helloThatHangs() {
        bench_->hang(true);
        const int sends = counted_->sends;
        ++hellos_;
        ASSERT_TRUE(bench_->say("HI04"));
        ASSERT_TRUE(pumpUntil([&] { return counted_->sends > sends && bench_->writeHangs(); }));
    }

    std::unique_ptr<Bench> bench_;
    CountingCarrier* counted_ = nullptr;
    std::unique_ptr<app::Way> way_;
    int hellos_ = 0;

  private:
    void onHeard(app::Way&) override {}
    void onMessages(app::Way& way, const std::vector<phonelink::Message>& messages) override {
        for (const auto& message : messages) {
            way.onTalkMessage(message);
        }
    }
    void onEnded(app::Way&) override {}
    void onChanged(app::Way&) override {}
};

using Benches = ::testing::Types<ComPortBench, BluetoothBench>;
TYPED_TEST_SUITE(CarrierContractTest, Benches);

TYPED_TEST(CarrierContractTest, AHelloAfterACloseDuringAWriteIsAnswered) {
    ASSERT_TRUE(this->bench_->connect());
    ASSERT_TRUE(this->helloAnswered());
    this->helloThatHangs();

    // Two OKs in the settings window, or the service switched off and on.
    ASSERT_TRUE(this->bench_->close());
    EXPECT_FALSE(this->way_->talking());
    ASSERT_TRUE(this->bench_->connect());
    this->bench_->hang(false);
    EXPECT_TRUE(this->settled()) << this->counted_->sends << " sends, " << this->counted_->outcomes
                                 << " outcomes";
    EXPECT_TRUE(this->helloAnswered());
    EXPECT_TRUE(this->settled());
}

TYPED_TEST(CarrierContractTest, AHelloAfterTheFarEndDroppedDuringAWriteIsAnswered) {
    ASSERT_TRUE(this->bench_->connect());
    this->helloThatHangs();

    ASSERT_TRUE(this->bench_->dropAndReturn());
    EXPECT_FALSE(this->way_->talking());
    this->bench_->hang(false);
    EXPECT_TRUE(this->settled());
    EXPECT_TRUE(this->helloAnswered());
    EXPECT_TRUE(this->settled());
}

TYPED_TEST(CarrierContractTest, AWriteGivenUpEndsTheTalkLeavesTheLinkUpAndTheNextHelloIsAnswered) {
    ASSERT_TRUE(this->bench_->connect());
    this->helloThatHangs();
    ASSERT_TRUE(pumpUntil([&] { return this->counted_->outcomes == 1; },
                          static_cast<DWORD>(3 * TypeParam::kGiveUpMs + 2000)));
    EXPECT_EQ(this->counted_->last, phonelink::SendOutcome::GivenUp);
    EXPECT_FALSE(this->way_->talking());
    EXPECT_TRUE(this->bench_->linkUp()) << "the phone's presses may still be coming";

    // The next line starts on a line of its own, whatever part of the last one went.
    this->bench_->hang(false);
    EXPECT_TRUE(this->helloAnswered());
    EXPECT_TRUE(this->bench_->phoneReads("\n{\"hello\":2}\n"));
    EXPECT_TRUE(this->settled());
}

TYPED_TEST(CarrierContractTest, ASendWithTheLinkClosedFailsOnceAndWritesNothing) {
    ASSERT_TRUE(this->bench_->connect());
    ASSERT_TRUE(this->bench_->close());
    this->counted_->send("{\"nobody\":1}\n");
    EXPECT_TRUE(this->settled());
    EXPECT_EQ(this->counted_->last, phonelink::SendOutcome::Failed);
}

}  // namespace
