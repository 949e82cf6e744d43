// The add-other-cameras dialog's rules: capacity, rows and their ids, the
// duplicate marks, the sysinfo jobs and their ticks, OK and Cancel.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "recording_window.h"
#include "scripted_server.h"
#include "targets/add_cameras_state.h"
#include "test_runners.h"

namespace vcq {
namespace {

using namespace std::chrono_literals;
using test::HeldRunner;
using test::RecordingWindow;

ModelList Models() {
    return ModelList{{"VCQ-R20", "VCQ-R20N"}};
}

std::string Sysinfo(const std::string& model, const std::string& version = "1.05") {
    return test::OkReply("ModelName=" + model + "&Serial=10000042&SoftVersion=" + version);
}

template <typename Runner = HeldRunner>
struct Dialog {
    RecordingWindow window;
    Runner runner;
    std::vector<Ipv4Bytes> detected;
    AddCamerasState state;

    explicit Dialog(int32_t existing = 0)
        : state(
              existing, Models(), [this] { return detected; }, runner, &window) {}

    VerifyListModel& list() { return state.List(); }
    const VerifyRow& row(size_t position) { return list().RowAt(position); }
    // Types a camera into a new row, as the entry dialog does.
    void Type(const Ipv4Bytes& ip, int32_t port = 80) {
        state.AddEntry();
        state.CommitEntry(ip, port);
    }
    std::vector<std::string> Column(size_t text) {
        std::vector<std::string> texts;
        for (size_t i = 0; i < list().RowCount(); ++i)
            texts.push_back(row(i).texts[text]);
        return texts;
    }
};

CameraListParser Parsed(const std::string& text) {
    CameraListParser parser(nullptr);
    EXPECT_TRUE(parser.ReadText(text));
    return parser;
}

// A loopback address from a server's host text, and its port.
std::pair<Ipv4Bytes, int32_t> Loopback(uint16_t port) {
    return {Ipv4Bytes{127, 0, 0, 1}, port};
}

uint16_t ClosedPort() {
    test::ScriptedServer gone;
    return gone.port();
}

TEST(AddCameras, CapacityWith250CamerasDetected) {
    Dialog d(250);
    EXPECT_EQ(d.state.Capacity(), 6);
    EXPECT_EQ(d.state.CounterText(), "6/6");
    EXPECT_TRUE(d.state.Buttons().add);
    EXPECT_FALSE(d.state.Buttons().edit);

    d.Type({10, 0, 0, 1});
    std::string csv;
    for (int i = 2; i <= 10; ++i)
        csv += "10.0.0." + std::to_string(i) + ",8080\n";
    EXPECT_EQ(d.state.Import(Parsed(csv)), 5u);
    EXPECT_EQ(d.state.CounterText(), "0/6");
    AddCamerasButtons buttons = d.state.Buttons();
    EXPECT_FALSE(buttons.add || buttons.paste || buttons.loadCsv);
    EXPECT_TRUE(buttons.edit && buttons.remove);
    EXPECT_EQ(d.Column(verify_text::kAddress),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.2:8080", "10.0.0.3:8080",
                                        "10.0.0.4:8080", "10.0.0.5:8080", "10.0.0.6:8080"}));
    EXPECT_EQ(d.Column(verify_text::kId),
              (std::vector<std::string>{"001", "002", "003", "004", "005", "006"}));

    // Full: no blank row from Add or from NEXT on the last row.
    EXPECT_EQ(d.state.AddEntry(), 5);
    d.state.NextEntry();
    EXPECT_EQ(d.list().RowCount(), 6u);
    EXPECT_EQ(d.state.Selected(), 5u);
}

