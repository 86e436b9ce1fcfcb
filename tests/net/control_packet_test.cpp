#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/control_packet.h"
#include "net/hex_field.h"

namespace tamlorex {
namespace {

std::string Text(const std::vector<std::uint8_t>& packet, std::size_t from)
{
    return std::string(packet.begin() + static_cast<std::ptrdiff_t>(from), packet.end());
}

std::uint16_t ReadText(const char* text) { return HexField::Read(reinterpret_cast<const std::uint8_t*>(text)); }

TEST(HexField, WritesLowSixteenBitsInUpperCase)
{
    EXPECT_EQ(HexField::Format(0), "0000");
    EXPECT_EQ(HexField::Format(0xABCD), "ABCD");
    EXPECT_EQ(HexField::Format(0x12345), "2345");
    EXPECT_EQ(HexField::Format(44), "002C");
}

TEST(HexField, ReadsEitherCaseAndRejectsOtherCharacters)
{
    EXPECT_EQ(ReadText("00ff"), 0xFF);
    EXPECT_EQ(ReadText("AbCd"), 0xABCD);
    EXPECT_EQ(ReadText("FFFF"), 0xFFFF);
    EXPECT_EQ(ReadText("000g"), 0);
    EXPECT_EQ(ReadText("g001"), 0);
    EXPECT_EQ(ReadText(" 001"), 0);
    EXPECT_EQ(ReadText("0x10"), 0);
}

TEST(ControlPacket, LoginOfEmptyPasswordCarriesTheEmptyDigest)
{
    const auto packet = ControlPacket::Login("");
    ASSERT_EQ(packet.size(), 44u);
    EXPECT_EQ(std::vector<std::uint8_t>(packet.begin(), packet.begin() + 4), (std::vector<std::uint8_t>{0, 0, 1, 0xFE}));
    EXPECT_EQ(Text(packet, 4), "002C0081D41D8CD98F00B204E9800998ECF8427E");
}

TEST(ControlPacket, LoginDigestCoversTheWholePassword)
{
    const std::string longPassword(200, 'x');
    EXPECT_NE(ControlPacket::LoginDigest(longPassword), ControlPacket::LoginDigest(std::string(31, 'x')));
    EXPECT_EQ(ControlPacket::LoginDigest("abc"), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(ControlPacket, KeyMouseAndLogoutBytes)
{
    EXPECT_EQ(Text(ControlPacket::Key(0x15), 4), "001000850015");
    EXPECT_EQ(Text(ControlPacket::Key(0x1FF), 4), "0010008500FF");
    EXPECT_EQ(Text(ControlPacket::Logout(), 4), "000C0086");
    const auto mouse = ControlPacket::Mouse(kMouseRightDouble + kMouseShowCursor, 720, 480, 10, 0x10005);
    ASSERT_EQ(mouse.size(), 32u);
    EXPECT_EQ(Text(mouse, 4), "0020008901040" "2D001E0000A0005");
}

TEST(ControlPacket, ParseReadsHeaderAndBoundsFields)
{
    const auto packet = ControlPacket::Build(MSG_STATUS_FIVE, {1, 2, 3, 4, 5});
    ControlMessage message;
    ASSERT_TRUE(ControlPacket::Parse(packet.data(), packet.size(), message));
    EXPECT_EQ(message.length, 32);
    EXPECT_EQ(message.code, MSG_STATUS_FIVE);
    EXPECT_EQ(message.Field(0), 1);
    EXPECT_EQ(message.Field(4), 5);
    EXPECT_EQ(message.Field(5), 0);  // past the end
    // Fewer bytes than the header, or another start code, is not a packet.
    EXPECT_FALSE(ControlPacket::Parse(packet.data(), 11, message));
    std::vector<std::uint8_t> other = packet;
    other[3] = 0xFF;
    EXPECT_FALSE(ControlPacket::Parse(other.data(), other.size(), message));
    // A field inside the bytes but past the declared length reads as 0.
    std::vector<std::uint8_t> shortDeclared = ControlPacket::Build(kLoginReplyRefused, {kRefusalBadNetwork});
    shortDeclared[6] = '0';
    shortDeclared[7] = 'C';  // declared length 12
    ASSERT_TRUE(ControlPacket::Parse(shortDeclared.data(), shortDeclared.size(), message));
    EXPECT_EQ(message.Field(0), 0);
}

TEST(ControlPacket, LoginRepliesAndTheirTexts)
{
    std::string text;
    EXPECT_EQ(ControlPacket::InterpretLoginReply(kLoginReplyWait, 0, text), LoginOutcome::Wait);
    EXPECT_EQ(ControlPacket::InterpretLoginReply(kLoginReplyAccepted, 0, text), LoginOutcome::Accepted);
    EXPECT_EQ(text, "");
    const std::pair<std::uint16_t, const char*> reasons[] = {
        {1, "Too many client."}, {2, "Incorrect password."}, {3, "Bad network"}, {9, "Unkown error."}, {0, "Unkown error."}};
    for (std::uint16_t code : {kLoginReplyRefused, kLoginReplyRefusedOther}) {
        for (const auto& [reason, expected] : reasons) {
            EXPECT_EQ(ControlPacket::InterpretLoginReply(code, reason, text), LoginOutcome::Refused);
            EXPECT_EQ(text, expected);
        }
    }
    EXPECT_EQ(ControlPacket::InterpretLoginReply(5, 2, text), LoginOutcome::Error);
    EXPECT_EQ(text, "LOGIN ERROR");
    EXPECT_EQ(ControlPacket::InterpretLoginReply(0, 2, text), LoginOutcome::Error);
}

TEST(ControlPacket, DdnsRequestPadsAndCutsTheName)
{
    const auto shortName = ControlPacket::DdnsRequest("DVR");
    EXPECT_EQ(std::vector<std::uint8_t>(shortName.begin(), shortName.end()),
              (std::vector<std::uint8_t>{0x55, 0xAA, 0x55, 0xAA, 'D', 'V', 'R', 0, 0, 0, 0, 0}));
    const auto exact = ControlPacket::DdnsRequest("ABCDEFGH");
    EXPECT_EQ(std::string(exact.begin() + 4, exact.end()), "ABCDEFGH");
    const auto longName = ControlPacket::DdnsRequest("ABCDEFGHIJKL");
    EXPECT_EQ(std::string(longName.begin() + 4, longName.end()), "ABCDEFGH");
    std::string name;
    ASSERT_TRUE(ControlPacket::ParseDdnsRequest(exact.data(), exact.size(), name));
    EXPECT_EQ(name, "ABCDEFGH");
    ASSERT_TRUE(ControlPacket::ParseDdnsRequest(shortName.data(), shortName.size(), name));
    EXPECT_EQ(name, "DVR");
}

TEST(ControlPacket, DdnsReplyGivesAddressAndLittleEndianPort)
{
    const std::uint8_t reply[] = {0x55, 0xAA, 0x55, 0xAA, 0x0A, 0x00, 0x00, 0x05, 0x90, 0x01, 0xEE};
    std::string address;
    int port = 0;
    ASSERT_TRUE(ControlPacket::ParseDdnsReply(reply, sizeof reply, address, port));
    EXPECT_EQ(address, "10.0.0.5");
    EXPECT_EQ(port, 400);
    EXPECT_FALSE(ControlPacket::ParseDdnsReply(reply, 9, address, port));
    const std::uint8_t wrong[] = {0x55, 0xAA, 0x55, 0xAB, 1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(ControlPacket::ParseDdnsReply(wrong, sizeof wrong, address, port));
    const auto built = ControlPacket::DdnsReply({192, 168, 1, 250}, 0xBEEF);
    ASSERT_TRUE(ControlPacket::ParseDdnsReply(built.data(), built.size(), address, port));
    EXPECT_EQ(address, "192.168.1.250");
    EXPECT_EQ(port, 0xBEEF);
}

}  // namespace
}  // namespace tamlorex
