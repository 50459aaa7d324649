// orb-sim's command line and its messages.
#include <gtest/gtest.h>

#include <cerrno>

#include "sim/options.h"
#include "sim/simulator.h"

namespace orb::sim {
namespace {

ParseOutcome parse(const std::vector<std::string>& args, SimConfig* config, std::string* error) {
    return parseOptions(args, config, error);
}

TEST(SimOptions, Defaults) {
    SimConfig config;
    std::string error;
    ASSERT_EQ(parse({}, &config, &error), ParseOutcome::Run);
    EXPECT_EQ(config.address, 0x7f000001u);
    EXPECT_EQ(config.httpPort, 80);
    EXPECT_EQ(config.count, 1u);
    EXPECT_EQ(config.identity.softwareVersion, "1.0.2");
    EXPECT_FALSE(config.authEnabled);
    EXPECT_EQ(config.restartMs, 10000);
    EXPECT_FALSE(config.stayDown);
    EXPECT_TRUE(config.httpDelayTargets.all);
    EXPECT_FALSE(config.noAnswer.any());
    EXPECT_TRUE(config.fetchWithoutAnswer);
    EXPECT_EQ(config.digest.qopText, "auth");
    EXPECT_EQ(config.digest.algorithm, DigestAlgorithm::Md5);
    EXPECT_EQ(config.noncePolicy, NoncePolicy::Fixed);
}

TEST(SimOptions, EveryKindOfValueInBothSpellings) {
    SimConfig config;
    std::string error;
    ASSERT_EQ(parse({"--address=127.0.4.7",
                     "--http-port",
                     "8080",
                     "--count",
                     "3",
                     "--software-version=9.9",
                     "--product-name",
                     "ORB 5100",
                     "--mac=aa",
                     "--hardware-version=h",
                     "--serial=s",
                     "--user=admin",
                     "--password=pw",
                     "--realm=R",
                     "--algorithm=md5-sess",
                     "--qop=auth,auth-int",
                     "--opaque=op",
                     "--nonce=new",
                     "--seed=9",
                     "--restart-ms=250",
                     "--stay-down",
                     "--save-image=/tmp/x",
                     "--magic=ORB5100",
                     "--tftp-timeout-ms=300",
                     "--tftp-retries=2",
                     "--quiet-blocks",
                     "--drop-ack=2,5",
                     "--drop-ack-percent=12.5",
                     "--drop-data=3",
                     "--duplicate-acks",
                     "--stop-after-blocks=4",
                     "--tftp-delay-ms=10",
                     "--http-delay-ms=20",
                     "--http-delay-on=trigger,after-restart",
                     "--no-answer=status",
                     "--close-without-answer=trigger",
                     "--fetch-without-answer=no"},
                    &config, &error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(config.address, 0x7f000407u);
    EXPECT_EQ(config.httpPort, 8080);
    EXPECT_EQ(config.count, 3u);
    EXPECT_EQ(config.identity.softwareVersion, "9.9");
    EXPECT_EQ(config.identity.productName, "ORB 5100");
    EXPECT_TRUE(config.authEnabled);
    EXPECT_EQ(config.digest.user, "admin");
    EXPECT_EQ(config.digest.password, "pw");
    EXPECT_EQ(config.digest.realm, "R");
    EXPECT_EQ(config.digest.algorithm, DigestAlgorithm::Md5Sess);
    EXPECT_EQ(config.digest.algorithmText, "md5-sess");
    EXPECT_EQ(config.digest.qopText, "auth,auth-int");
    EXPECT_EQ(config.digest.opaque, "op");
    EXPECT_EQ(config.noncePolicy, NoncePolicy::New);
    EXPECT_TRUE(config.seedGiven);
    EXPECT_EQ(config.seed, 9u);
    EXPECT_EQ(config.restartMs, 250);
    EXPECT_TRUE(config.stayDown);
    EXPECT_EQ(config.saveImagePath, "/tmp/x");
    EXPECT_EQ(config.magic, "ORB5100");
    EXPECT_EQ(config.tftpTimeoutMs, 300);
    EXPECT_EQ(config.tftpRetries, 2);
    EXPECT_FALSE(config.logBlocks);
    EXPECT_EQ(config.faults.dropAcks, (std::set<uint64_t>{2, 5}));
    EXPECT_DOUBLE_EQ(config.faults.dropAckPercent, 12.5);
    EXPECT_EQ(config.faults.dropData, (std::set<uint64_t>{3}));
    EXPECT_TRUE(config.faults.duplicateAcks);
    EXPECT_EQ(config.faults.stopAfterBlocks, 4);
    EXPECT_EQ(config.tftpDelayMs, 10);
    EXPECT_EQ(config.httpDelayMs, 20);
    EXPECT_FALSE(config.httpDelayTargets.all);
    EXPECT_TRUE(config.httpDelayTargets.trigger);
    EXPECT_TRUE(config.httpDelayTargets.afterRestart);
    EXPECT_TRUE(config.noAnswer.status);
    EXPECT_TRUE(config.closeWithoutAnswer.trigger);
    EXPECT_FALSE(config.fetchWithoutAnswer);
}

TEST(SimOptions, NoneSwitchesQopAndAlgorithmOff) {
    SimConfig config;
    std::string error;
    ASSERT_EQ(parse({"--user=u", "--qop=none", "--algorithm=none"}, &config, &error), ParseOutcome::Run);
    EXPECT_EQ(config.digest.qopText, "");
    EXPECT_EQ(config.digest.algorithm, DigestAlgorithm::None);
}

TEST(SimOptions, HelpWins) {
    SimConfig config;
    std::string error;
    EXPECT_EQ(parse({"--address=127.0.0.1", "--help"}, &config, &error), ParseOutcome::Help);
}

TEST(SimOptions, MistakesAreOneClearLine) {
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    for (const Case& bad : std::vector<Case>{
             {{"--bogus"}, "unknown option --bogus"},
             {{"stray"}, "unexpected argument 'stray'"},
             {{"--address=300.1.1.1"}, "--address"},
             {{"--address"}, "needs a value"},
             {{"--http-port=0"}, "--http-port"},
             {{"--http-port=65536"}, "--http-port"},
             {{"--stay-down=yes"}, "takes no value"},
             {{"--algorithm=SHA-256"}, "--algorithm"},
             {{"--qop=auth-conf"}, "--qop"},
             {{"--nonce=sometimes"}, "--nonce"},
             {{"--drop-ack=0"}, "--drop-ack"},
             {{"--drop-ack=1,,2"}, "--drop-ack"},
             {{"--drop-ack-percent=101"}, "--drop-ack-percent"},
             {{"--drop-ack-percent=1.2.3"}, "--drop-ack-percent"},
             {{"--restart-ms=-1"}, "--restart-ms"},
             {{"--http-delay-on=sometimes"}, "--http-delay-on"},
             {{"--fetch-without-answer=maybe"}, "--fetch-without-answer"},
             {{"--password=x"}, "--password needs --user"},
             {{"--ignore-oack", "--stop-after-blocks=1"}, "exclude each other"},
             {{"--realm=a\"b"}, "--realm"},
             {{"--count=0"}, "--count"},
             {{"--count=100001"}, "--count"},
             {{"--count=2x"}, "--count"},
             // The range is checked once both are known, in either order.
             {{"--count=2", "--address=10.1.1.1"}, "127.0.0.0/8"},
             {{"--address=127.255.255.250", "--count=6"}, "leaves 127.0.0.0/8"},
         }) {
        SimConfig config;
        std::string error;
        EXPECT_EQ(parse(bad.args, &config, &error), ParseOutcome::Error) << bad.args[0];
        EXPECT_NE(error.find(bad.mentions), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(SimOptions, HelpDescribesEveryOption) {
    std::string help = helpText();
    std::vector<std::string> names = optionNames();
    EXPECT_GE(names.size(), 30u);
    for (const std::string& name : names) EXPECT_NE(help.find("  " + name), std::string::npos) << name;
    EXPECT_NE(help.find("TARGETS"), std::string::npos);
    EXPECT_NE(help.find("CAP_NET_BIND_SERVICE"), std::string::npos);
}

TEST(SimBindErrors, APrivilegedPortSaysWhatItNeeds) {
    std::string text = describeBindError(EACCES, 0x7f000401, 80);
    EXPECT_NE(text.find("127.0.4.1:80"), std::string::npos);
    EXPECT_NE(text.find("root"), std::string::npos);
    EXPECT_NE(text.find("CAP_NET_BIND_SERVICE"), std::string::npos);
    EXPECT_NE(text.find("setcap"), std::string::npos);
    EXPECT_NE(describeBindError(EADDRINUSE, 0x7f000401, 8080).find("listens there already"), std::string::npos);
    EXPECT_NE(describeBindError(EADDRNOTAVAIL, 0x0a000001, 80).find("not one of this machine's"), std::string::npos);
}

}  // namespace
}  // namespace orb::sim
