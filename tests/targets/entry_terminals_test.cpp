// The entry terminals rules against an in-memory owner list.
#include "targets/entry_terminals.h"

#include <gtest/gtest.h>

#include "entry_list_fake.h"

using namespace vcq::targets;
using vcq::test::EntryListFake;

namespace {

TypedEntry Typed(std::array<int, 4> ip, const std::string& customPort = {}) {
    TypedEntry typed;
    typed.ip = ip;
    typed.customPort = !customPort.empty();
    typed.portText = customPort;
    return typed;
}

TypedEntry Blank(const std::string& customPort = {}) {
    TypedEntry typed = Typed({}, customPort);
    typed.addressBlank = true;
    return typed;
}

}  // namespace

TEST(EntryCheck, CustomPortsOutsideTheRangeAreRefused) {
    for (const char* bad :
         {"", "0", "80", "1023", "65536", "99999999999999999999", "12a", "-1", " 1024"})
        EXPECT_EQ(ParseCustomPort(bad), 0) << bad;
    EXPECT_EQ(ParseCustomPort("1024"), 1024);
    EXPECT_EQ(ParseCustomPort("08080"), 8080);
    EXPECT_EQ(ParseCustomPort("65535"), 65535);
}

TEST(EntryCheck, AddressIsCheckedBeforeThePort) {
    EntryAddress address;
    EXPECT_EQ(CheckEntry(Blank("1023"), &address), EntryCheck::BadAddress);
    EXPECT_EQ(CheckEntry(Blank("8080"), &address), EntryCheck::BadAddress);
    EXPECT_EQ(CheckEntry(Blank(), &address), EntryCheck::BadAddress);
    EXPECT_EQ(CheckEntry(Typed({10, 0, 0, 1}, "1023"), &address), EntryCheck::BadPort);
    // A field above 255 is a wrong address, not the byte it would wrap to.
    for (std::array<int, 4> wrong :
         {std::array<int, 4>{10, 0, 0, 300}, std::array<int, 4>{256, 0, 0, 1},
          std::array<int, 4>{1, -1, 0, 1}})
        EXPECT_EQ(CheckEntry(Typed(wrong, "1023"), &address), EntryCheck::BadAddress);

    // With the "80" radio the port edit is not read.
    TypedEntry port80 = Typed({10, 0, 0, 1});
    port80.portText = "1023";
    ASSERT_EQ(CheckEntry(port80, &address), EntryCheck::Passed);
    EXPECT_EQ(address, (EntryAddress{{10, 0, 0, 1}, 80}));
    ASSERT_EQ(CheckEntry(Typed({10, 0, 0, 2}, "8080"), &address), EntryCheck::Passed);
    EXPECT_EQ(address, (EntryAddress{{10, 0, 0, 2}, 8080}));
}

TEST(EntryTerminals, RefusedStepsStoreNothingAndStay) {
    EntryListFake list(10);
    list.AppendBlank();
    EntryTerminals dialog(list, 10, 0);
    EXPECT_EQ(dialog.Next(Blank()), EntryStep::RefusedAddress);
    EXPECT_EQ(dialog.Add(Typed({10, 0, 0, 1}, "1023")), EntryStep::RefusedPort);
    EXPECT_EQ(dialog.Ok(Typed({10, 0, 0, 1}, "70000")), EntryStep::RefusedPort);
    EXPECT_EQ(dialog.Position(), 0);
    EXPECT_EQ(list.commits, 0);
    EXPECT_EQ(list.RowCount(), 1);
}

TEST(EntryTerminals, ShowsTheOwnersEntryWithPortAndCounter) {
    EntryListFake list(6);
    list.Queue({{10, 0, 0, 1}, 80});
    list.Queue({{10, 0, 0, 2}, 8080});
    list.selected = 0;
    EntryTerminals dialog(list, 6, 0);
    ShownEntry shown = dialog.Shown();
    EXPECT_FALSE(shown.customPort);
    EXPECT_EQ(shown.customPortValue, 1024);  // the disabled edit shows 1024
    EXPECT_EQ(shown.counter, "1/6");

    ASSERT_EQ(dialog.Next(Typed({10, 0, 0, 1})), EntryStep::Done);
    shown = dialog.Shown();
    EXPECT_EQ(shown.address, (EntryAddress{{10, 0, 0, 2}, 8080}));
    EXPECT_TRUE(shown.customPort);
    EXPECT_EQ(shown.customPortValue, 8080);
    EXPECT_EQ(shown.counter, "2/6");
}

