#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "settings/config.h"

namespace skyfault {
namespace {

using namespace std::string_literals;

TEST(WriteCFG, FullFileLayout) {
    Settings settings = FirstStartSettings();
    settings.rateDenominator = " 500";
    settings.checkInterval = "1.5";
    settings.activated = false;
    settings.audioNotify = true;
    settings.audioBox = 2;
    settings.visualNotify = false;
    settings.textBox = 1;  // the written value follows visualNotify, not the box
    settings.fuelLeakSpeed = 2;
    settings.pauseWithSim = 2;
    settings.allowed[0] = 0;
    settings.allowed[15] = 2;
    settings.defaultSound = "C:\\snd\\d.wav";
    settings.soundFiles[3] = "C:\\snd\\d.wav";  // equal to the default: not written
    settings.soundFiles[7] = "C:\\snd\\gauge.wav";
    settings.soundFiles[24] = "";
    settings.soundFiles[50] = "slot50.wav";
    settings.systemStr[18] = "42,1,2,3,4,5,6,C";
    settings.systemStr[24] = "";

    const std::string expected =
        "[General]\r\n"
        "Rate= 500\r\n"
        "Frequency=1.5\r\n"
        "Activated=0\r\n"
        "AudioNotification=1\r\n"
        "VisualNotification=0\r\n"
        "FuelLeakSpeed=2\r\n"
        "PauseWithSim=2\r\n"
        "\r\n"
        "[Failures]\r\n"
        "ADF=0\r\n"
        "AirspeedIndicator=1\r\n"
        "Altimeter=1\r\n"
        "AttitudeIndicator=1\r\n"
        "COMradio=1\r\n"
        "Compass=1\r\n"
        "Electrics=1\r\n"
        "EngineGauge=1\r\n"
        "FuelIndicators=1\r\n"
        "HeadingIndicator=1\r\n"
        "NAVradios=1\r\n"
        "Pitot=1\r\n"
        "Transponder=1\r\n"
        "TurnCoordinator=1\r\n"
        "Vacuum=1\r\n"
        "VerticalSpeedIndicator=2\r\n"
        "Engine1=1\r\n"
        "Engine2=1\r\n"
        "Engine3=1\r\n"
        "Engine4=1\r\n"
        "LandingGear=1\r\n"
        "LeftTank=1\r\n"
        "RightTank=1\r\n"
        "CenterTank=1\r\n"
        "Flaps=1\r\n"
        "\r\n"
        "[Sounds]\r\n"
        "DefaultSound=C:\\snd\\d.wav\r\n"
        "SoundFile7=C:\\snd\\gauge.wav\r\n"
        "SoundFile24=\r\n"
        "SoundFile50=slot50.wav\r\n"
        "\r\n"
        "[Systems]\r\n"
        "ADFStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "AirspeedIndicatorStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "AltimeterStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "AttitudeIndicatorStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "COMradioStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "CompassStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "ElectricsStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "EngineGaugeStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "FuelIndicatorsStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "HeadingIndicatorStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "NAVradiosStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "PitotStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "TransponderStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "TurnCoordinatorStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "VacuumStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "VerticalSpeedIndicatorStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "Engine1Str=1000,0,999,-50,100,-999,99999,D\r\n"
        "Engine2Str=1000,0,999,-50,100,-999,99999,D\r\n"
        "Engine3Str=42,1,2,3,4,5,6,C\r\n"
        "Engine4Str=1000,0,999,-50,100,-999,99999,D\r\n"
        "LandingGearStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "LeftTankStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "RightTankStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "CenterTankStr=1000,0,999,-50,100,-999,99999,D\r\n"
        "FlapsStr=\r\n";
    EXPECT_EQ(WriteCFG(settings), expected);
}

TEST(WriteCFG, LineBreaksInsideValuesCannotStartNewLines) {
    Settings settings;
    settings.defaultSound = "a\r\nRate=1";
    settings.systemStr[0] = "1\n2";
    const std::string file = WriteCFG(settings);
    EXPECT_NE(file.find("\r\nDefaultSound=aRate=1\r\n"), std::string::npos);
    EXPECT_NE(file.find("\r\nADFStr=12\r\n"), std::string::npos);
    Settings back;
    ApplyConfig(back, file);
    EXPECT_EQ(back.rateDenominator, "1000");
}

// Reading a written file gives back the model (a sound equal to the default
// comes back as none) and writing it again gives the same bytes.
class RoundTrip : public ::testing::Test {
protected:
    std::mt19937 random_{20240611u};

    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    // Any text that can stand as a value: 8-bit bytes, blanks, commas, "=",
    // NUL, but no line break.
    std::string Text(int maxLength) {
        static const std::string alphabet = "aZ09 ,.-\\:/\t\"'[]*?=\xE9\xFF\x01"s + '\0';
        std::string text;
        const int length = Pick(0, maxLength);
        for (int i = 0; i < length; ++i) {
            text.push_back(
                alphabet[static_cast<std::size_t>(Pick(0, static_cast<int>(alphabet.size()) - 1))]);
        }
        return text;
    }

