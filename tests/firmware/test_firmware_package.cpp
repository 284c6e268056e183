// The firmware package without a card: versions and conditions, the server's answer, the step
// file and the archive with every fault the upgrade must refuse, and the loader's frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "FirmwareFrames.h"
#include "FirmwarePackage.h"
#include "FirmwareServer.h"
#include "FirmwareTexts.h"
#include "FirmwareVersion.h"
#include "FwPack.h"

using namespace firmware;

TEST(FirmwareVersions, CompareConditionsAndTexts) {
    EXPECT_EQ(CompareVersions("1.2", "1.2.0.0"), 0);
    EXPECT_GT(CompareVersions("1.10", "1.9"), 0);
    EXPECT_LT(CompareVersions("1.9", "1.10"), 0);
    EXPECT_LT(CompareVersions("2", "2.0.0.1"), 0);

    struct Row {
        const char* condition;
        const char* version;
        bool holds;
    };
    for (const Row& r :
         {Row{"E1.0", "1.0", true}, Row{"E1.0", "1.1", false}, Row{"G1.0", "1.1", true},
          Row{"G1.0", "1.0", false}, Row{"L2.0", "1.9", true}, Row{"L2.0", "2.0", false},
          Row{"X1.0", "1.0", false}, Row{"", "1.0", false}, Row{"E", "0", false}}) {
        EXPECT_EQ(ConditionHolds(r.condition, r.version), r.holds)
            << r.condition << " at " << r.version;
    }

    EXPECT_EQ(CardVersionText(10), "1.0");
    EXPECT_EQ(CardVersionText(23), "2.3");
    EXPECT_EQ(ServerVersionText(2003000), "2.3");
    EXPECT_EQ(ServerVersionText(1000500), "1.0");
}

TEST(FirmwareServerAnswer, GoodAndHostileAnswers) {
    std::string version, url, error;
    ASSERT_TRUE(ParseCheckAnswer(
        R"({"message":"OK","data":{"currentVer":2003000,"url":"http://h/fw.zip"}})", version, url,
        error));
    EXPECT_EQ(version, "2.3");
    EXPECT_EQ(url, "http://h/fw.zip");

    struct Row {
        const char* answer;
        const char* error;
    };
    for (const Row& r :
         {Row{"", kErrJson}, Row{"{not json", kErrJson}, Row{"[1,2]", kErrJson},
          Row{R"({"message":"busy","data":{"currentVer":1,"url":"u"}})", kErrServerInfo},
          Row{R"({"message":"ok","data":{"currentVer":"2003000","url":"u"}})", kErrServerInfo},
          Row{R"({"message":"ok","data":{"currentVer":2003000}})", kErrServerInfo},
          Row{R"({"message":"ok","data":[]})", kErrServerInfo}}) {
        error.clear();
        EXPECT_FALSE(ParseCheckAnswer(r.answer, version, url, error)) << r.answer;
        EXPECT_EQ(error, r.error) << r.answer;
    }
    // An address longer than the program keeps is refused, not cut.
    const std::string longUrl =
        R"({"message":"ok","data":{"currentVer":1,"url":")" + std::string(400, 'a') + "\"}}";
    EXPECT_FALSE(ParseCheckAnswer(longUrl, version, url, error));
}

namespace {

struct PackageCase {
    const char* name;
    void (*change)(fwpack::PackageRecipe&);
    std::string hardware;  // the card's
    const char* error;     // empty: the package is good
};

class PackageChecks : public ::testing::TestWithParam<PackageCase> {};

const PackageCase kPackageCases[] = {
    {"Good", [](fwpack::PackageRecipe&) {}, "1.0", ""},
    {"UpperCaseStepFile", [](fwpack::PackageRecipe& s) { s.stepFileName = "STEPS.XML"; }, "1.0",
     ""},
    {"GbkStepFile",
     [](fwpack::PackageRecipe& s) {
         s.gbk = true;
         s.firmName = "固件甲";
     },
     "1.0", ""},
    {"NoStepFile", [](fwpack::PackageRecipe& s) { s.withStepFile = false; }, "1.0", kErrNoStepFile},
    {"OtherHardware", [](fwpack::PackageRecipe&) {}, "1.1",
     "解析steps.xml失败：未找到<Hardware1.1>节点"},
    {"HardwareConditionFails", [](fwpack::PackageRecipe& s) { s.hardwareCondition = "X1.0"; },
     "1.0", kErrWrongHardware},
    {"CountZero", [](fwpack::PackageRecipe& s) { s.count = "0"; }, "1.0", kErrStepCount},
    {"CountEleven", [](fwpack::PackageRecipe& s) { s.count = "11"; }, "1.0", kErrStepCount},
    {"CountNotANumber", [](fwpack::PackageRecipe& s) { s.count = "x"; }, "1.0", kErrStepCount},
    {"Step2Missing", [](fwpack::PackageRecipe& s) { s.count = "2"; }, "1.0",
     "解析steps.xml失败：未找到Step2节点"},
    {"NeedVersionEmpty", [](fwpack::PackageRecipe& s) { s.steps[0].needVersion = " "; }, "1.0",
     kErrNeedVersion},
    {"ImageMissing", [](fwpack::PackageRecipe& s) { s.files.clear(); }, "1.0", kErrImageMissing},
    {"ImageEmpty", [](fwpack::PackageRecipe& s) { s.files[0].bytes.clear(); }, "1.0",
     kErrImageEmpty},
    {"ImageTooLargeForTheBlockIndex",
     [](fwpack::PackageRecipe& s) { s.files[0].bytes.resize(kMaxImageBytes + 1); }, "1.0",
     kErrImageTooLarge},
};

}  // namespace

