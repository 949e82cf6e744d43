#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

#include "discovery/camera_record.h"
#include "discovery/reply_parser.h"

using vcq::CameraRecord;
using vcq::DiscoveryTable;
using vcq::ParseReply;
using vcq::ReadReplyValue;

namespace {

const std::vector<std::string> kModels = {"VCQ-R20", "VCQ-R20N", "VCQ-R20P"};

struct Fields {
    std::string model = "VCQ-R20";
    std::string serial = "10000001";
    std::string mac = "08:00:46:00:00:01";
    std::string dhcp = "OFF";
    std::string dnsAuto = "ON";
    std::string ip = "192.168.0.10";
    std::string webPort = "8080";
    std::string softVersion = "1.05";
};

std::string Reply(const Fields& f) {
    const char ff = '\xFF';
    return std::string("\x02") + "MODEL:" + f.model + ff + "SERIAL:" + f.serial + ff +
           "MAC:" + f.mac + ff + "DHCP:" + f.dhcp + ff + "DNSAUTO:" + f.dnsAuto + ff +
           "IPADR:" + f.ip + ff + "WEBPORT:" + f.webPort + ff + "SOFTVERSION:" + f.softVersion +
           ff + "\x03";
}

// Feeds a datagram the way the receive thread does.
void Feed(DiscoveryTable& table, const std::string& datagram) {
    if (auto record = ParseReply(datagram, table.Models()))
        table.Store(*record);
}

class TableTest : public ::testing::Test {
  protected:
    void SetUp() override { table.SetModels(kModels); }
    DiscoveryTable table;
};

}  // namespace

TEST(ReplyValue, IsFoundAnywhereAndEndsAtFF) {
    std::string text = std::string("junk\xFFKEY:abc\xFFKEY:second\xFF");
    EXPECT_EQ(ReadReplyValue(text, "KEY:", 16), "abc");  // first occurrence counts
    EXPECT_EQ(ReadReplyValue(text, "NONE:", 16), "");
    EXPECT_EQ(ReadReplyValue("KEY:abcdef\xFF", "KEY:", 4), "abc");  // capacity - 1
    // Without a closing 0xFF the value runs to the end of the text.
    EXPECT_EQ(ReadReplyValue("KEY:tail", "KEY:", 16), "tail");
    // The datagram is a C string: nothing after a NUL is seen.
    EXPECT_EQ(ReadReplyValue(std::string("A:1\0KEY:x\xFF", 11), "KEY:", 16), "");
    EXPECT_EQ(ReadReplyValue(std::string("KEY:a\0b\xFF", 8), "KEY:", 16), "a");
}

TEST(ReplyValue, AddressAndPortReadLikeTheCamerasWriteThem) {
    using A = std::array<uint8_t, 4>;
    EXPECT_EQ(vcq::ParseReplyAddress("192.168.0.300"), (A{192, 168, 0, 44}));
    EXPECT_EQ(vcq::ParseReplyAddress("10.1"), (A{10, 1, 0, 0}));
    EXPECT_EQ(vcq::ParseReplyAddress("10..3.4"), (A{10, 0, 0, 0}));
    EXPECT_EQ(vcq::ParseReplyAddress("99999999999999.1.2.3"), (A{255, 1, 2, 3}));
    EXPECT_EQ(vcq::ParseReplyAddress(""), (A{0, 0, 0, 0}));
    EXPECT_EQ(vcq::ParseReplyWebPort(""), 80);
    EXPECT_EQ(vcq::ParseReplyWebPort("8080"), 8080);
    EXPECT_EQ(vcq::ParseReplyWebPort(" 81x"), 81);
    EXPECT_EQ(vcq::ParseReplyWebPort("abc"), 0);
    EXPECT_EQ(vcq::ParseReplyWebPort("999999999999999"), INT32_MAX);
    EXPECT_EQ(vcq::ParseReplyWebPort("-999999999999999"), INT32_MIN);
}

