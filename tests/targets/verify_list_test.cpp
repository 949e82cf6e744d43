// The add-other-cameras dialog's rules: capacity, rows and their ids, the
// duplicate marks, the sysinfo jobs and their ticks, OK and Cancel.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "recording_window.h"
#include "scripted_server.h"
#include "targets/add_cameras_state.h"

namespace vcq {
namespace {

using namespace std::chrono_literals;
using test::RecordingWindow;

ModelList Models() {
    return ModelList{{"VCQ-R20", "VCQ-R20N"}};
}

std::string Sysinfo(const std::string& model, const std::string& version = "1.05") {
    return test::OkReply("ModelName=" + model + "&Serial=10000042&SoftVersion=" + version);
}

// Cameras answering by host text, on the runner's worker threads. An unknown
// host gives no reply. Closed, they hold every exchange until opened.
class FakeCameras {
  public:
    void Set(const std::string& host, const std::string& reply) {
        std::lock_guard lock(state_->mutex);
        state_->replies[host] = reply;
    }
    void Close() { SetOpen(false); }
    void Open() { SetOpen(true); }
    int Asked() const {
        std::lock_guard lock(state_->mutex);
        return state_->asked;
    }
    SysinfoExchange Exchange() {
        return [state = state_](const std::string& host) {
            std::unique_lock lock(state->mutex);
            ++state->asked;
            state->changed.wait(lock, [&] { return state->open; });
            auto found = state->replies.find(host);
            return JobReply{true, found == state->replies.end() ? "" : found->second, ""};
        };
    }

  private:
    void SetOpen(bool open) {
        std::lock_guard lock(state_->mutex);
        state_->open = open;
        state_->changed.notify_all();
    }
    struct State {
        mutable std::mutex mutex;
        std::condition_variable changed;
        bool open = true;
        int asked = 0;
        std::map<std::string, std::string> replies;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

struct Dialog {
    RecordingWindow window;
    FakeCameras cameras;
    std::vector<Ipv4> detected;
    AddCamerasState state;

    explicit Dialog(int32_t existing = 0)
        : state(
              existing, Models(), [this] { return detected; }, &window) {
        state.List().SetExchange(cameras.Exchange());
    }