TEST(AddCameras, EntryOperations) {
    Dialog d(255);  // room for one
    EXPECT_EQ(d.state.CurrentAddress(), (CameraAddress{{192, 168, 0, 100}, 80}));
    EXPECT_EQ(d.state.AddEntry(), 0);
    EXPECT_FALSE(d.state.IsQueued(0));
    d.state.CommitEntry({10, 1, 1, 1}, 8080);
    EXPECT_TRUE(d.state.IsQueued(0));
    EXPECT_FALSE(d.state.IsQueued(1));
    EXPECT_EQ(d.row(0).texts[verify_text::kModel], "Queued...");
    d.state.DeleteEntry();  // the only entry: a blank one takes its place
    ASSERT_EQ(d.list().RowCount(), 1u);
    EXPECT_FALSE(d.state.IsQueued(0));
    EXPECT_EQ(d.state.Selected(), 0u);
    // A blank row starts with the last address entered.
    EXPECT_EQ(d.state.CurrentAddress(), (CameraAddress{{10, 1, 1, 1}, 8080}));

    Dialog wide;
    wide.Type({10, 0, 0, 1});
    wide.state.NextEntry();  // last row: a new blank row
    wide.state.CommitEntry({10, 0, 0, 2}, 80);
    EXPECT_EQ(wide.list().RowCount(), 2u);
    wide.state.PreviousEntry();
    EXPECT_EQ(wide.state.Selected(), 0u);
    wide.state.PreviousEntry();
    EXPECT_EQ(wide.state.Selected(), 0u);
    wide.state.NextEntry();  // not the last: just moves
    EXPECT_EQ(wide.state.Selected(), 1u);
    EXPECT_EQ(wide.list().RowCount(), 2u);
    wide.state.NextEntry();
    wide.state.EntryDialogClosed();  // the blank row goes
    EXPECT_EQ(wide.list().RowCount(), 2u);
}

