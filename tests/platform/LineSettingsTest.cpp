#include <gtest/gtest.h>

#include "platform/LineSettings.h"

namespace {

LineSettings Built(const std::string& text)
{
    LineSettings settings;
    EXPECT_TRUE(BuildLineSettings(text, settings)) << text;
    return settings;
}

TEST(LineSettings, CommaForm)
{
    const LineSettings plain = Built("9600,n,8,1");
    EXPECT_EQ(plain.baudRate, 9600u);
    EXPECT_EQ(plain.parity, Parity::None);
    EXPECT_EQ(plain.dataBits, 8);
    EXPECT_EQ(plain.stopBits, StopBits::One);
    EXPECT_FALSE(plain.xonXoff);

    const LineSettings other = Built("COM3: 115200, E ,7,2");
    EXPECT_EQ(other.baudRate, 115200u);
    EXPECT_EQ(other.parity, Parity::Even);
    EXPECT_EQ(other.dataBits, 7);
    EXPECT_EQ(other.stopBits, StopBits::Two);

    EXPECT_EQ(Built("300,m,5,1.5").stopBits, StopBits::OneAndHalf);
    EXPECT_EQ(Built("300,m,5,1.5").parity, Parity::Mark);
    EXPECT_EQ(Built("1200,s,6,1").parity, Parity::Space);
    EXPECT_EQ(Built("1200,o,6,1").parity, Parity::Odd);
    EXPECT_TRUE(Built("9600,n,8,1,x").xonXoff);
    EXPECT_TRUE(Built("9600,n,8,1,p").ctsHandshake);
    EXPECT_EQ(Built("96,n,8,1").baudRate, 9600u);  // two-digit short forms
    EXPECT_EQ(Built("11").baudRate, 110u);
    EXPECT_EQ(Built("250000,n,8,1").baudRate, 250000u);
}

TEST(LineSettings, KeywordFormChangesOnlyWhatItNames)
{
    LineSettings settings;
    settings.dataBits = 7;
    ASSERT_TRUE(BuildLineSettings("baud=19200 parity=N data=8 stop=1", settings));
    EXPECT_EQ(settings.baudRate, 19200u);
    EXPECT_EQ(settings.dataBits, 8);

    ASSERT_TRUE(BuildLineSettings("PARITY=e  xon=on octs=off dtr=hs rts=tg to=on odsr=off idsr=on", settings));
    EXPECT_EQ(settings.baudRate, 19200u);
    EXPECT_EQ(settings.parity, Parity::Even);
    EXPECT_TRUE(settings.xonXoff);
    EXPECT_EQ(settings.dtr, LineControl::Handshake);
    EXPECT_EQ(settings.rts, LineControl::Toggle);
}

TEST(LineSettings, RefusedTextLeavesTheSettingsAlone)
{
    LineSettings settings = Built("115200,e,7,2");
    const LineSettings kept = settings;
    for (const char* text : {"", "   ", "fast", "9600,x,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,3", "9600,n,8,1,z",
                             "9600,n,8,1,x,1", "0,n,8,1", "-9600,n,8,1", "9600,,8,1", "baud=", "baud=fast", "speed=9600",
                             "baud=9600 bogus", "dtr=tg", "xon=maybe", "9600;n;8;1", "9600,n,8,1.5x"}) {
        EXPECT_FALSE(BuildLineSettings(text, settings)) << text;
        EXPECT_EQ(settings, kept) << text;
    }
    EXPECT_FALSE(BuildLineSettings(std::string("9600\0,n", 7), settings));
}

TEST(LineSettings, StopBitsMustSuitTheDataBits)
{
    EXPECT_TRUE(LineSettingsConsistent(Built("300,n,5,1.5")));
    EXPECT_FALSE(LineSettingsConsistent(Built("9600,n,8,1.5")));
    EXPECT_FALSE(LineSettingsConsistent(Built("9600,n,5,2")));
    EXPECT_TRUE(LineSettingsConsistent(Built("9600,n,6,2")));
}

}  // namespace