TEST_F(TableTest, ReplyFillsEveryField) {
    Feed(table, Reply({}));
    ASSERT_EQ(table.Count(), 1);
    CameraRecord r = table.Record(0);
    EXPECT_STREQ(r.model, "VCQ-R20");
    EXPECT_STREQ(r.serial, "10000001");
    EXPECT_STREQ(r.mac, "08:00:46:00:00:01");
    EXPECT_STREQ(r.softVersion, "1.05");
    EXPECT_EQ(r.address(), 0xC0A8000Au);
    EXPECT_EQ(r.dhcp, 0);
    EXPECT_EQ(r.dnsAuto, 1);
    EXPECT_EQ(r.webPort, 8080);
}

TEST_F(TableTest, SameMacFromAnotherAddressRefreshesOneRecord) {
    Feed(table, Reply({}));
    Fields later;
    later.ip = "192.168.0.99";
    later.softVersion = "1.07";
    Feed(table, Reply(later));
    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Record(0).ip[3], 99);
    EXPECT_STREQ(table.Record(0).softVersion, "1.07");
}

TEST_F(TableTest, UnknownOrMissingModelChangesNothing) {
    Fields unknown;
    unknown.model = "VCQ-R30";
    Feed(table, Reply(unknown));
    Fields lower;
    lower.model = "vcq-r20";
    Feed(table, Reply(lower));
    std::string noModel = Reply({});
    noModel.replace(noModel.find("MODEL:"), 6, "MODEX:");
    Feed(table, noModel);
    Feed(table, "ACK:ok\xFF");
    Feed(table, "NAK:bad\xFF");
    EXPECT_EQ(table.Count(), 0);
    EXPECT_TRUE(table.Record(0).free());
    EXPECT_STREQ(table.Record(0).model, "");
}

TEST_F(TableTest, EmptyMacUsesFirstFreeRecordButLeavesItFree) {
    Fields empty;
    empty.mac = "";
    empty.serial = "EMPTY";
    Feed(table, Reply(empty));
    EXPECT_EQ(table.Count(), 0);
    EXPECT_STREQ(table.Record(0).serial, "EMPTY");
    Feed(table, Reply({}));
    EXPECT_EQ(table.Count(), 1);
    EXPECT_STREQ(table.Record(0).serial, "10000001");
    EXPECT_TRUE(table.Record(1).free());
}

TEST_F(TableTest, OnlyExactOnSetsTheFlags) {
    const std::pair<const char*, int> cases[] = {
        {"ON", 1}, {"on", 0}, {"ONX", 0}, {"", 0}, {"OFF", 0}};
    int i = 0;
    for (auto [value, expected] : cases) {
        Fields f;
        f.mac = "08:00:46:00:01:0" + std::to_string(i++);
        f.dhcp = value;
        f.dnsAuto = value;
        Feed(table, Reply(f));
        CameraRecord r = table.Snapshot().back();
        EXPECT_EQ(r.dhcp, expected) << value;
        EXPECT_EQ(r.dnsAuto, expected) << value;
    }
}

TEST_F(TableTest, MissingOrEmptyWebPortMeans80) {
    Fields empty;
    empty.webPort = "";
    Feed(table, Reply(empty));
    std::string absent = Reply({});
    absent.replace(absent.find("WEBPORT:"), 8, "WEBPORX:");
    absent.replace(absent.find("MAC:08:00:46:00:00:01"), 21, "MAC:08:00:46:00:00:02");
    Feed(table, absent);
    ASSERT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Record(0).webPort, 80);
    EXPECT_EQ(table.Record(1).webPort, 80);
}

TEST_F(TableTest, OutOfRangeOctetKeepsItsLowBits) {
    Fields f;
    f.ip = "192.168.0.300";
    Feed(table, Reply(f));
    CameraRecord r = table.Record(0);
    EXPECT_EQ(std::vector<int>(r.ip, r.ip + 4), (std::vector<int>{192, 168, 0, 44}));
}

