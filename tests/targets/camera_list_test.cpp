// The detected camera list's rows and rules, without any UI.
#include <gtest/gtest.h>

#include <cstring>

#include "package/resources.h"
#include "targets/camera_list.h"
#include "upgrade/pre_batch.h"

using namespace vcq;

namespace {

void Add(CameraList& list, const std::string& mac, const Ipv4& ip, int32_t port = 80,
         const std::string& address = {}) {
    const std::string text = address.empty() ? AddressText(ip, port) : address;
    list.AddRow(list.Count(), mac, text, "VCQ-R20", "S" + mac, "ver1.05", ip, port, -1);
}

std::vector<std::string> Macs(const CameraList& list) {
    std::vector<std::string> macs;
    for (int i = 0; i < list.Count(); ++i)
        macs.push_back(list.Row(i).texts[text::kMac]);
    return macs;
}

CameraRecord Record(const char* mac, uint8_t last, bool dhcp = false, int32_t port = 80) {
    CameraRecord record;
    std::strncpy(record.mac, mac, sizeof record.mac - 1);
    std::strncpy(record.model, "VCQ-R20", sizeof record.model - 1);
    record.ip[0] = 10;
    record.ip[3] = last;
    record.dhcp = dhcp;
    record.webPort = port;
    return record;
}

}  // namespace

TEST(CameraRowTest, AddressTextsShowThePortOnlyWhenNot80) {
    EXPECT_EQ(AddressText({192, 168, 0, 10}, 80), "192.168.0.10");
    EXPECT_EQ(AddressText({10, 0, 0, 255}, 8080), "10.0.0.255:8080");
    EXPECT_EQ(WebPageUrl({10, 0, 0, 1}, 80), "http://10.0.0.1/");
    EXPECT_EQ(WebPageUrl({10, 0, 0, 1}, 8080), "http://10.0.0.1:8080/");
    EXPECT_EQ(DiscoveredAddressText(Record("m", 7, true)), "DHCP");
    EXPECT_EQ(DiscoveredAddressText(Record("m", 7, false, 81)), "10.0.0.7:81");
}

TEST(CameraListTest, SameNonEmptyMacIsAddedOnceButHandAddedRowsAlways) {
    CameraList list;
    Add(list, "08-00-46-00-00-01", {10, 0, 0, 1});
    EXPECT_FALSE(
        list.AddRow(1, "08-00-46-00-00-01", "10.0.0.2", "", "", "", {10, 0, 0, 2}, 80, -1));
    EXPECT_TRUE(list.AddRow(1, "", "10.0.0.3", "", "", "", {10, 0, 0, 3}, 80, 0));
    EXPECT_TRUE(list.AddRow(2, "", "10.0.0.4", "", "", "", {10, 0, 0, 4}, 80, 1));
    ASSERT_EQ(list.Count(), 3);
    const CameraRow& row = list.Row(2);
    EXPECT_EQ(row.index, 2);
    EXPECT_EQ(row.tag, 1);
    EXPECT_EQ(row.ticked, 1);
    EXPECT_EQ(row.status, status::kNotVerified);
    EXPECT_TRUE(row.texts[0].empty() && row.texts[text::kName].empty());
    // A position beyond the end appends instead of leaving a hole.
    EXPECT_TRUE(list.AddRow(40, "", "10.0.0.5", "", "", "", {10, 0, 0, 5}, 80, 2));
    EXPECT_EQ(list.Count(), 4);
}

// Upgrading a camera at 1.08 or 1.09 resets its settings: such rows wait for
// the operator to tick them, however they came into the list.
// What a batch does with a camera before it starts: the detected list's tick
// and notice and the headless tool's outcome read this one verdict.
TEST(PreBatchTest, EachVersionAgainstThePackageGetsOneVerdict) {
    const struct {
        const char* camera;
        const char* package;
        PreBatch verdict;
        const char* notice;
    } rows[] = {
        {"1.05", "1.08", PreBatch::Upgrade, ""},
        {"ver1.07", "1.08", PreBatch::Upgrade, ""},
        {"1.10", "1.08", PreBatch::Newer, "Newer"},
        {"2.00", "ver1.08", PreBatch::Newer, "Newer"},
        {"1.080", "1.08", PreBatch::Newer, "Newer"},
        {"1.9", "1.10", PreBatch::Upgrade, ""},
        {"", "1.08", PreBatch::Upgrade, ""},
        {"ver", "1.08", PreBatch::Upgrade, ""},
        {"1.08", "1.08", PreBatch::UpToDate, "Up to date"},
        {"ver1.08", "ver1.08", PreBatch::UpToDate, "Up to date"},
        {"1.09", "1.08", PreBatch::Newer, "Newer"},
        {"1.08", "1.10", PreBatch::ResetFirst, ""},
        {"1.09", "1.09", PreBatch::UpToDate, "Up to date"},
        {"3.00", "1.08", PreBatch::NotUpgradable, "Not upgradable"},
        {"ver3.00", "1.08", PreBatch::NotUpgradable, "Not upgradable"},
        {"1.05", "3.01", PreBatch::NotUpgradable, "Not upgradable"},
        {"3.00", "3.01", PreBatch::Upgrade, ""},
        {"3.01", "3.01", PreBatch::UpToDate, "Up to date"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.camera) + " against " + row.package);
        const PreBatch verdict = DecidePreBatch(row.camera, row.package);
        EXPECT_EQ(verdict, row.verdict);
        EXPECT_EQ(StartsTicked(verdict), row.verdict == PreBatch::Upgrade);
        EXPECT_EQ(PreBatchNotice(verdict), row.notice);
        EXPECT_EQ(PreBatchReason(verdict).empty(), row.verdict == PreBatch::Upgrade);
    }
}

