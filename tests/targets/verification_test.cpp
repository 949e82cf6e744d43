// Verification of logins ("Testing..."): the runner's order and limits, the
// rows' colours, and a camera that never answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "scripted_server.h"
#include "targets/camera_list.h"

using namespace vcq;
using namespace std::chrono_literals;

namespace {

// Exchanges that end when the test says so.
class Gate {
  public:
    JobExchange Job(JobReply reply) {
        auto state = state_;
        return [state, reply] {
            std::unique_lock lock(state->mutex);
            ++state->started;
            state->changed.notify_all();
            state->changed.wait(lock, [&] { return state->open; });
            return reply;
        };
    }
    void Open() {
        std::lock_guard lock(state_->mutex);
        state_->open = true;
        state_->changed.notify_all();
    }
    bool WaitStarted(int count) {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, 5s, [&] { return state_->started >= count; });
    }
    int Started() {
        std::lock_guard lock(state_->mutex);
        return state_->started;
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        int started = 0;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Ticks until the runner hands back something other than Asked.
std::vector<VerificationRunner::Outcome> TickUntilRetired(VerificationRunner& runner) {
    for (int i = 0; i < 500; ++i) {
        auto outcomes = runner.Tick();
        std::erase_if(outcomes,
                      [](const auto& o) { return o.event == VerificationRunner::Event::Asked; });
        if (!outcomes.empty())
            return outcomes;
        std::this_thread::sleep_for(10ms);
    }
    return {};
}

JobReply Answer(const std::string& text) {
    return JobReply{true, text, ""};
}

}  // namespace

TEST(VerificationRunnerTest, AsksAtMostFourPerTickInListOrder) {
    VerificationRunner runner;
    Gate gate;
    for (int32_t i = 0; i < 6; ++i)
        runner.Add(i, gate.Job(Answer("reply " + std::to_string(i))));
    auto outcomes = runner.Tick();
    ASSERT_EQ(outcomes.size(), 4u);
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(outcomes[static_cast<size_t>(i)].event, VerificationRunner::Event::Asked);
        EXPECT_EQ(outcomes[static_cast<size_t>(i)].index, i);
    }
    ASSERT_TRUE(gate.WaitStarted(4));
    // Exchanges still running occupy their visits: nobody else is asked.
    EXPECT_TRUE(runner.Tick().empty());
    EXPECT_EQ(runner.Running(), 4u);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(gate.Started(), 4);

    gate.Open();
    std::vector<int32_t> answered;
    while (answered.size() < 6) {
        int32_t last = -1;  // within a tick, outcomes come in list order
        for (auto& outcome : TickUntilRetired(runner)) {
            EXPECT_EQ(outcome.reply.text, "reply " + std::to_string(outcome.index));
            EXPECT_GT(outcome.index, last);
            last = outcome.index;
            answered.push_back(outcome.index);
        }
    }
    std::sort(answered.begin(), answered.end());
    EXPECT_EQ(answered, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(runner.Empty());
}

TEST(VerificationRunnerTest, UnansweredJobIsAskedAgainAndGivenUpAfterThreeRounds) {
    VerificationRunner runner;
    auto calls = std::make_shared<std::atomic<int>>(0);
    runner.Add(7, [calls] {
        ++*calls;
        return JobReply{};
    });
    auto outcomes = TickUntilRetired(runner);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].event, VerificationRunner::Event::GaveUp);
    EXPECT_EQ(outcomes[0].index, 7);
    EXPECT_EQ(calls->load(), 3);
    EXPECT_TRUE(runner.Empty());
}

TEST(VerificationRunnerTest, RunnerMayGoWhileAnExchangeStillRuns) {
    Gate gate;
    {
        VerificationRunner runner;
        runner.Add(0, gate.Job(Answer("late")));
        runner.Tick();
        ASSERT_TRUE(gate.WaitStarted(1));
    }
    gate.Open();  // the worker finishes into its own slot
    std::this_thread::sleep_for(50ms);
}

TEST(VerificationRunnerTest, RemoveAndReindexFollowTheOwnersRows) {
    VerificationRunner runner;
    runner.Add(1, [] { return Answer("one"); });
    runner.Add(2, [] { return Answer("two"); });
    runner.Add(3, [] { return Answer("three"); });
    runner.Remove(2);
    runner.Reindex([](int32_t index) { return index == 3 ? 2 : index; });
    std::vector<std::pair<int32_t, std::string>> seen;
    while (!runner.Empty()) {
        for (auto& outcome : TickUntilRetired(runner))
            seen.emplace_back(outcome.index, outcome.reply.text);
    }
    std::sort(seen.begin(), seen.end());  // the exchanges may end in any order
    EXPECT_EQ(seen, (std::vector<std::pair<int32_t, std::string>>{{1, "one"}, {2, "three"}}));
}

// --- The detected list's verification

