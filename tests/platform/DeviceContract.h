#pragma once

// What the port engine relies on from a device, whatever its kind and whatever the system: the
// suite is defined once, here, and each system's test program includes it once and instantiates
// it with the kinds it has (INSTANTIATE_TYPED_TEST_SUITE_P). A kind names the target to open and
// one that cannot be opened, plays the device's hardware at the far side (ReadFar, WriteFar),
// and makes the device vanish:
//
//   bool Prepare(std::string& whyNot);   // false skips the test, saying why
//   std::string Target() const;
//   std::string MissingTarget() const;
//   std::string ReadFar(std::size_t count);   // waits up to 10 s for them
//   bool WriteFar(const std::string& bytes);
//   void Vanish();
#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "platform/Device.h"
#include "platform/LineSettings.h"
#include "tests/platform/DeviceIo.h"

template <class Kind>
class DeviceContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        if (!kind.Prepare(why)) {
            GTEST_SKIP() << why;
        }
        device = CreateDevice(kind.Target());
        ASSERT_TRUE(device->Open(kind.Target())) << kind.Target();
        ASSERT_TRUE(device->SetEventMask(EV_RXCHAR));
        // A byte through shows the whole way is up (ser2net opens its device late).
        ASSERT_TRUE(device_io::WriteAll(*device, "!"));
        ASSERT_EQ(kind.ReadFar(1), "!");
    }

    std::size_t WaitForQueued(std::size_t count)
    {
        std::size_t waiting = 0;
        device_io::WaitUntil(*device,
                             [&](const WaitResult&) { return device->InputQueueBytes(waiting) && waiting >= count; });
        return waiting;
    }

    Kind kind;
    std::unique_ptr<Device> device;
};

TYPED_TEST_SUITE_P(DeviceContract);

TYPED_TEST_P(DeviceContract, OpensClosesAndOpensAgain)
{
    EXPECT_TRUE(this->device->IsOpen());
    this->device->Close();
    EXPECT_FALSE(this->device->IsOpen());
    this->device->Close();  // closing twice is harmless
    char byte = 0;
    errno = 0;
    EXPECT_EQ(this->device->Write("x", 1), -1);
    EXPECT_FALSE(this->device->SetEventMask(EV_RXCHAR));
    unsigned errors = 0;
    std::size_t waiting = 0;
    EXPECT_FALSE(this->device->ClearErrors(errors, waiting));
    EXPECT_EQ(this->device->Read(&byte, 1), -1);
    WaitRequest request;
    EXPECT_TRUE(this->device->WaitEvent(request).hungUp);

    ASSERT_TRUE(this->device->Open(this->kind.Target()));
    EXPECT_TRUE(this->device->IsOpen());
    const std::unique_ptr<Device> other = CreateDevice(this->kind.MissingTarget());
    EXPECT_FALSE(other->Open(this->kind.MissingTarget()));
    EXPECT_FALSE(other->IsOpen());
}

TYPED_TEST_P(DeviceContract, CarriesEveryByteValueBothWays)
{
    ASSERT_TRUE(device_io::WriteAll(*this->device, device_io::HardBytes()));
    EXPECT_EQ(this->kind.ReadFar(device_io::HardBytes().size()), device_io::HardBytes());
    ASSERT_TRUE(this->kind.WriteFar(device_io::HardBytes()));
    EXPECT_EQ(device_io::ReadCount(*this->device, device_io::HardBytes().size()), device_io::HardBytes());
}

TYPED_TEST_P(DeviceContract, ReportsAndCountsWaitingInputUntilPurged)
{
    ASSERT_TRUE(this->kind.WriteFar("abc"));
    EXPECT_EQ(this->WaitForQueued(3), 3u);
    WaitRequest request;
    request.timeoutMs = 0;
    EXPECT_EQ(this->device->WaitEvent(request).events, EV_RXCHAR);  // level-triggered: still there
    unsigned errors = 1;
    std::size_t waiting = 0;
    ASSERT_TRUE(this->device->ClearErrors(errors, waiting));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(waiting, 3u);
    char bytes[2] = {};
    EXPECT_EQ(this->device->Read(bytes, sizeof bytes), 2);
    EXPECT_EQ(std::string(bytes, 2), "ab");

    ASSERT_TRUE(this->device->Purge(PURGE_RXABORT | PURGE_RXCLEAR));
    ASSERT_TRUE(this->device->InputQueueBytes(waiting));
    EXPECT_EQ(waiting, 0u);
    EXPECT_EQ(this->device->Read(bytes, sizeof bytes), 0);
    EXPECT_FALSE(this->device->Purge(0x100));
    EXPECT_EQ(errno, EINVAL);
}