    VerifyListModel& list() { return state.List(); }
    const VerifyRow& row(size_t position) { return list().RowAt(position); }
    // Types a camera into a new row, as the entry dialog does.
    void Type(const Ipv4& ip, int32_t port = 80) {
        state.AddEntry();
        state.CommitEntry({ip, port});
    }
    // Ticks until every job is judged and OK is enabled.
    bool Settle() {
        for (int i = 0; i < 1000 && !list().OkEnabled(); ++i) {
            list().Tick();
            std::this_thread::sleep_for(2ms);
        }
        return list().OkEnabled();
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
    EXPECT_EQ(d.state.CurrentAddress(), (targets::EntryAddress{{192, 168, 0, 100}, 80}));
    EXPECT_EQ(d.state.AddEntry(), 0);
    EXPECT_FALSE(d.state.IsQueued(0));
    d.state.CommitEntry({{10, 1, 1, 1}, 8080});
    EXPECT_TRUE(d.state.IsQueued(0));
    EXPECT_FALSE(d.state.IsQueued(1));
    EXPECT_EQ(d.row(0).texts[verify_text::kModel], "Queued...");
    d.state.DeleteEntry();  // the only entry: a blank one takes its place
    ASSERT_EQ(d.list().RowCount(), 1u);
    EXPECT_FALSE(d.state.IsQueued(0));
    EXPECT_EQ(d.state.Selected(), 0u);
    // A blank row starts with the last address entered.
    EXPECT_EQ(d.state.CurrentAddress(), (targets::EntryAddress{{10, 1, 1, 1}, 8080}));

    Dialog wide;
    wide.Type({10, 0, 0, 1});
    wide.state.NextEntry();  // last row: a new blank row
    wide.state.CommitEntry({{10, 0, 0, 2}, 80});
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

TEST(AddCameras, TheEntryTerminalsDialogWorksOnTheList) {
    auto typed = [](std::array<int, 4> ip, const std::string& port = {}) {
        targets::TypedEntry entry;
        entry.ip = ip;
        entry.customPort = !port.empty();
        entry.portText = port;
        return entry;
    };
    Dialog one(255);  // room for one camera
    targets::EntryTerminals single(one.state, one.state.Capacity(), one.state.AddEntry());
    EXPECT_EQ(single.Next(typed({10, 0, 0, 1})), targets::EntryStep::AtLastEntry);
    EXPECT_TRUE(one.state.IsQueued(0));
    EXPECT_FALSE(single.Buttons().add);
    EXPECT_FALSE(single.Buttons().next);
    single.Delete();  // the only entry: a blank one in its place
    EXPECT_EQ(one.state.RowCount(), 1);
    EXPECT_FALSE(one.state.IsQueued(0));
    EXPECT_EQ(single.Position(), 0);

    Dialog d;
    targets::EntryTerminals entry(d.state, d.state.Capacity(), d.state.AddEntry());
    EXPECT_EQ(entry.Next(typed({10, 0, 0, 1})), targets::EntryStep::Done);
    EXPECT_EQ(entry.Add(typed({10, 0, 0, 2}, "8080")), targets::EntryStep::Done);
    EXPECT_EQ(entry.Position(), 2);
    EXPECT_EQ(entry.Shown().counter, "3/256");
    EXPECT_EQ(entry.Previous(typed({10, 0, 0, 3})), targets::EntryStep::Done);
    EXPECT_EQ(entry.Shown().address, (targets::EntryAddress{{10, 0, 0, 2}, 8080}));
    EXPECT_EQ(entry.Ok(typed({10, 0, 0, 2}, "8081")), targets::EntryStep::Done);
    d.state.EntryDialogClosed();
    EXPECT_EQ(d.Column(verify_text::kAddress),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.2:8081", "10.0.0.3"}));
    EXPECT_EQ(d.state.CounterText(), "253/256");
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
    Dialog d;
    d.cameras.Set("10.0.0.1", Sysinfo("VCQ-R20"));
    d.cameras.Set("10.0.0.3", Sysinfo("VCQ-R20N"));
    d.cameras.Close();
    for (uint8_t i = 1; i <= 3; ++i)
        d.Type({10, 0, 0, i});
    d.list().Tick();
    EXPECT_EQ(d.list().RunningJobs(), 3u);
    d.list().DeleteRow(1);  // while every camera is being asked
    d.cameras.Open();
    ASSERT_TRUE(d.Settle());
    EXPECT_EQ(d.Column(verify_text::kModel), (std::vector<std::string>{"VCQ-R20", "VCQ-R20N"}));
    EXPECT_EQ(d.row(1).validity, 1);
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
    d.cameras.Close();
    for (uint8_t i = 1; i <= 6; ++i)
        d.Type({10, 0, 0, i});
    d.list().Tick();
    EXPECT_EQ(d.Column(verify_text::kModel),
              (std::vector<std::string>{"Searching...", "Searching...", "Searching...",
                                        "Searching...", "Queued...", "Queued..."}));
    d.list().Tick();  // the first four still ask: the others wait
    EXPECT_EQ(d.list().RunningJobs(), 4u);
    EXPECT_FALSE(d.list().OkEnabled());
    d.cameras.Open();
    ASSERT_TRUE(d.Settle());
    EXPECT_EQ(d.cameras.Asked(), 6);
    EXPECT_EQ(d.Column(verify_text::kModel), std::vector<std::string>(6, "No response"));
}

TEST(AddCameras, RowsAreJudgedByTheirSysinfo) {
    struct Judged {
        const char* reply;
        const char* model;
        const char* version;
        int32_t validity;
    };
    const Judged cases[] = {
        {"VCQ-R20", "VCQ-R20", "1.05", 1},
        {"VCQ-X99", "VCQ-X99", "1.05", 2},
        {"emergency", "VCQ-R20", "unknown", 1},
        {"html", "Not a camera", "", 2},
        {"", "No response", "", 2},
    };
    Dialog d;
    for (uint8_t i = 0; i < 5; ++i) {
        const std::string reply = cases[i].reply;
        const std::string host = "10.0.0." + std::to_string(i + 1);
        if (reply == "emergency")
            d.cameras.Set(host, Sysinfo("VCQ-R20", "emergency"));
        else if (reply == "html")
            d.cameras.Set(host, test::OkReply("<html>router</html>"));
        else if (!reply.empty())
            d.cameras.Set(host, Sysinfo(reply));
        d.Type({10, 0, 0, static_cast<uint8_t>(i + 1)});
    }
    d.cameras.Close();
    d.list().Tick();
    EXPECT_EQ(d.row(0).validity, 1);  // while it asks
    d.cameras.Open();
    ASSERT_TRUE(d.Settle());
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(cases[i].model);
        EXPECT_EQ(d.row(i).texts[verify_text::kModel], cases[i].model);
        EXPECT_EQ(d.row(i).texts[verify_text::kVersion], cases[i].version);
        EXPECT_EQ(d.row(i).validity, cases[i].validity);
    }
    EXPECT_EQ(d.row(0).texts[verify_text::kSerial], "10000042");
}

TEST(AddCameras, OkWaitsForEveryJob) {
    Dialog d;
    d.cameras.Set("10.0.0.1", Sysinfo("VCQ-R20"));
    d.Type({10, 0, 0, 1});
    EXPECT_FALSE(d.list().OkEnabled());
    EXPECT_FALSE(d.state.Accept().has_value());
    ASSERT_TRUE(d.Settle());
    ASSERT_TRUE(d.list().IsValid(0));
    // Another address for a judged row: neither the row nor OK wait for the
    // next tick to stop counting as verified.
    d.list().Queue(0, {10, 0, 0, 1}, 8080);
    EXPECT_FALSE(d.list().IsValid(0));
    EXPECT_FALSE(d.list().OkEnabled());
    EXPECT_FALSE(d.state.Accept().has_value());
    EXPECT_TRUE(d.window.Boxes().empty());
}

TEST(AddCameras, InvalidRowsAreLeftOutOnOkAfterTheWarning) {
    Dialog d(3);
    d.detected = {{10, 0, 0, 9}};
    for (const char* host : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.9", "10.0.0.4"})
        d.cameras.Set(host, Sysinfo(std::string(host) == "10.0.0.2" ? "VCQ-X99" : "VCQ-R20N"));
    d.cameras.Set("10.0.0.1:8080", Sysinfo("VCQ-R20"));
    d.Type({10, 0, 0, 1}, 8080);  // valid
    d.Type({10, 0, 0, 2});        // another model
    d.Type({10, 0, 0, 3});        // twice: amber
    d.Type({10, 0, 0, 9});        // already detected: pink
    d.Type({10, 0, 0, 3}, 8080);
    d.Type({10, 0, 0, 4});  // valid
    ASSERT_TRUE(d.Settle());
    EXPECT_EQ(d.row(2).duplicate, 1);
    EXPECT_EQ(d.row(3).duplicate, 2);

    d.window.QueueAnswer(MessageAnswer::Cancel);
    EXPECT_FALSE(d.state.Accept().has_value());
    auto handed = d.state.Accept();
    auto boxes = d.window.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Not all the listed cameras are valid!");
    EXPECT_EQ(boxes[0].caption, "Information");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Question);
    EXPECT_EQ(boxes[0].buttons, MessageButtons::OkCancel);
    ASSERT_TRUE(handed.has_value());
    ASSERT_EQ(handed->size(), 2u);
    const CameraRow& first = (*handed)[0];
    EXPECT_EQ(first.tag, 0);
    EXPECT_EQ(first.texts[text::kMac], "");
    EXPECT_EQ(first.texts[text::kAddress], "10.0.0.1:8080");
    EXPECT_EQ(first.texts[text::kModel], "VCQ-R20");
    EXPECT_EQ(first.texts[text::kSerial], "10000042");
    EXPECT_EQ(first.texts[text::kVersion], "1.05");
    EXPECT_EQ(first.port, 8080);
    EXPECT_EQ((*handed)[1].tag, 1);
    EXPECT_EQ((*handed)[1].texts[text::kAddress], "10.0.0.4");
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

TEST(AddCameras, TheInquiryRunsOffTheTickWithoutALogin) {
    test::ScriptedServer camera;
    camera.SetReply(test::ScriptedReply{{{Sysinfo("VCQ-R20"), 400ms}}});
    Dialog d;
    d.list().SetExchange(SysinfoInquiry());
    d.Type({127, 0, 0, 1}, camera.port());
    auto start = std::chrono::steady_clock::now();
    d.list().Tick();
    d.list().Tick();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_EQ(d.row(0).texts[verify_text::kModel], "Searching...");
    ASSERT_TRUE(d.Settle());
    EXPECT_EQ(d.row(0).texts[verify_text::kModel], "VCQ-R20");
    const std::string request = camera.Requests().at(0);
    EXPECT_TRUE(request.starts_with("POST /command/inquiry.cgi HTTP/1.1\r\n"));
    EXPECT_NE(request.find("\r\nAuthorization: Basic :\r\n"), std::string::npos);
    EXPECT_TRUE(request.ends_with("\r\n\r\ninq=sysinfo"));
}

}  // namespace
}  // namespace vcq
