#include <gtest/gtest.h>

#include "base64.h"
#include "http_message.h"

namespace vcq::sim {
namespace {

using State = RequestParser::State;

const std::string kRequest =
    "POST /command/inquiry.cgi HTTP/1.1\r\nHost: 127.0.0.2\r\nCache-Control: no-cache\r\n"
    "Authorization: Basic YWRtaW46YWRtaW4=\r\nContent-Length: 11\r\n\r\ninq=sysinfo";

State FeedAll(RequestParser& parser, std::string_view text) {
    return parser.Feed(text);
}

TEST(RequestParser, CompletesInAnySegmentation) {
    for (size_t cut = 1; cut < kRequest.size(); cut += 7) {
        RequestParser parser;
        EXPECT_EQ(parser.Feed(std::string_view(kRequest).substr(0, cut)), State::NeedMore) << cut;
        EXPECT_EQ(parser.Feed(std::string_view(kRequest).substr(cut)), State::Complete) << cut;
        EXPECT_EQ(parser.request().raw, kRequest);
    }
    RequestParser byteByByte;
    for (char c : kRequest)
        byteByByte.Feed(std::string_view(&c, 1));
    ASSERT_EQ(byteByByte.state(), State::Complete);
    const HttpRequest& request = byteByByte.request();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.Path(), "/command/inquiry.cgi");
    EXPECT_EQ(request.body, "inq=sysinfo");
    EXPECT_EQ(request.Header("authorization"), "Basic YWRtaW46YWRtaW4=");
    EXPECT_EQ(request.Header("CONTENT-LENGTH"), "11");
    EXPECT_FALSE(request.Header("User-Agent").has_value());
}

TEST(RequestParser, BodyFollowsContentLengthOnly) {
    RequestParser noLength;
    EXPECT_EQ(FeedAll(noLength, "GET /home/l4/vcq-r20.cfg?x=1 HTTP/1.0\r\nHost: a\r\n\r\n"),
              State::Complete);
    EXPECT_EQ(noLength.request().body, "");
    EXPECT_EQ(noLength.request().Path(), "/home/l4/vcq-r20.cfg");

    // Bytes past the announced body belong to no request and are not kept.
    RequestParser extra;
    EXPECT_EQ(FeedAll(extra, "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcdef"),
              State::Complete);
    EXPECT_EQ(extra.request().body, "abc");
    EXPECT_EQ(extra.request().raw, "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc");

    RequestParser waiting;
    EXPECT_EQ(FeedAll(waiting, "POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nab"), State::NeedMore);
    EXPECT_EQ(waiting.Feed("cde"), State::Complete);
    EXPECT_EQ(waiting.request().body, "abcde");
}

TEST(RequestParser, RejectsMalformedHeads) {
    for (const char* head : {
             "\r\n\r\n",
             "GARBAGE\r\n\r\n",
             "POST /x\r\n\r\n",
             "POST  /x HTTP/1.1\r\n\r\n",
             "POST /x HTTP/1.1 extra\r\n\r\n",
             "POST x HTTP/1.1\r\n\r\n",
             "POST /x HTTP/2.0\r\n\r\n",
             "P(ST /x HTTP/1.1\r\n\r\n",
             "POST /x HTTP/1.1\r\nNoColon\r\n\r\n",
             "POST /x HTTP/1.1\r\n Folded: value\r\n\r\n",
             "POST /x HTTP/1.1\r\nContent-Length: abc\r\n\r\n",
             "POST /x HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
             "POST /x HTTP/1.1\r\nContent-Length: 12x\r\n\r\n",
             "POST /x HTTP/1.1\r\nContent-Length:\r\n\r\n",
             "POST /x HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
             "POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
             "\x01\x02\xff\xfe binary\r\n\r\n",
         }) {
        RequestParser parser;
        EXPECT_EQ(parser.Feed(head), State::Malformed) << head;
        EXPECT_FALSE(parser.error().empty());
        EXPECT_EQ(parser.Feed("more"), State::Malformed) << "a verdict is final";
    }
}

TEST(RequestParser, BoundsHeadAndBody) {
    ParseLimits limits{256, 1000};
    RequestParser endless(limits);
    State state = State::NeedMore;
    for (int i = 0; i < 100 && state == State::NeedMore; ++i)
        state = endless.Feed("XXXXXXXX");
    EXPECT_EQ(state, State::TooLarge) << "a head without its blank line cannot grow forever";

    RequestParser longHeader(limits);
    EXPECT_EQ(longHeader.Feed("POST / HTTP/1.1\r\nX: " + std::string(300, 'a') + "\r\n\r\n"),
              State::TooLarge);

    RequestParser bigBody(limits);
    EXPECT_EQ(bigBody.Feed("POST / HTTP/1.1\r\nContent-Length: 1001\r\n\r\n"), State::TooLarge);
    RequestParser overflow(limits);
    EXPECT_EQ(overflow.Feed("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n"),
              State::TooLarge);
    RequestParser fits(limits);
    EXPECT_EQ(fits.Feed("POST / HTTP/1.1\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'b')),
              State::Complete);
}

TEST(ReplyHead, KeepsStatusLinesExactAndFreeOfEquals) {
    HttpReply ok{200, "text/plain", "ModelName=VCQ-R20&"};
    std::string head = SerializeHead(ok, "VCQCAM/1.05 ");
    EXPECT_TRUE(head.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(head.find("\r\nServer: VCQCAM/1.05 \r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nContent-Length: 18\r\n"), std::string::npos);
    EXPECT_TRUE(head.ends_with("\r\n\r\n"));

    std::string noContent = SerializeHead(HttpReply{204, "text/plain", ""}, "VCQCAM/1.05");
    EXPECT_TRUE(noContent.starts_with("HTTP/1.1 204 No Content\r\n"));
    EXPECT_EQ(noContent.find("Content-Length"), std::string::npos);
    EXPECT_TRUE(SerializeHead(HttpReply{401, "text/html", "x"}, "P/1")
                    .starts_with("HTTP/1.1 401 Unauthorized\r\n"));

    for (int status : {200, 204, 400, 401, 404})
        EXPECT_EQ(SerializeHead(HttpReply{status, "text/html", "body"}, "VCQCAM/1.05").find('='),
                  std::string::npos)
            << status;
}

TEST(Base64, PadsShortGroups) {
    EXPECT_EQ(EncodeBase64("a"), "YQ==");
    EXPECT_EQ(EncodeBase64("ab"), "YWI=");
    EXPECT_EQ(EncodeBase64("abc"), "YWJj");
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(BasicToken("admin", "admin"), "YWRtaW46YWRtaW4=");
    EXPECT_EQ(EncodeBase64(std::string("\xff\xfe\x00", 3)), "//4A");
}

}  // namespace
}  // namespace vcq::sim
