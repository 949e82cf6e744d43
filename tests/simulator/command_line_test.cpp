#include <gtest/gtest.h>

#include "base64.h"
#include "command_line.h"

namespace vcq::sim {
namespace {

TEST(CommandLine, ReadsEveryCameraSetting) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(
        {"--camera",
         "address=127.0.0.9,port=8080,product=CAMX,model=VCQ-R30,serial=77,mac=08:00:46:AA:BB:CC,"
         "version=1.08,dhcp=on,dns=on,admin=root:pw,user=op:op1,user=guest:g,ftp=f:fp,"
         "ftp-empty=3,image-memory=on,free=5242880,server-blank=on,huge=20000,fault=split,"
         "sysinfo=login,family=VCQ-R30,reboot=1500,delay=250,next-version=1.10,status=inq=sysinfo:"
         "500,"
         "status=/command/main.cgi:403"},
        line, error))
        << error;
    ASSERT_EQ(line.cameras.size(), 1u);
    const CameraConfig& c = line.cameras[0];
    EXPECT_EQ(c.address, "127.0.0.9");
    EXPECT_EQ(c.httpPort, 8080);
    EXPECT_EQ(c.productName, "CAMX");
    EXPECT_EQ(c.model, "VCQ-R30");
    EXPECT_EQ(c.serial, "77");
    EXPECT_EQ(c.mac, "08:00:46:AA:BB:CC");
    EXPECT_EQ(c.softVersion, "1.08");
    EXPECT_TRUE(c.dhcp && c.dnsAuto && c.imageMemoryOn && c.serverTrailingBlank);
    EXPECT_FALSE(c.publicSysinfo);
    EXPECT_EQ(c.familyModel, "VCQ-R30");
    ASSERT_EQ(c.users.size(), 3u);
    EXPECT_EQ(c.users[0].name + ":" + c.users[0].password, "root:pw");
    EXPECT_EQ(c.users[2].name + ":" + c.users[2].password, "guest:g");
    EXPECT_EQ(c.ftpUser.name + ":" + c.ftpUser.password, "f:fp");
    EXPECT_EQ(c.ftpEmptyEntries, 3);
    EXPECT_EQ(c.builtInFreeBytes, 5242880u);
    EXPECT_EQ(c.hugeBodyBytes, 20000u);
    EXPECT_EQ(c.httpFault, HttpFault::SplitHeadersAndBody);
    EXPECT_EQ(c.rebootDowntime, std::chrono::milliseconds(1500));
    EXPECT_EQ(c.replyDelay, std::chrono::milliseconds(250));
    EXPECT_EQ(c.versionAfterUpgrade, "1.10");
    EXPECT_EQ(c.forcedStatus,
              (std::map<std::string, int>{{"inq=sysinfo", 500}, {"POST /command/main.cgi", 403}}));
}

TEST(CommandLine, ReadsTheFtpRebootAndConfigurationKnobs) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--camera",
                                  "ftp-port=2121,ftp-on=on,ftp-login=refuse,stor-fail=3:451,"
                                  "ftp-rate=65536,after-reboot=never,config-html=on,"
                                  "status=/home/l4/vcq-r20.cfg:500",
                                  "--camera", "stor-fail=every,after-reboot=old"},
                                 line, error))
        << error;
    const CameraConfig& c = line.cameras.at(0);
    EXPECT_EQ(c.ftpPort, 2121);
    EXPECT_TRUE(c.ftpServerOn && c.ftpRefuseLogin && c.configurationAsHtml);
    EXPECT_EQ(c.ftpFailStor, 3);
    EXPECT_EQ(c.ftpFailStatus, 451);
    EXPECT_EQ(c.ftpRateLimit, 65536u);
    EXPECT_EQ(c.afterReboot, AfterReboot::NeverBack);
    EXPECT_EQ(c.forcedStatus.at("GET /home/l4/vcq-r20.cfg"), 500);
    const CameraConfig& d = line.cameras.at(1);
    EXPECT_EQ(d.ftpFailStor, -1);
    EXPECT_EQ(d.ftpFailStatus, 550);
    EXPECT_EQ(d.afterReboot, AfterReboot::OldVersion);
    EXPECT_FALSE(d.ftpServerOn) << "off until switched on";
}