TEST_F(TableTest, LongModelIsComparedAndStoredAsItsFirst31Characters) {
    std::string name31 = "VCQ-R20-" + std::string(23, 'L');
    ASSERT_EQ(name31.size(), 31u);
    table.SetModels({name31});
    Fields f;
    f.model = name31 + "EXTRA";
    Feed(table, Reply(f));
    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(std::string(table.Record(0).model), name31);

    // Every text field is cut to its capacity minus one.
    Fields longer;
    longer.mac = "08:00:46:00:00:02:FF:FF";
    longer.serial = std::string(40, '9');
    longer.softVersion = std::string(40, 'v');
    longer.model = name31;
    Feed(table, Reply(longer));
    ASSERT_EQ(table.Count(), 2);
    CameraRecord r = table.Record(1);
    EXPECT_EQ(std::string(r.mac), "08:00:46:00:00:02");
    EXPECT_EQ(std::string(r.serial), std::string(11, '9'));
    EXPECT_EQ(std::string(r.softVersion), std::string(15, 'v'));
}

TEST_F(TableTest, FullTableDropsFurtherCamerasButStillRefreshesKnownOnes) {
    for (int i = 0; i < vcq::kDiscoveryTableSize; ++i) {
        Fields f;
        f.mac = "MAC-" + std::to_string(i);
        Feed(table, Reply(f));
    }
    ASSERT_EQ(table.Count(), 256);
    Fields extra;
    extra.mac = "MAC-EXTRA";
    auto record = ParseReply(Reply(extra), kModels);
    ASSERT_TRUE(record);
    EXPECT_EQ(table.Store(*record), DiscoveryTable::StoreResult::Full);
    Fields known;
    known.mac = "MAC-255";
    known.serial = "NEW";
    Feed(table, Reply(known));
    EXPECT_EQ(table.Count(), 256);
    EXPECT_STREQ(table.Record(255).serial, "NEW");
    for (const CameraRecord& r : table.Snapshot())
        EXPECT_STRNE(r.mac, "MAC-EXTRA");
}

// Random bytes, random lengths, and mutations of a good reply: the parser
// must neither crash nor overrun, and whatever it stores stays terminated.
TEST_F(TableTest, RandomDatagramsNeverBreakTheTable) {
    std::mt19937 rng(2380);
    const std::string good = Reply({});
    for (int round = 0; round < 20000; ++round) {
        std::string datagram;
        if (round % 2 == 0) {
            datagram.resize(rng() % 1200);
            for (char& c : datagram)
                c = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng());
            if (round % 4 == 0)
                datagram.insert(rng() % (datagram.size() + 1), "MODEL:VCQ-R20\xFF");
        } else {
            datagram = good;
            for (int k = 0; k < 4; ++k)
                datagram[rng() % datagram.size()] = static_cast<char>(rng());
            datagram.resize(rng() % (datagram.size() + 1));
        }
        Feed(table, datagram);
    }
    ASSERT_LE(table.Count(), 256);
    for (int i = 0; i < vcq::kDiscoveryTableSize; ++i) {
        CameraRecord r = table.Record(i);
        EXPECT_LT(strnlen(r.model, sizeof r.model), sizeof r.model);
        EXPECT_LT(strnlen(r.serial, sizeof r.serial), sizeof r.serial);
        EXPECT_LT(strnlen(r.softVersion, sizeof r.softVersion), sizeof r.softVersion);
        EXPECT_LT(strnlen(r.mac, sizeof r.mac), sizeof r.mac);
        EXPECT_EQ(r.free(), i >= table.Count());
    }
}

// A reader sees either nothing or a whole record, and never a count ahead
// of its records (run under ThreadSanitizer to catch unordered access).
TEST_F(TableTest, ReaderNeverSeesHalfWrittenRecords) {
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 256; ++i) {
            Fields f;
            f.mac = "MAC-" + std::to_string(i);
            f.serial = "S" + std::to_string(i);
            Feed(table, Reply(f));
            Feed(table, Reply(f));  // refresh in place while the reader reads
        }
        done = true;
    });
    while (!done) {
        int count = table.Count();
        for (int i = 0; i < count; ++i) {
            CameraRecord r = table.Record(i);
            ASSERT_EQ(std::string(r.mac), "MAC-" + std::to_string(i));
            ASSERT_EQ(std::string(r.serial), "S" + std::to_string(i));
        }
    }
    writer.join();
    EXPECT_EQ(table.Count(), 256);
}
