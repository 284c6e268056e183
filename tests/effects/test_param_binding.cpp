// Value texts, typed values and shared parameter values of the control binder, without widgets.
#include <gtest/gtest.h>

#include <cmath>

#include "ParamBinding.h"
#include "ParamTables.h"
#include "ValueText.h"

using namespace effects;

namespace {

BindingRecord Bound(int paramId, int kind = -1) {
    return MakeBinding(model::ParamDescriptors()[static_cast<size_t>(paramId)], kind, 1000);
}

std::u16string Invalid() {
    return std::u16string(kInvalidFormatText);
}

}  // namespace

TEST(ValueFormat, OnlyOneDOrFConversionReachesPrintf) {
    struct Row {
        std::u16string_view format;
        FormatKind kind;
    };
    const Row rows[] = {
        {u"%d", kFormatInteger}, {u"%0.1f", kFormatReal},    {u"%-4d", kFormatInteger},
        {u"%+.2f", kFormatReal}, {u"%d 秒", kFormatInteger}, {u"%%%d", kFormatInteger},
        {u"", kFormatNone},      {u"dB", kFormatNone},       {u"%s", kFormatNone},
        {u"%n", kFormatNone},    {u"%x", kFormatNone},       {u"%ld", kFormatNone},
        {u"%*d", kFormatNone},   {u"%d%d", kFormatNone},     {u"%d%s", kFormatNone},
        {u"%", kFormatNone},     {u"%.999f", kFormatNone},   {u"%#d", kFormatNone},
        {u"%1$d", kFormatNone},
    };
    for (const Row& r : rows) {
        const std::string name(r.format.begin(), r.format.end());
        EXPECT_EQ(FormatKindOf(r.format), r.kind) << name;
        if (r.kind == kFormatNone) {
            EXPECT_EQ(FormatValue(r.format, 3.0), Invalid()) << name;
        }
    }
    EXPECT_EQ(FormatValue(u"%d 秒", 5.0), u"5 秒");
    EXPECT_EQ(FormatValue(u"%%%d", 7.0), u"%7");
    EXPECT_EQ(FormatValue(u"%+.2f", 1.5), u"+1.50");
    EXPECT_EQ(FormatValue(u"%d", NAN), Invalid());
}

TEST(ValueToText, WorkedExamplesAndClamping) {
    const BindingRecord eq = Bound(9);
    EXPECT_EQ(eq.formatKind, kFormatReal);
    ValueText t = ValueToText(3.0, eq);
    EXPECT_EQ(t.raw, 150);  // 15 / 0.1f is a hair below 150: not truncated to 149
    EXPECT_EQ(t.text, u"3.0");
    t = ValueToText(30.0, eq);  // typed above the range
    EXPECT_EQ(t.raw, 240);
    EXPECT_EQ(t.text, u"12.0");
    EXPECT_EQ(ValueToText(-1e300, eq).text, u"-12.0");
    EXPECT_EQ(ValueToText(1e300, eq).raw, 240);
    EXPECT_EQ(ValueToText(NAN, eq).raw, 0);
    EXPECT_EQ(ValueToText(-0.05, eq).raw, 119);  // truncated toward zero otherwise

    EXPECT_EQ(ValueToText(1500.0, Bound(35)).raw, 15);
    EXPECT_EQ(ValueToText(1500.0, Bound(35)).text, u"1500");
    EXPECT_EQ(ValueToText(-125.0, Bound(28)).text, u"-125");
    EXPECT_EQ(ValueToText(125.0, Bound(28)).raw, 250);

    // A damaged record's value shows as the nearest end of the range.
    EXPECT_EQ(InitialText(eq, 5000), u"12.0");
    EXPECT_EQ(InitialText(Bound(28), -7), u"-125");

    BindingRecord bad = eq;
    bad.format = u"%s";
    bad.formatKind = FormatKindOf(bad.format);
    EXPECT_EQ(ValueToText(3.0, bad).text, Invalid());
    EXPECT_EQ(ValueToText(3.0, bad).raw, 150);
    bad.format.clear();
    EXPECT_EQ(InitialText(bad, 150), u"3");  // an empty format shows the integer part
}

TEST(TypedValue, NumbersStepsAndNonsense) {
    EXPECT_EQ(ParseNumber(u"30"), 30.0);
    EXPECT_EQ(ParseNumber(u"  -2.5\t"), -2.5);
    EXPECT_EQ(ParseNumber(u"+4"), 4.0);
    for (std::u16string_view junk : {u"", u"abc", u"3abc", u"nan", u"inf", u"1e999", u"１２"}) {
        EXPECT_EQ(ParseNumber(junk), 0.0) << junk.size();
    }

    // One step moves a value by one raw unit, up or down, whatever the scale.
    const BindingRecord eq = Bound(9);
    EXPECT_EQ(ValueToText(3.0 + EditStep(1, eq.scale), eq).text, u"3.1");
    EXPECT_EQ(ValueToText(3.0 + EditStep(-1, eq.scale), eq).raw, 149);
    const BindingRecord time = Bound(35);
    EXPECT_EQ(ValueToText(1500.0 + EditStep(1, time.scale), time).text, u"1600");
    EXPECT_EQ(EditStep(-1, 1.0f), -1.0);
}

