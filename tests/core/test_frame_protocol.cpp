#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "Log/Log.h"
#include "QVAudioProtocol.h"
#include "common/Device/CcmEasyEncrypt.h"
#include "common/Device/FrameChecksum.h"
#include "common/Device/HidDevice/HidBase.h"
#include "common/Device/Protocol.h"
#include "common/Device/ReportDescriptor.h"

namespace {

using Frame = std::array<uint8_t, 64>;

uint8_t ChecksumOf(const std::string& text) {
    return FrameChecksum(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The frame layer alone, without any card behaviour.
class FrameOnlyProtocol : public CProtocol {
public:
    explicit FrameOnlyProtocol(int length) : CProtocol(length, nullptr) {}
    void OnRecvData(const uint8_t*) override {}
    void SetDeviceMgmt(ICommDeviceMgmt*) override {}
    void ResetDeviceMgmt() override {}
    bool NegotiateKey() override { return false; }
};

Frame SignedFrame(uint8_t code, uint8_t flag) {
    Frame f{};
    f[0] = code;
    f[3] = flag;
    f[63] = FrameChecksum(f.data(), 63);
    return f;
}

TEST(FrameChecksum, WorkedValues) {
    EXPECT_EQ(ChecksumOf("abc"), 0xB9);
    EXPECT_EQ(ChecksumOf("123456789"), 0x15);
    Frame zeros{};
    EXPECT_EQ(FrameChecksum(zeros.data(), 63), 0xFF);
    Frame f{};
    f[0] = 0x90;
    f[4] = 0x01;
    EXPECT_EQ(FrameChecksum(f.data(), 63), 0xEF);
}

TEST(FrameChecksum, SignFrameCoversAllButTheLastByte) {
    FrameOnlyProtocol protocol(4);
    uint8_t frame[4] = {'a', 'b', 'c', 0};
    protocol.SignFrame(frame);
    EXPECT_EQ(frame[3], 0xB9);
}

TEST(Cipher, AllZeroKeyChangesNothing) {
    CcmEasyEncrypt cipher;
    Frame f;
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i * 7);
    Frame before = f;
    cipher.Encrypt(f.data());  // length 0 after construction
    EXPECT_EQ(f, before);
    cipher.SetKey(0, 0, 0, 0, 59);  // seed 100, modulus 20, multiplier 0: keystream of zeros
    cipher.Encrypt(f.data());
    EXPECT_EQ(f, before);
}

TEST(Cipher, TwiceGivesTheFrameBackAndLeavesHeaderAndChecksum) {
    CcmEasyEncrypt cipher;
    cipher.SetKey(0x1234, 77, 0x4321, 9, 59);
    Frame f;
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>(255 - i);
    Frame before = f;
    cipher.Encrypt(f.data());
    EXPECT_NE(f, before);
    EXPECT_EQ(0, std::memcmp(f.data(), before.data(), 4));
    EXPECT_EQ(f[63], before[63]);
    cipher.Decrypt(f.data());
    EXPECT_EQ(f, before);
}

TEST(Cipher, KeystreamFollowsTheGenerator) {
    // s = ((s mod m) * a + c) mod 2^16, byte = (s >> 4) & 0xFF
    CcmEasyEncrypt cipher;
    cipher.SetKey(0, 0, 300, 5, 3);  // seed 0 acts as 100, modulus 0 as 20
    Frame f{};
    cipher.Encrypt(f.data());
    uint16_t s = 100;
    for (int i = 0; i < 3; ++i) {
        s = static_cast<uint16_t>((s % 20) * 300 + 5);
        EXPECT_EQ(f[4 + i], static_cast<uint8_t>((s >> 4) & 0xFF)) << i;
    }
    EXPECT_EQ(f[7], 0);
}

TEST(Cipher, LengthNeverReachesTheChecksum) {
    CcmEasyEncrypt cipher;
    cipher.SetKey(1, 2, 3, 4, 500);
    EXPECT_EQ(cipher.Length(), 59);
}

struct ReplyCase {
    const char* name;
    Frame reply;
    const char* message;
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class CheckReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(CheckReplyTest, RejectsWithItsMessage) {
    FrameOnlyProtocol protocol(64);
    vlog::CLogCapture log;
    Frame reply = GetParam().reply;
    EXPECT_FALSE(protocol.CheckReply(reply.data(), 0x95));
    ASSERT_EQ(log.Records().size(), 1u);
    EXPECT_EQ(log.Records()[0].message, GetParam().message);
    EXPECT_EQ(log.Records()[0].function, "CProtocol::CheckReply");
    EXPECT_EQ(log.Records()[0].source, "CppCommonLib\\common\\Device\\Protocol");
}

Frame WithBadSum(Frame f) {
    f[63] ^= 0x01;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Order, CheckReplyTest,
    ::testing::Values(
        // The checksum is checked before code and flag, the code before the flag.
        ReplyCase{"BadSumRightCodeAndFlag", WithBadSum(SignedFrame(0x95, 0xFF)),
                  "CheckReply error: reply crc 0x2d != 0x2c  cmd=0x95"},
        ReplyCase{"WrongCodeAndFlag", SignedFrame(0x93, 0x00),
                  "CheckReply error: reply cmd 0x93 != 0x95"},
        ReplyCase{"FlagZero", SignedFrame(0x95, 0x00),
                  "CheckReply error: reply falg 0x00 != 0xff  cmd=0x95"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckReply, AcceptsAGoodReply) {
    FrameOnlyProtocol protocol(64);
    Frame reply = SignedFrame(0x95, 0xFF);
    EXPECT_TRUE(protocol.CheckReply(reply.data(), 0x95));
}

TEST(ParseVidPid, ReadsIdsWithoutRegardToCase) {
    uint16_t vid = 0;
    uint16_t pid = 0;
    EXPECT_TRUE(ParseVidPid("\\\\?\\hid#vid_2b53&pid_0041#7&1b2c&0&0000#{4d1e55b2}", &vid, &pid));
    EXPECT_EQ(vid, 0x2B53);
    EXPECT_EQ(pid, 0x0041);
    EXPECT_TRUE(ParseVidPid("vcard:/tmp/x/#VID_2B53&PID_0002#3", &vid, &pid));
    EXPECT_EQ(pid, 0x0002);
}

TEST(ParseVidPid, FailsWithoutMarkerOrOnBadDigits) {
    uint16_t vid = 1;
    uint16_t pid = 1;
    EXPECT_FALSE(ParseVidPid("/dev/hidraw0", &vid, &pid));
    EXPECT_FALSE(ParseVidPid("#VID_2B5G&PID_0041", &vid, &pid));
    EXPECT_FALSE(ParseVidPid("#VID_2B53&PID_00x1", &vid, &pid));
    EXPECT_FALSE(ParseVidPid("#VID_2B53&PID_00", &vid, &pid));
    EXPECT_EQ(vid, 1);
    EXPECT_EQ(pid, 1);
}

TEST(ReportDescriptor, LengthsIncludeTheReportIdByte) {
    // Vendor page, 64-byte input and output, no report ids: the card's own layout.
    const uint8_t card[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF,
                            0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x95, 0x40,
                            0x09, 0x01, 0x91, 0x02, 0xC0};
    ReportLengths l;
    ASSERT_TRUE(ParseReportDescriptor(card, sizeof card, &l));
    EXPECT_EQ(l.input, 65);
    EXPECT_EQ(l.output, 65);
    EXPECT_FALSE(l.numbered);
}

TEST(ReportDescriptor, NumberedReportsTakeTheLongest) {
    const uint8_t numbered[] = {0x85, 0x01, 0x75, 0x08, 0x95, 0x10, 0x81, 0x02,  // id 1: 16 in
                                0x85, 0x02, 0x95, 0x20, 0x81, 0x02,              // id 2: 32 in
                                0x95, 0x08, 0x91, 0x02};                         // id 2: 8 out
    ReportLengths l;
    ASSERT_TRUE(ParseReportDescriptor(numbered, sizeof numbered, &l));
    EXPECT_EQ(l.input, 33);
    EXPECT_EQ(l.output, 9);
    EXPECT_TRUE(l.numbered);
}

TEST(ReportDescriptor, TruncatedItemsAreRefused) {
    const uint8_t cut[] = {0x75, 0x08, 0x96, 0x40};  // a two-byte count with one byte
    ReportLengths l;
    EXPECT_FALSE(ParseReportDescriptor(cut, sizeof cut, &l));
    const uint8_t pop[] = {0xB4};  // pop without push
    EXPECT_FALSE(ParseReportDescriptor(pop, sizeof pop, &l));
}

}  // namespace