TEST(AddCameras, DeletingRenumbersTheRowsAfter) {
    Dialog d;
    for (uint8_t i = 1; i <= 3; ++i)
        d.Type({10, 0, 0, i});
    d.state.Select(1);
    d.window.QueueAnswer(MessageAnswer::Cancel);
    EXPECT_FALSE(d.state.DeleteSelected());
    EXPECT_EQ(d.list().RowCount(), 3u);

    d.window.QueueAnswer(MessageAnswer::Ok);
    EXPECT_TRUE(d.state.DeleteSelected());
    auto boxes = d.window.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Would you like to delete the Queued...(10.0.0.2)?");
    EXPECT_EQ(boxes[1].caption, "Information");
    EXPECT_EQ(boxes[1].icon, MessageIcon::Question);
    EXPECT_EQ(boxes[1].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(d.Column(verify_text::kAddress), (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));
    EXPECT_EQ(d.row(1).index, 2);
    EXPECT_EQ(d.row(1).texts[verify_text::kId], "002");
    EXPECT_EQ(d.state.Selected(), 1u);  // the row now in its place
    EXPECT_EQ(d.list().ActiveJobs(), 2u);

    EXPECT_TRUE(d.state.DeleteSelected());  // the last: the new last is selected
    EXPECT_EQ(d.state.Selected(), 0u);
    // The next row added is numbered after the rows left.
    d.Type({10, 0, 0, 4});
    EXPECT_EQ(d.row(1).texts[verify_text::kId], "002");
}

TEST(AddCameras, AJobFollowsItsRowWhenIdsMove) {
    test::ScriptedServer camera;
    camera.SetReply(Sysinfo("VCQ-R20N"));
    Dialog d;
    d.Type({10, 0, 0, 1});
    d.Type({10, 0, 0, 2});
    auto [ip, port] = Loopback(camera.port());
    d.Type(ip, port);
    d.list().DeleteRow(1);
    d.list().Tick();
    ASSERT_EQ(d.runner.Posted(), 2u);
    d.runner.Run(1);  // the camera that was row 3
    d.list().Tick();
    EXPECT_EQ(d.row(1).texts[verify_text::kModel], "VCQ-R20N");
    EXPECT_EQ(d.row(1).validity, 1);
    EXPECT_EQ(d.row(0).texts[verify_text::kModel], "Searching...");
}

TEST(AddCameras, DuplicateMarksCompareTheAddressOnly) {
    Dialog d;
    d.detected = {{10, 0, 0, 9}};
    d.Type({10, 0, 0, 9}, 8080);  // already detected: pink
    EXPECT_EQ(d.row(0).duplicate, 2);
    d.Type({10, 0, 0, 5});
    d.Type({10, 0, 0, 5}, 8080);  // twice in this list: amber, both
    EXPECT_EQ(d.row(1).duplicate, 1);
    EXPECT_EQ(d.row(2).duplicate, 1);
    d.list().DeleteRow(2);
    EXPECT_EQ(d.row(1).duplicate, 0);

    // A blank row carries the last address entered; once the entry dialog
    // closes it is gone, and so is the mark it gave.
    d.state.AddEntry();
    d.list().Queue(1, {10, 0, 0, 5}, 80);
    EXPECT_EQ(d.row(1).duplicate, 1);
    d.state.EntryDialogClosed();
    EXPECT_EQ(d.list().RowCount(), 2u);
    EXPECT_EQ(d.row(1).duplicate, 0);
    EXPECT_FALSE(d.list().IsValid(0));
}

TEST(AddCameras, QueueingStartsAJobOnlyForANewAddress) {
    Dialog d;
    d.Type({10, 0, 0, 1});
    EXPECT_EQ(d.list().ActiveJobs(), 1u);
    EXPECT_GE(d.window.TimerStarts(kVerifyTimerId), 1);
    d.list().Queue(0, {10, 0, 0, 1}, 80);  // the same address: nothing new
    EXPECT_EQ(d.list().ActiveJobs(), 1u);
    d.list().Tick();
    EXPECT_EQ(d.row(0).texts[verify_text::kModel], "Searching...");
    d.list().Queue(0, {10, 0, 0, 1}, 8080);  // another port: queued again
    EXPECT_EQ(d.row(0).texts[verify_text::kModel], "Queued...");
    EXPECT_EQ(d.row(0).texts[verify_text::kAddress], "10.0.0.1:8080");
    EXPECT_EQ(d.list().ActiveJobs(), 1u);
}

TEST(AddCameras, AtMostFourJobsPerTick) {
    Dialog d;
    for (uint8_t i = 1; i <= 6; ++i)
        d.Type({10, 0, 0, i});
    d.list().Tick();
    EXPECT_EQ(d.runner.Posted(), 4u);
    EXPECT_EQ(d.Column(verify_text::kModel),
              (std::vector<std::string>{"Searching...", "Searching...", "Searching...",
                                        "Searching...", "Queued...", "Queued..."}));
    d.list().Tick();  // the first four still ask: the others wait
    EXPECT_EQ(d.runner.Posted(), 4u);
    EXPECT_EQ(d.list().RunningJobs(), 4u);
    EXPECT_FALSE(d.list().OkEnabled());
}

struct Judged {
    std::optional<std::string> reply;  // none: nothing listens
    const char* model;
    const char* version;
    int32_t validity;
};

TEST(AddCameras, RowsAreJudgedByTheirSysinfo) {
    const Judged cases[] = {
        {Sysinfo("VCQ-R20"), "VCQ-R20", "1.05", 1},
        {Sysinfo("VCQ-X99"), "VCQ-X99", "1.05", 2},
        {Sysinfo("VCQ-R20", "emergency"), "VCQ-R20", "unknown", 1},
        {test::OkReply("<html>router</html>"), "Not a camera", "", 2},
        {std::nullopt, "No response", "", 2},
    };
    for (const Judged& c : cases) {
        SCOPED_TRACE(c.model);
        test::ScriptedServer camera;
        uint16_t port = camera.port();
        if (c.reply)
            camera.SetReply(*c.reply);
        else
            port = ClosedPort();
        Dialog d;
        auto [ip, p] = Loopback(port);
        d.Type(ip, p);
        d.list().Tick();
        EXPECT_EQ(d.row(0).validity, 1);  // while it asks
        d.runner.Run(0);
        EXPECT_FALSE(d.list().OkEnabled());
        EXPECT_TRUE(d.list().Tick());
        EXPECT_EQ(d.row(0).texts[verify_text::kModel], c.model);
        EXPECT_EQ(d.row(0).texts[verify_text::kVersion], c.version);
        EXPECT_EQ(d.row(0).validity, c.validity);
        EXPECT_FALSE(d.list().OkEnabled());  // until a tick finds no job
        d.list().Tick();
        EXPECT_TRUE(d.list().OkEnabled());
        if (c.reply) {
            EXPECT_NE(camera.Requests().at(0).find("inq=sysinfo"), std::string::npos);
        }
    }
}

TEST(AddCameras, OkWaitsForEveryJobAndHandsOverTheRows) {
    test::ScriptedServer camera;
    camera.SetReply(Sysinfo("VCQ-R20"));
    Dialog d(3);
    auto [ip, port] = Loopback(camera.port());
    d.Type(ip, port);
    d.list().Tick();
    d.runner.Run(0);
    d.list().Tick();
    d.list().Tick();
    ASSERT_TRUE(d.list().OkEnabled());
    ASSERT_TRUE(d.list().IsValid(0));
    // Another address for a judged row: neither the row nor OK wait for the
    // next tick to stop counting as verified.
    d.list().Queue(0, ip, ClosedPort());
    EXPECT_FALSE(d.list().IsValid(0));
    EXPECT_FALSE(d.list().OkEnabled());
    EXPECT_FALSE(d.state.Accept().has_value());
    d.list().Queue(0, ip, port);
    d.list().Tick();
    ASSERT_EQ(d.runner.Posted(), 2u);
    d.runner.Run(1);
    d.list().Tick();
    d.list().Tick();
    ASSERT_TRUE(d.list().OkEnabled());
    EXPECT_TRUE(d.window.Boxes().empty());
    auto handed = d.state.Accept();
    ASSERT_TRUE(handed.has_value());
    ASSERT_EQ(handed->size(), 1u);
    EXPECT_EQ((*handed)[0].tag, 0);
    EXPECT_EQ((*handed)[0].texts[1], "");
    EXPECT_EQ((*handed)[0].texts[2], camera.hostText());
    EXPECT_EQ((*handed)[0].texts[3], "VCQ-R20");
    EXPECT_EQ((*handed)[0].texts[4], "10000042");
    EXPECT_EQ((*handed)[0].texts[5], "1.05");
    EXPECT_EQ((*handed)[0].port, camera.port());
}

TEST(AddCameras, CancelAsksOnlyWhenRowsExist) {
    Dialog d;
    EXPECT_TRUE(d.state.ConfirmCancel());
    EXPECT_TRUE(d.window.Boxes().empty());
    d.Type({10, 0, 0, 1});
    d.window.QueueAnswer(MessageAnswer::Cancel);
    EXPECT_FALSE(d.state.ConfirmCancel());
    EXPECT_TRUE(d.state.ConfirmCancel());
    EXPECT_EQ(d.window.BoxTexts(), (std::vector<std::string>{"All of the data will be released.",
                                                             "All of the data will be released."}));
}

TEST(AddCameras, SortingKeepsIdsAndSelection) {
    Dialog d;
    d.Type({10, 0, 0, 9});
    d.Type({10, 0, 0, 10});
    d.Type({10, 0, 0, 2});
    d.state.Select(0);
    d.list().SortByColumn(0);  // the first click on "ID": highest first
    EXPECT_EQ(d.Column(verify_text::kId), (std::vector<std::string>{"003", "002", "001"}));
    EXPECT_EQ(d.state.Selected(), 2u);
    d.list().SortByColumn(0);
    EXPECT_EQ(d.Column(verify_text::kId), (std::vector<std::string>{"001", "002", "003"}));
    d.list().SortByColumn(1);  // addresses sort as text
    EXPECT_TRUE(d.list().SortAscending());
    EXPECT_EQ(d.Column(verify_text::kAddress),
              (std::vector<std::string>{"10.0.0.10", "10.0.0.2", "10.0.0.9"}));
    EXPECT_EQ(d.state.Selected(), 2u);
    // Deleting finds the row by its id, wherever the sort put it.
    d.list().DeleteRow(0);  // id 2
    EXPECT_EQ(d.Column(verify_text::kId), (std::vector<std::string>{"002", "001"}));
    EXPECT_EQ(d.Column(verify_text::kAddress), (std::vector<std::string>{"10.0.0.2", "10.0.0.9"}));
}

TEST(AddCameras, TicksNeverWaitForTheCamera) {
    test::ScriptedServer camera;
    camera.SetReply(test::ScriptedReply{{{Sysinfo("VCQ-R20"), 400ms}}});
    Dialog<test::ThreadRunner> d;
    auto [ip, port] = Loopback(camera.port());
    d.Type(ip, port);
    auto start = std::chrono::steady_clock::now();
    d.list().Tick();
    d.list().Tick();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_EQ(d.row(0).texts[verify_text::kModel], "Searching...");
    while (d.row(0).texts[verify_text::kModel] == "Searching..." &&
           std::chrono::steady_clock::now() - start < 5s) {
        std::this_thread::sleep_for(20ms);
        d.list().Tick();
    }
    EXPECT_EQ(d.row(0).texts[verify_text::kModel], "VCQ-R20");
}

}  // namespace
}  // namespace vcq
