// A Keypilot that listens on the testbed's first port pair, started from settings of its own (the
// port, and whatever the test stores before the start), with the test as the phone on the other
// end. The chunks and bytes Keypilot has read are counted, so that a test knows when a write has
// been handled.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "session_claim.h"
#include "wine_test_support.h"

namespace testing_support {

class KeypilotOnPort : public ::testing::Test {
  protected:
    static constexpr const wchar_t* kSection = L"Software\\Corvane\\Keypilot";

    void SetUp() override {
        framework::application().initialize();
        framework::application().setTitle(L"Keypilot");
        deleteUserKey(L"Software\\Corvane");
        const auto ports = testbedPair(0);
        auto section = framework::RegistryKey::create(HKEY_CURRENT_USER, kSection);
        section.writeText(L"com", std::to_wstring(std::stoi(ports.local.substr(3)) - 1));
        storeSettings(section);
        keypilot_ = std::make_unique<app::Keypilot>(sessionClaim());
        beforeStart(*keypilot_);
        keypilot_->start();
        ASSERT_TRUE(pumpUntil([&] { return keypilot_->comPort().connected(); }));
        auto handler = keypilot_->comPort().onRxChar;
        keypilot_->comPort().onRxChar = [this, handler](serial::SerialPort& port, int32_t count) {
            handler(port, count);
            ++chunksHandled_;
            bytesHandled_ += count;
        };
        phone_ = std::make_unique<PortEnd>(ports.remote);
        ASSERT_TRUE(phone_->isOpen());
        SetCursorPos(300, 300);
    }
    void TearDown() override {
        phone_.reset();
        keypilot_.reset();
        deleteUserKey(L"Software\\Corvane");
    }
    // Settings of the test's own, stored before the start.
    virtual void storeSettings(const framework::RegistryKey& /*section*/) {}
    // What the test sets on the Keypilot before it starts.
    virtual void beforeStart(app::Keypilot& /*keypilot*/) {}

    std::unique_ptr<app::Keypilot> keypilot_;
    std::unique_ptr<PortEnd> phone_;
    int chunksHandled_ = 0;
    std::int64_t bytesHandled_ = 0;
};

}  // namespace testing_support