TEST(EntryTerminals, WalksAndAddsThroughTheOwner) {
    EntryListFake list(4);
    list.AppendBlank();
    EntryTerminals dialog(list, 4, 0);
    EntryButtons buttons = dialog.Buttons();
    EXPECT_FALSE(buttons.previous);
    EXPECT_FALSE(buttons.remove);  // a blank entry holds no camera
    EXPECT_TRUE(buttons.next);
    EXPECT_TRUE(buttons.add);

    // NEXT from the last entry makes a blank one that starts with the
    // address just entered.
    ASSERT_EQ(dialog.Next(Typed({10, 0, 0, 1}, "8080")), EntryStep::Done);
    EXPECT_EQ(dialog.Position(), 1);
    EXPECT_EQ(list.RowCount(), 2);
    EXPECT_FALSE(list.IsQueued(1));
    EXPECT_EQ(dialog.Shown().address, (EntryAddress{{10, 0, 0, 1}, 8080}));
    EXPECT_TRUE(dialog.Buttons().previous);

    ASSERT_EQ(dialog.Previous(Typed({10, 0, 0, 2})), EntryStep::Done);
    EXPECT_EQ(dialog.Position(), 0);
    EXPECT_EQ(list.rows[1].address, (EntryAddress{{10, 0, 0, 2}, 80}));
    EXPECT_TRUE(dialog.Buttons().remove);

    ASSERT_EQ(dialog.Add(Typed({10, 0, 0, 1})), EntryStep::Done);
    EXPECT_EQ(dialog.Position(), 2);
    EXPECT_EQ(dialog.Shown().counter, "3/4");
    EXPECT_EQ(list.RowCount(), 3);
}

TEST(EntryTerminals, RoomForOneCamera) {
    EntryListFake list(1);
    list.AppendBlank();
    EntryTerminals dialog(list, 1, 0);
    EXPECT_TRUE(dialog.Buttons().next);
    EXPECT_FALSE(dialog.Buttons().add);  // the owner already holds one entry

    // NEXT stores, but there is nowhere to go: the dialog beeps and stays.
    EXPECT_EQ(dialog.Next(Typed({10, 0, 0, 9})), EntryStep::AtLastEntry);
    EXPECT_EQ(dialog.Position(), 0);
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_TRUE(list.IsQueued(0));
    EntryButtons buttons = dialog.Buttons();
    EXPECT_FALSE(buttons.next);
    EXPECT_FALSE(buttons.add);
    EXPECT_TRUE(buttons.remove);
    EXPECT_EQ(dialog.Shown().counter, "1/1");
}

TEST(EntryTerminals, DeleteKeepsThePositionInsideTheList) {
    EntryListFake list(8);
    list.Queue({{10, 0, 0, 1}, 80});
    list.Queue({{10, 0, 0, 2}, 80});
    list.Queue({{10, 0, 0, 3}, 80});
    EntryTerminals dialog(list, 8, 2);

    // The last entry: back by one.
    dialog.Delete();
    EXPECT_EQ(dialog.Position(), 1);
    EXPECT_EQ(dialog.Shown().address.ip, (std::array<uint8_t, 4>{10, 0, 0, 2}));

    // A middle entry: the next one moves into its place.
    list.selected = 0;
    EntryTerminals first(list, 8, 0);
    first.Delete();
    EXPECT_EQ(first.Position(), 0);
    EXPECT_EQ(first.Shown().address.ip, (std::array<uint8_t, 4>{10, 0, 0, 2}));

    // The only entry: a blank one takes its place at position 0.
    first.Delete();
    EXPECT_EQ(first.Position(), 0);
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_FALSE(list.IsQueued(0));
    EntryButtons buttons = first.Buttons();
    EXPECT_FALSE(buttons.remove);
    EXPECT_FALSE(buttons.previous);
    EXPECT_EQ(first.Shown().counter, "1/8");
}

TEST(EntryTerminals, OkStoresTheValuesShown) {
    EntryListFake list(3);
    list.Queue({{10, 0, 0, 1}, 80});
    EntryTerminals dialog(list, 3, 0);
    ASSERT_EQ(dialog.Ok(Typed({10, 0, 0, 7}, "1024")), EntryStep::Done);
    EXPECT_EQ(list.rows[0].address, (EntryAddress{{10, 0, 0, 7}, 1024}));
    EXPECT_EQ(dialog.Position(), 0);
}