// Discovered or added by hand, a row starts ticked only when the batch would
// upgrade it without a question.
TEST(CameraListTest, RowsTheBatchWouldNotSimplyUpgradeStartUnticked) {
    const struct {
        const char* version;
        int32_t ticked;
    } rows[] = {{"1.08", 0}, {"1.09", 0},  {"1.05", 1}, {"1.07", 1},   {"1.10", 0},
                {"3.00", 0}, {"1.080", 0}, {"", 1},     {"unknown", 1}};
    CameraList byHand;
    CameraList discovered;
    std::vector<CameraRecord> records;
    for (const auto& row : rows) {
        CameraRecord record = Record(("m" + std::string(row.version)).c_str(), 1);
        std::strncpy(record.softVersion, row.version, sizeof record.softVersion - 1);
        records.push_back(record);
        byHand.AddRow(byHand.Count(), "", "10.0.0.1", "VCQ-R20", "S", row.version, {10, 0, 0, 1},
                      80, byHand.Count());
    }
    ASSERT_EQ(PopulateFromDiscovery(discovered, records), static_cast<int>(std::size(rows)));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].version);
        EXPECT_EQ(byHand.Row(int(i)).ticked, rows[i].ticked);
        EXPECT_EQ(discovered.Row(int(i)).ticked, rows[i].ticked);
        EXPECT_EQ(discovered.Row(int(i)).preBatch,
                  DecidePreBatch(rows[i].version, PackageVersion()));
    }
}

TEST(CameraListTest, ListHoldsAtMost256Rows) {
    CameraList list;
    for (int i = 0; i < 300; ++i)
        list.AddRow(list.Count(), "", "x", "", "", "", {10, 0, 1, uint8_t(i)}, 80, i);
    EXPECT_EQ(list.Count(), kMaxListRows);
}

TEST(CameraListTest, PopulateSkipsEmptyMacsAndAddsOnlyNewRecords) {
    CameraList list;
    std::vector<CameraRecord> records = {Record("a", 1), Record("", 2), Record("c", 3, true)};
    EXPECT_EQ(PopulateFromDiscovery(list, records), 2);
    EXPECT_EQ(list.Row(1).texts[text::kAddress], "DHCP");
    records.push_back(Record("d", 4, false, 8080));
    EXPECT_EQ(PopulateFromDiscovery(list, records), 3);
    EXPECT_EQ(list.Row(2).texts[text::kAddress], "10.0.0.4:8080");
    EXPECT_EQ(list.Row(2).port, 8080);
}

TEST(CameraListTest, TickTogglesFollowTheSelection) {
    CameraList list;
    for (uint8_t i = 0; i < 4; ++i)
        Add(list, std::string(1, char('a' + i)), {10, 0, 0, i});
    list.ToggleTicks(1, {1});  // one selected: that tick flips
    EXPECT_EQ(list.Row(1).ticked, 0);
    list.ToggleTicks(1, {0, 1, 2});  // among several: all get the inverse of the clicked
    EXPECT_EQ(list.Row(0).ticked, 1);
    EXPECT_EQ(list.Row(1).ticked, 1);
    EXPECT_EQ(list.Row(2).ticked, 1);
    list.ToggleTicks(0, {0, 1, 2});
    EXPECT_EQ(list.Row(0).ticked + list.Row(1).ticked + list.Row(2).ticked, 0);
    list.ToggleTicks(3, {0, 1});  // not selected: only its own
    EXPECT_EQ(list.Row(3).ticked, 0);
    EXPECT_EQ(list.Row(0).ticked, 0);

    EXPECT_FALSE(list.SpaceTicks(3, {0, 1}));  // focus outside the selection
    EXPECT_TRUE(list.SpaceTicks(1, {1, 3}));
    EXPECT_EQ(list.Row(1).ticked, 1);
    EXPECT_EQ(list.Row(3).ticked, 1);
    EXPECT_TRUE(list.SpaceTicks(1, {1, 3}));
    EXPECT_EQ(list.Row(1).ticked + list.Row(3).ticked, 0);
}