namespace {

void AddCamera(CameraList& list, const std::string& mac, uint8_t last, const std::string& login) {
    list.AddRow(list.Count(), mac, "", "VCQ-R20", "", "", {10, 0, 0, last}, 80, -1);
    list.SetLogin(list.Count() - 1, login, login);
}

// A stand-in exchange: "good" logins are accepted, anything else refused,
// and the camera on .99 never answers.
JobReply FakeCamera(const std::string& host, const std::string& token) {
    if (host == "10.0.0.99")
        return {};
    if (token == EncodeBasicToken("good:good"))
        return {true, "HTTP/1.1 200 OK\r\n\r\nSysUserSet=x", "08-00-46-" + host};
    return {true, "HTTP/1.1 401 Unauthorized\r\n\r\n", ""};
}

CameraList::TickResult TickToEnd(CameraList& list) {
    CameraList::TickResult total;
    for (int i = 0; i < 500 && list.Verifying(); ++i) {
        auto result = list.VerificationTick();
        total.changed |= result.changed;
        total.ended |= result.ended;
        std::this_thread::sleep_for(5ms);
    }
    return total;
}

}  // namespace

TEST(ListVerificationTest, AcceptedRowsVerifiedRefusedAndSilentOnesFailed) {
    CameraList list;
    list.SetVerifyExchange(FakeCamera);
    AddCamera(list, "", 1, "good");       // MAC filled in by the camera
    AddCamera(list, "known", 2, "good");  // MAC kept
    AddCamera(list, "c", 3, "bad");       // refused
    AddCamera(list, "d", 99, "good");     // never answers
    AddCamera(list, "e", 5, "good");      // not selected
    list.StartVerification({3, 0, 1, 2});
    EXPECT_TRUE(list.Verifying());
    auto result = TickToEnd(list);
    EXPECT_TRUE(result.changed);
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(list.Row(0).status, status::kVerified);
    EXPECT_EQ(list.Row(0).texts[text::kMac], "08-00-46-10.0.0.1");
    EXPECT_EQ(list.Row(1).status, status::kVerified);
    EXPECT_EQ(list.Row(1).texts[text::kMac], "known");
    EXPECT_EQ(list.Row(2).status, status::kFailed);
    EXPECT_EQ(list.Row(3).status, status::kNoAnswer);  // told apart from a refusal
    EXPECT_EQ(list.Row(4).status, status::kNotVerified);
}

TEST(ListVerificationTest, SortWhileTestingStillColoursTheRightCamera) {
    CameraList list;
    Gate gate;
    list.SetVerifyExchange([&gate](const std::string&, const std::string& token) {
        return gate.Job(token == EncodeBasicToken("good:good")
                            ? JobReply{true, "HTTP/1.1 200 OK\r\n\r\n", ""}
                            : JobReply{true, "HTTP/1.1 401 Unauthorized\r\n\r\n", ""})();
    });
    AddCamera(list, "b-refused", 1, "bad");
    AddCamera(list, "a-good", 2, "good");
    list.StartVerification({0, 1});
    list.VerificationTick();
    ASSERT_TRUE(gate.WaitStarted(2));
    ASSERT_TRUE(list.Sort(text::kMac));  // "a-good" moves to the top
    gate.Open();
    TickToEnd(list);
    EXPECT_EQ(list.Row(0).texts[text::kMac], "a-good");
    EXPECT_EQ(list.Row(0).status, status::kVerified);
    EXPECT_EQ(list.Row(1).status, status::kFailed);
}

// The real exchange against scripted cameras: an accepting one, a refusing
// one, and one that accepts the connection and never answers.
TEST(ListVerificationTest, SysuserExchangeAgainstScriptedCameras) {
    test::ScriptedServer accepting, refusing, silent;
    accepting.SetReplies({{{{test::OkReply("SysUserSet=YWRtaW46YWRtaW4=,")}}},
                          {{{test::OkReply("Ip=127.0.0.1&MacAddress=08:00:46:aa:bb:cc")}}}});
    refusing.SetReply("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
    silent.SetReply(test::ScriptedReply{{}, true});

    ExchangeLimits limits;
    limits.connect = 500ms;
    limits.read = 1s;
    limits.total = 2s;
    CameraList list;
    list.SetVerifyExchange(SysuserExchange(limits));
    for (auto* server : {&accepting, &refusing, &silent}) {
        list.AddRow(list.Count(), "", "", "", "", "", {127, 0, 0, 1}, server->port(), -1);
        list.SetLogin(list.Count() - 1, "admin", "admin");
    }
    list.StartVerification({0, 1, 2});

    auto longest = std::chrono::steady_clock::duration::zero();
    for (int i = 0; i < 1000 && list.Verifying(); ++i) {
        auto start = std::chrono::steady_clock::now();
        list.VerificationTick();
        longest = std::max(longest, std::chrono::steady_clock::now() - start);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_FALSE(list.Verifying());
    EXPECT_LT(longest, 250ms);  // far below one wait for the silent camera
    EXPECT_EQ(list.Row(0).status, status::kVerified);
    EXPECT_EQ(list.Row(0).texts[text::kMac], "08-00-46-aa-bb-cc");
    EXPECT_EQ(list.Row(1).status, status::kFailed);
    EXPECT_EQ(list.Row(2).status, status::kNoAnswer);
    ASSERT_FALSE(accepting.Requests().empty());
    EXPECT_NE(accepting.Requests()[0].find("inq=sysuser"), std::string::npos);
    EXPECT_NE(accepting.Requests()[0].find("Authorization: Basic YWRtaW46YWRtaW4="),
              std::string::npos);
}