TEST(SharedBits, LevelAndMuteShareOneValue) {
    const BindingRecord level = Bound(0);
    const BindingRecord mute = MakeSwitchBinding(model::SwitchDescriptors()[0], 7011, 0);
    ASSERT_TRUE(level.sharedBits);
    ASSERT_TRUE(mute.sharedBits);
    EXPECT_EQ(mute.kind, kBindSwitch);
    EXPECT_EQ(mute.maximum, 0x80);

    EXPECT_EQ(OwnPart(level, 0x80 | 40), 40);
    EXPECT_EQ(OwnPart(level, 40), 40);
    EXPECT_EQ(OwnPart(mute, 0x80 | 40), 1);
    EXPECT_EQ(OwnPart(mute, 40), 0);
    EXPECT_EQ(SharedContribution(level, 50, false) | SharedContribution(mute, 0, true), 178);
    EXPECT_EQ(SharedContribution(level, 50, false) | SharedContribution(mute, 0, false), 50);

    // Parameter 5's bits: +10 dB (0x02) and charging (0x10) are separate switches.
    const BindingRecord gain = MakeSwitchBinding(model::SwitchDescriptors()[4], 7100, 5);
    const BindingRecord charge = MakeSwitchBinding(model::SwitchDescriptors()[16], 7022, 5);
    EXPECT_EQ(OwnPart(gain, 0x13), 1);
    EXPECT_EQ(OwnPart(charge, 0x03), 0);
    EXPECT_EQ(SharedContribution(gain, 0, true) | SharedContribution(charge, 0, true), 0x12);

    // An option button's id carries its option number and names its siblings.
    EXPECT_EQ(OptionNumber(2305001), 5);
    EXPECT_EQ(OptionControlId(2305001, 2), 2302001);
}

// What a value box lets the user type: the noise level (0..100), the voice level shown -125..125,
// an equaliser band shown -12.0..12.0 dB.
TEST(TypedValue, ABoxTakesOnlyWhatCanBecomeAValueOfItsRange) {
    const ShownRange noise = ShownRangeOf(Bound(4));
    EXPECT_EQ(noise.low, 0.0);
    EXPECT_EQ(noise.high, 100.0);
    const ShownRange voice = ShownRangeOf(Bound(28));
    EXPECT_EQ(voice.low, -125.0);
    EXPECT_EQ(voice.high, 125.0);
    const ShownRange eq = ShownRangeOf(Bound(9));
    EXPECT_NEAR(eq.low, -12.0, 1e-4);
    EXPECT_NEAR(eq.high, 12.0, 1e-4);

    struct Row {
        std::u16string_view text;
        TypedText noise, voice, eq;
    };
    using T = TypedText;
    const Row rows[] = {
        {u"45", T::Acceptable, T::Acceptable, T::Invalid},
        {u"100", T::Acceptable, T::Acceptable, T::Invalid},
        {u"453", T::Invalid, T::Invalid, T::Invalid},  // Num 3 pressed into "45"
        {u"101", T::Invalid, T::Acceptable, T::Invalid},
        {u"", T::Intermediate, T::Intermediate, T::Intermediate},
        {u"-", T::Invalid, T::Intermediate, T::Intermediate},
        {u"-125", T::Invalid, T::Acceptable, T::Invalid},
        {u"-126", T::Invalid, T::Invalid, T::Invalid},
        {u"-12.0", T::Invalid, T::Invalid, T::Acceptable},
        {u"3.", T::Invalid, T::Invalid, T::Intermediate},
        {u"3.5", T::Invalid, T::Invalid, T::Acceptable},
        {u"3.5.", T::Invalid, T::Invalid, T::Invalid},
        {u"12.1", T::Invalid, T::Invalid, T::Invalid},
        {u"4a", T::Invalid, T::Invalid, T::Invalid},
        {u"+4", T::Invalid, T::Invalid, T::Invalid},
        {u" 4", T::Invalid, T::Invalid, T::Invalid},
        {u"１２", T::Invalid, T::Invalid, T::Invalid},
    };
    for (const Row& r : rows) {
        const std::string name(r.text.begin(), r.text.end());
        EXPECT_EQ(CheckTypedText(r.text, noise.low, noise.high, false), r.noise) << name;
        EXPECT_EQ(CheckTypedText(r.text, voice.low, voice.high, false), r.voice) << name;
        EXPECT_EQ(CheckTypedText(r.text, eq.low, eq.high, true), r.eq) << name;
    }
    // A range that starts above zero lets its first digits through.
    EXPECT_EQ(CheckTypedText(u"1", 5, 20, false), TypedText::Intermediate);
    EXPECT_EQ(CheckTypedText(u"15", 5, 20, false), TypedText::Acceptable);
    EXPECT_EQ(CheckTypedText(u"25", 5, 20, false), TypedText::Invalid);
}

// Parameter 5 carries the mix switch (bit 0x01), +10 dB for the microphone (0x02) and the
// accompaniment (0x04), PC monitoring (0x08) and phone charging (0x10). The main window shows
// only the first and the last: the others are no control's there.
TEST(SharedBits, EachControlOwnsOnlyItsOwnBits) {
    const BindingRecord mix = Bound(5);
    const BindingRecord charge = MakeSwitchBinding(model::SwitchDescriptors()[16], 7022, 5);
    EXPECT_EQ(OwnedBits(mix) | OwnedBits(charge), 0x11);
    EXPECT_EQ(25 & ~(OwnedBits(mix) | OwnedBits(charge)), 0x08);
    // A level up to 100 owns 0..127; the mute switch the bit above it.
    EXPECT_EQ(OwnedBits(Bound(0)), 0x7F);
    EXPECT_EQ(OwnedBits(MakeSwitchBinding(model::SwitchDescriptors()[0], 7011, 0)), 0x80);
    EXPECT_EQ(OwnedBits(Bound(0, kBindEdit)), 0x7F);
    EXPECT_EQ(OwnedBits(Bound(28)), 0xFF);  // the voice level, 0..250
}