TYPED_TEST_P(DeviceContract, AWaitEndsOnWakeAndOnAMaskChange)
{
    for (const bool byMask : {false, true}) {
        auto waiting = std::async(std::launch::async, [this] {
            WaitRequest request;  // no time-out
            return this->device->WaitEvent(request);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (byMask) {
            ASSERT_TRUE(this->device->SetEventMask(EV_RXCHAR | EV_CTS));
        } else {
            this->device->WakeWait();
        }
        ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready) << (byMask ? "mask change" : "wake");
        EXPECT_EQ(waiting.get().events, 0u);
    }
    EXPECT_FALSE(this->device->SetEventMask(0x10000));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(this->device->EventMask(), EV_RXCHAR | EV_CTS);
}

TYPED_TEST_P(DeviceContract, ReportsTheOutputQueueRunningEmpty)
{
    ASSERT_TRUE(this->device->SetEventMask(EV_RXCHAR | EV_TXEMPTY));
    ASSERT_EQ(this->device->Write("out", 3), 3);
    EXPECT_EQ(this->kind.ReadFar(3), "out");
    const WaitResult result =
        device_io::WaitUntil(*this->device, [](const WaitResult& wait) { return (wait.events & EV_TXEMPTY) != 0; });
    EXPECT_EQ(result.events, EV_TXEMPTY);
}

TYPED_TEST_P(DeviceContract, KeepsSettingsItCannotHave)
{
    LineSettings line;
    ASSERT_TRUE(this->device->GetLineSettings(line));
    ASSERT_TRUE(BuildLineSettings("19200,n,8,2", line));
    ASSERT_TRUE(this->device->SetLineSettings(line));
    LineSettings impossible = line;
    ASSERT_TRUE(BuildLineSettings("9600,n,8,1.5", impossible));
    errno = 0;
    EXPECT_FALSE(this->device->SetLineSettings(impossible));
    EXPECT_EQ(errno, EINVAL);
    LineSettings kept;
    ASSERT_TRUE(this->device->GetLineSettings(kept));
    EXPECT_EQ(kept.baudRate, 19200u);
    EXPECT_EQ(kept.stopBits, StopBits::Two);
}

TYPED_TEST_P(DeviceContract, ADeviceThatVanishesIsLostAndNothingSpins)
{
    EXPECT_FALSE(this->device->IsLost());
    EXPECT_TRUE(this->device->CheckPresence());
    // What waited when it went is not promised: a pseudo-terminal's hang-up discards it.
    this->kind.Vanish();
    const WaitResult result = device_io::WaitUntil(*this->device, [](const WaitResult& wait) { return wait.hungUp; });
    EXPECT_TRUE(result.hungUp);
    EXPECT_TRUE(this->device->IsLost());
    EXPECT_FALSE(this->device->CheckPresence());
    char byte = 0;
    EXPECT_LE(this->device->Read(&byte, 1), 0);
    EXPECT_EQ(this->device->Write("x", 1), -1);
    WaitRequest request;
    request.watchOutputRoom = true;
    request.timeoutMs = 1000;
    const auto start = device_io::Clock::now();
    const WaitResult after = this->device->WaitEvent(request);
    EXPECT_TRUE(after.hungUp);
    EXPECT_TRUE(after.outputRoom);
    EXPECT_LT(device_io::Clock::now() - start, std::chrono::milliseconds(500));
    this->device->Close();
    EXPECT_FALSE(this->device->IsOpen());
}

REGISTER_TYPED_TEST_SUITE_P(DeviceContract,
    OpensClosesAndOpensAgain,
    CarriesEveryByteValueBothWays,
    ReportsAndCountsWaitingInputUntilPurged,
    AWaitEndsOnWakeAndOnAMaskChange,
    ReportsTheOutputQueueRunningEmpty,
    KeepsSettingsItCannotHave,
    ADeviceThatVanishesIsLostAndNothingSpins);