TEST(CameraListTest, TickColumnSortsOnlyWhenTicksDifferButAlwaysFlipsDirection) {
    CameraList list;
    for (uint8_t i = 0; i < 3; ++i)
        Add(list, std::string(1, char('a' + i)), {10, 0, 0, i});
    EXPECT_FALSE(list.Sort(0));
    EXPECT_TRUE(list.Ascending());
    EXPECT_FALSE(list.Sort(0));
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(Macs(list), (std::vector<std::string>{"a", "b", "c"}));

    list.MutableRow(2).ticked = 0;
    EXPECT_TRUE(list.Sort(0));  // ascending again: unticked first
    EXPECT_EQ(Macs(list), (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_TRUE(list.Sort(0));
    EXPECT_EQ(Macs(list), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(CameraListTest, AddressesSortAsTextWithDhcpAmongThem) {
    CameraList list;
    Add(list, "nine", {10, 0, 0, 9});
    Add(list, "dhcp", {10, 0, 0, 1}, 80, "DHCP");
    Add(list, "ten", {10, 0, 0, 10});
    Add(list, "port", {10, 0, 0, 10}, 8080);
    EXPECT_TRUE(list.Sort(text::kAddress));
    EXPECT_EQ(Macs(list), (std::vector<std::string>{"ten", "port", "nine", "dhcp"}));
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Row(i).index, i);
    EXPECT_TRUE(list.Sort(text::kAddress));
    EXPECT_EQ(Macs(list), (std::vector<std::string>{"dhcp", "nine", "port", "ten"}));
    // A new column starts ascending; comparison is case-sensitive.
    list.MutableRow(0).texts[text::kModel] = "b";
    list.MutableRow(1).texts[text::kModel] = "B";
    list.MutableRow(2).texts[text::kModel] = "a";
    list.MutableRow(3).texts[text::kModel] = "A";
    EXPECT_TRUE(list.Sort(text::kModel));
    EXPECT_EQ(Macs(list), (std::vector<std::string>{"ten", "nine", "port", "dhcp"}));
}

TEST(CameraListTest, SelectionAndFocusTravelWithTheirCameras) {
    CameraList list;
    Add(list, "c", {10, 0, 0, 3});
    Add(list, "a", {10, 0, 0, 1});
    Add(list, "b", {10, 0, 0, 2});
    list.MutableRow(0).wasSelected = 1;  // "c"
    list.MutableRow(2).wasSelected = 1;  // "b", also focused
    list.MutableRow(2).wasFocused = 1;
    ASSERT_TRUE(list.Sort(text::kMac));
    EXPECT_EQ(Macs(list), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(list.Row(0).wasSelected, 0);
    EXPECT_EQ(list.Row(1).wasSelected, 1);
    EXPECT_EQ(list.Row(1).wasFocused, 1);
    EXPECT_EQ(list.Row(2).wasSelected, 1);
    EXPECT_EQ(list.Row(2).wasFocused, 0);
}

TEST(CameraListTest, EveryPairOnOneAddressIsALineWhateverThePorts) {
    CameraList list;
    Add(list, "a", {10, 0, 0, 5});
    Add(list, "b", {10, 0, 0, 6});
    Add(list, "c", {10, 0, 0, 5}, 8080);
    Add(list, "d", {10, 0, 0, 5});
    EXPECT_EQ(list.DuplicateAddressLines(),
              std::vector<std::string>(3, std::string("#10.0.0.5\r\n")));
    EXPECT_EQ(DuplicateAddressMessage({"#10.0.0.5\r\n"}),
              "There is more than one camera with the same IP address as below.\r\n"
              "#10.0.0.5\r\nPlease assign different addresses to avoid any conflict.");
    list.MutableRow(2).ip = {10, 0, 0, 7};
    list.MutableRow(3).ip = {10, 0, 0, 8};
    EXPECT_TRUE(list.DuplicateAddressLines().empty());
}

TEST(CameraListTest, NextNeedsATickedRowAndEveryTickedRowALogin) {
    CameraList list;
    EXPECT_FALSE(list.AllTickedHaveLogin());
    Add(list, "a", {10, 0, 0, 1});
    Add(list, "b", {10, 0, 0, 2});
    list.SetLogin(0, "admin", "secret");
    EXPECT_FALSE(list.AllTickedHaveLogin());
    list.SetLogin(1, "admin", "");  // a name without a password is not a login
    EXPECT_FALSE(list.AllTickedHaveLogin());
    list.MutableRow(1).ticked = 0;
    EXPECT_TRUE(list.AllTickedHaveLogin());
    list.MutableRow(0).ticked = 0;
    EXPECT_FALSE(list.AllTickedHaveLogin());
}

TEST(CameraListTest, TargetRowCarriesTheLoginAndTheDhcpFlag) {
    CameraList list;
    Add(list, "a", {10, 0, 0, 1}, 8080, "DHCP");
    list.SetLogin(0, "admin", "pw");
    TargetRow row;
    EXPECT_TRUE(list.GetTargetRow(0, row));
    EXPECT_EQ(row.name, "admin");
    EXPECT_EQ(row.password, "pw");
    EXPECT_EQ(row.port, 8080);
    EXPECT_TRUE(row.dhcp);
    EXPECT_EQ(row.serial, "Sa");
    list.MutableRow(0).ticked = 0;
    EXPECT_FALSE(list.GetTargetRow(0, row));
}
