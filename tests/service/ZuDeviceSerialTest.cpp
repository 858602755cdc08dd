#include "ZuDeviceSerial.h"

#include <gtest/gtest.h>

namespace {

const QNetworkInterface::InterfaceFlags up_running = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
const QNetworkInterface::InterfaceFlags loopback = up_running | QNetworkInterface::IsLoopBack;

class ZuDeviceSerialTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        reset_hardware_address();
        set_interface_source([this] {
            ++walks;
            return adapters;
        });
    }

    void TearDown() override
    {
        set_interface_source(nullptr);
        reset_hardware_address();
    }

    ZuInterfaceList adapters;
    int walks = 0;
};

} // namespace

TEST(EncryptSerialTest, MatchesKnownSerials)
{
    EXPECT_EQ(encrypt_serial("00:1A:2B:3C:4D:5E"), "QlqyQEMvfZDduhf6fuFzPe9gFc8kQSwWKL4buc3rTgo=");
    EXPECT_EQ(encrypt_serial("0123456789ABCDEF"), "IQuWG7S8J9LHcc8A6tul0g==");
    EXPECT_EQ(encrypt_serial(QString()), QString());
}

TEST_F(ZuDeviceSerialTest, SerialIsEncryptedAddressOfFirstUsableAdapter)
{
    adapters = {{loopback, "00:00:00:00:00:00"},
                {up_running, "00:1A:2B:3C:4D:5E"},
                {up_running, "11:22:33:44:55:66"}};
    EXPECT_EQ(hardware_address(), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(device_serial(), "QlqyQEMvfZDduhf6fuFzPe9gFc8kQSwWKL4buc3rTgo=");
}

TEST_F(ZuDeviceSerialTest, LoopbackOnlyGivesEmptySerialAndIsAskedAgain)
{
    adapters = {{loopback, "00:00:00:00:00:00"}};
    EXPECT_EQ(device_serial(), QString());
    EXPECT_EQ(device_serial(), QString());
    EXPECT_EQ(walks, 2);
}

TEST_F(ZuDeviceSerialTest, AdapterAppearingLaterIsUsed)
{
    EXPECT_EQ(hardware_address(), QString());
    adapters = {{up_running, "AA:BB:CC:DD:EE:FF"}};
    EXPECT_EQ(hardware_address(), "AA:BB:CC:DD:EE:FF");
}

TEST_F(ZuDeviceSerialTest, FoundAddressIsKeptWhateverAdaptersDoLater)
{
    adapters = {{up_running, "AA:BB:CC:DD:EE:FF"}};
    const QString first = device_serial();
    adapters = {{up_running, "11:22:33:44:55:66"}};
    EXPECT_EQ(device_serial(), first);
    adapters.clear();
    EXPECT_EQ(hardware_address(), "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(walks, 1);
}

TEST_F(ZuDeviceSerialTest, DownOrNotRunningAdaptersAreSkipped)
{
    adapters = {{QNetworkInterface::IsUp, "01:01:01:01:01:01"},
                {QNetworkInterface::IsRunning, "02:02:02:02:02:02"},
                {QNetworkInterface::InterfaceFlags(), "03:03:03:03:03:03"},
                {up_running | QNetworkInterface::CanBroadcast, "04:04:04:04:04:04"}};
    EXPECT_EQ(hardware_address(), "04:04:04:04:04:04");
}

TEST_F(ZuDeviceSerialTest, FirstUsableAdapterWithoutAddressLeavesSerialEmptyAndUncached)
{
    adapters = {{up_running, QString()}, {up_running, "04:04:04:04:04:04"}};
    EXPECT_EQ(hardware_address(), QString());
    adapters.removeFirst();
    EXPECT_EQ(hardware_address(), "04:04:04:04:04:04");
}