    std::string RateText() {
        switch (Pick(0, 3)) {
            case 0:
                return std::to_string(Pick(1, 65000));
            case 1:
                return " " + std::to_string(Pick(1, 65000));
            case 2:
                return std::to_string(Pick(1, 99)) + "." + std::to_string(Pick(0, 9));
            default:
                return std::to_string(Pick(1, 500)) + "abc";
        }
    }

    std::string IntervalText() {
        switch (Pick(0, 2)) {
            case 0:
                return std::to_string(Pick(1, 65));
            case 1:
                return std::to_string(Pick(1, 64)) + ".5";
            default:
                return " " + std::to_string(Pick(1, 65)) + "s";
        }
    }

    Settings RandomModel() {
        Settings settings;
        settings.rateDenominator = RateText();
        settings.checkInterval = IntervalText();
        settings.activated = Pick(0, 1) == 1;
        settings.audioNotify = Pick(0, 1) == 1;
        settings.audioBox = settings.audioNotify ? 1 : 0;
        settings.visualNotify = Pick(0, 1) == 1;
        settings.textBox = settings.visualNotify ? 1 : 0;
        settings.fuelLeakSpeed = Pick(0, 2);
        settings.fuelLeakOption = settings.fuelLeakSpeed;
        settings.pauseWithSim = Pick(0, 2);
        settings.defaultSound = Pick(0, 4) == 0 ? "" : Text(30);
        for (auto& allowed : settings.allowed) {
            allowed = Pick(0, 2);
        }
        for (int slot = 0; slot < kSlotCount; ++slot) {
            auto& sound = settings.soundFiles[static_cast<std::size_t>(slot)];
            switch (Pick(0, 3)) {
                case 0:
                    sound = std::string(kUndefinedSound);
                    break;
                case 1:
                    sound = settings.defaultSound;
                    break;
                default:
                    sound = Text(40);
            }
            if (slot < kSystemCount) {
                settings.systemStr[static_cast<std::size_t>(slot)] =
                    Pick(0, 1) == 0 ? DefaultSystemList(settings.rateDenominator) : Text(60);
            }
        }
        return settings;
    }
};

TEST_F(RoundTrip, WrittenFilesReadBackToTheSameModelAndBytes) {
    for (int run = 0; run < 300; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const Settings model = RandomModel();
        const std::string file = WriteCFG(model);

        Settings back;
        ApplyConfig(back, file);
        const auto fields = [](const Settings& s) {
            return std::tie(s.rateDenominator, s.checkInterval, s.activated, s.audioNotify,
                            s.audioBox, s.visualNotify, s.textBox, s.fuelLeakSpeed,
                            s.fuelLeakOption, s.pauseWithSim, s.defaultSound, s.allowed,
                            s.systemStr);
        };
        EXPECT_TRUE(fields(back) == fields(model));
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const auto& sound = model.soundFiles[static_cast<std::size_t>(slot)];
            const std::string expected =
                sound == model.defaultSound ? std::string(kUndefinedSound) : sound;
            EXPECT_EQ(back.soundFiles[static_cast<std::size_t>(slot)], expected) << slot;
        }

        const std::string again = WriteCFG(back);
        ASSERT_EQ(again, file);
        // Reading over a model that already holds other values gives the same.
        Settings over = RandomModel();
        ApplyConfig(over, file);
        ASSERT_EQ(WriteCFG(over), file);
    }
}

}  // namespace
}  // namespace skyfault