TEST_P(PackageChecks, InTheirOrder) {
    const PackageCase& c = GetParam();
    fwpack::PackageRecipe recipe = fwpack::SimplePackage("2.4", 300);
    c.change(recipe);
    const std::vector<uint8_t> zip = fwpack::BuildPackage(recipe);
    ASSERT_FALSE(zip.empty());
    PackageContents contents;
    std::string error;
    const bool ok = UnpackPackage(zip, c.hardware, contents, error);
    if (std::strlen(c.error) == 0) {
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(contents.version, "2.4");
        ASSERT_EQ(contents.steps.size(), 1u);
        EXPECT_EQ(contents.steps[0].image, recipe.files[0].bytes);
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(contents.steps.empty());  // nothing half-read is kept
    }
}

INSTANTIATE_TEST_SUITE_P(Firmware, PackageChecks, ::testing::ValuesIn(kPackageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FirmwareArchive, DamagedBytesAreRefused) {
    PackageContents contents;
    std::string error;
    EXPECT_FALSE(UnpackPackage({}, "1.0", contents, error));
    EXPECT_EQ(error, kErrNoPackage);
    const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'};
    EXPECT_FALSE(UnpackPackage(text, "1.0", contents, error));
    EXPECT_EQ(error, kErrNotZip);

    // A flipped byte inside the compressed image fails its CRC on extraction.
    fwpack::PackageRecipe recipe = fwpack::SimplePackage("2.4", 5000);
    std::vector<uint8_t> zip = fwpack::BuildPackage(recipe);
    const std::string name = recipe.files[0].name;
    auto at = std::search(zip.begin(), zip.end(), name.begin(), name.end());
    ASSERT_NE(at, zip.end());
    zip[static_cast<size_t>(at - zip.begin()) + name.size() + 40] ^= 0xFF;
    EXPECT_FALSE(UnpackPackage(zip, "1.0", contents, error));
    EXPECT_TRUE(contents.steps.empty());
}

TEST(FirmwareStepChoice, NeedVersionChoosesTheSteps) {
    std::vector<Step> steps = {{"2.0", "a.bin", "L2.0", {1}}, {"2.1", "b.bin", "E2.0", {2}}};
    EXPECT_EQ(ChosenSteps(steps, "1.5"), std::vector<int>{0});
    EXPECT_EQ(ChosenSteps(steps, "2.0"), std::vector<int>{1});
    EXPECT_TRUE(ChosenSteps(steps, "2.1").empty());

    PackageContents contents{"2.1", "1.0", steps};
    std::string error;
    EXPECT_TRUE(CheckBeforeBoot(contents, "1.5", error));
    EXPECT_FALSE(CheckBeforeBoot(contents, "2.1", error));
    EXPECT_EQ(error, kErrNoSuitableStep);
}

TEST(FirmwareFrames, InfoAndBlocks) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc32(check, sizeof check), 0xCBF43926u);

    const card::Frame info = MakeFwInfoFrame(60, 0xCBF43926u);
    EXPECT_EQ(info[0], card::CMD_FW_INFO);
    const uint8_t expected[12] = {0x00, 0x00, 0x04, 0x00, 60, 0, 0, 0, 0x26, 0x39, 0xF4, 0xCB};
    EXPECT_EQ(std::memcmp(info.data() + 8, expected, sizeof expected), 0);

    std::vector<uint8_t> image(60);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i + 1);
    }
    EXPECT_EQ(BlockCount(59), 1u);
    EXPECT_EQ(BlockCount(60), 2u);
    const card::Frame first = MakeFwDataFrame(0, image.data(), 60);
    EXPECT_EQ(first[4], 1);
    EXPECT_EQ(first[62], 59);
    const card::Frame second = MakeFwDataFrame(1, image.data(), 60);
    EXPECT_EQ(second[0], card::CMD_FW_DATA);
    EXPECT_EQ(second[2], 1);
    EXPECT_EQ(second[4], 60);  // the last byte, then zeros
    for (int i = 5; i <= 62; ++i) {
        EXPECT_EQ(second[static_cast<size_t>(i)], 0) << i;
    }
    const card::Frame far = MakeFwDataFrame(0x1234, image.data(), 60);
    EXPECT_EQ(far[1], 0x12);
    EXPECT_EQ(far[2], 0x34);
}