TEST(CommandLine, ReadsTheRealCameraQuirks) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--camera",
                                  "linger=2000,versionup-reply=drop,restore=refuse,mkd=refuse,"
                                  "config-html=login,flash-config=keep",
                                  "--camera",
                                  "versionup-reply=half,restore=cut,server=,poll-stall=16,"
                                  "reset-address=192.168.0.90,restore-delay=3000",
                                  "--camera", "versionup-reply=hold,server=VCQCAM/web/3.00"},
                                 line, error))
        << error;
    const CameraConfig& c = line.cameras.at(0);
    EXPECT_EQ(c.versionUpLinger, std::chrono::milliseconds(2000));
    EXPECT_EQ(c.versionUpReply, VersionUpReply::Dropped);
    EXPECT_EQ(c.restoreAnswer, RestoreAnswer::Refuse);
    EXPECT_TRUE(c.ftpRefuseMkd && c.configurationLoginPage && c.keepConfigurationOnFlash);
    const CameraConfig& d = line.cameras.at(1);
    EXPECT_EQ(d.versionUpReply, VersionUpReply::HalfHead);
    EXPECT_EQ(d.restoreAnswer, RestoreAnswer::Cut);
    EXPECT_EQ(d.serverText, std::optional<std::string>(""));  // no "Server: " header
    EXPECT_EQ(d.pollStall, std::chrono::seconds(16));
    EXPECT_EQ(d.resetAddress, "192.168.0.90");
    EXPECT_EQ(d.restoreDelay, std::chrono::milliseconds(3000));
    const CameraConfig& e = line.cameras.at(2);
    EXPECT_EQ(e.versionUpReply, VersionUpReply::Hold);
    EXPECT_EQ(e.serverText, std::optional<std::string>("VCQCAM/web/3.00"));
    EXPECT_FALSE(c.serverText.has_value());
    EXPECT_FALSE(ParseCommandLine({"--camera", "poll-stall=soon"}, line, error));
    EXPECT_FALSE(ParseCommandLine({"--camera", "restore=maybe"}, line, error));
    EXPECT_FALSE(ParseCommandLine({"--camera", "linger=soon"}, line, error));
    EXPECT_FALSE(ParseCommandLine({"--camera", "flash-config=maybe"}, line, error));
}

TEST(CommandLine, GivesDefaultCamerasDistinctIdentities) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--cameras", "2", "--camera", "fault=refuse"}, line, error));
    ASSERT_EQ(line.cameras.size(), 3u);
    EXPECT_EQ(line.cameras[0].address, "127.0.0.2");
    EXPECT_EQ(line.cameras[2].address, "127.0.0.4");
    EXPECT_EQ(line.cameras[2].httpFault, HttpFault::RefuseConnections);
    EXPECT_NE(line.cameras[0].mac, line.cameras[1].mac);
    EXPECT_NE(line.cameras[1].serial, line.cameras[2].serial);
    EXPECT_EQ(DefaultCamera(299).mac, "08:00:46:00:01:2C");

    // A fleet of 256, the last ones faulty: addresses stay distinct past .251.
    CommandLine fleet;
    ASSERT_TRUE(ParseCommandLine({"--cameras", "254,reboot=5000", "--camera", "fault=silent",
                                  "--cameras", "1,status=/command/main.cgi:500"},
                                 fleet, error))
        << error;
    ASSERT_EQ(fleet.cameras.size(), 256u);
    EXPECT_EQ(fleet.cameras[249].address, "127.0.0.251");
    EXPECT_EQ(fleet.cameras[250].address, "127.0.1.2");
    EXPECT_EQ(fleet.cameras[255].address, "127.0.1.7");
    EXPECT_EQ(fleet.cameras[253].rebootDowntime, std::chrono::milliseconds(5000));
    EXPECT_EQ(fleet.cameras[254].httpFault, HttpFault::AcceptNeverAnswer);
    EXPECT_EQ(fleet.cameras[255].forcedStatus.at("POST /command/main.cgi"), 500);
    EXPECT_EQ(fleet.cameras[255].rebootDowntime, std::chrono::milliseconds(2000));

    CommandLine none;
    ASSERT_TRUE(ParseCommandLine({}, none, error));
    EXPECT_EQ(none.cameras.size(), 1u) << "one camera when nothing is said";
}

TEST(CommandLine, RejectsWhatItCannotRead) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--camera"},
             {"--camera", "colour=red"},
             {"--camera", "port=70000"},
             {"--camera", "port=80x"},
             {"--camera", "dhcp=yes"},
             {"--camera", "admin=nocolon"},
             {"--camera", "user=:pw"},
             {"--camera", "fault=sometimes"},
             {"--camera", "free=-1"},
             {"--camera", "model"},
             {"--camera", "status=inq=sysinfo"},
             {"--camera", "status=/x:99"},
             {"--camera", "reboot=soon"},
             {"--camera", "stor-fail=some"},
             {"--camera", "stor-fail=2:200"},
             {"--camera", "ftp-login=maybe"},
             {"--camera", "after-reboot=later"},
             {"--camera", "ftp-port=-1"},
             {"--cameras", "0"},
             {"--cameras", "2,reboot=soon"},
             {"--cameras", "200", "--cameras", "57"},
             {"--verbose"},
         }) {
        CommandLine line;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(args, line, error)) << args.back();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace vcq::sim
