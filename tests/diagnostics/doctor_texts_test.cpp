// The words a person meets after a failed run and in the doctor's lines:
// every failure kind, the latency timer's cost, the logger's answer.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "diagnostics/doctor.h"
#include "diagnostics/doctor_texts.h"
#include "tests/diagnostics/fake_system.h"

namespace zorvik::diagnostics {
namespace {

// Over an empty system there is nothing more to learn: for every kind the
// doctor's words are the table's (engine/failure_explanation.h), with the
// system's text.
TEST(FailureExplanation, WithoutFindingsTheDoctorSaysTheTablesWords) {
  testing::FakeSystem system;
  ASSERT_TRUE(system.ready());
  for (const link::FailureKind kind :
       {link::FailureKind::None, link::FailureKind::NotFound, link::FailureKind::Busy, link::FailureKind::NoPermission,
        link::FailureKind::NotATerminal, link::FailureKind::SettingsRefused, link::FailureKind::PortIo, link::FailureKind::Silent,
        link::FailureKind::ShortAnswer, link::FailureKind::DamagedAnswer, link::FailureKind::Refused, link::FailureKind::EchoDiffers}) {
    const link::Failure failure{kind, 5, "Input/output error"};
    SCOPED_TRACE(engine::failureExplanation(failure).reason);
    EXPECT_EQ(explainFailure("/dev/ttyUSB0", failure, system.roots()), engine::failureExplanation(failure));
  }
}

TEST(LargestUpdate, HasOneExchangePerRecordOfImage12) {
  // images/firmware/image12.txt holds 828 records, the most of the twelve.
  EXPECT_EQ(largestUpdateExchanges(), 828);
}

struct LatencyCase {
  const char* name;
  std::optional<int> latencyMs;
  Finding expected;
};

// Test names show the case's name, not its bytes.
void PrintTo(const LatencyCase& c, std::ostream* os) { *os << c.name; }

class Latency : public ::testing::TestWithParam<LatencyCase> {};

TEST_P(Latency, SaysWhatItCosts) { EXPECT_EQ(latencyFinding(GetParam().latencyMs, "set it to 1"), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Latency,
    ::testing::Values(
        LatencyCase{"OneMillisecond", 1, {"latency", Level::Ok, "the FTDI latency timer is 1 ms", {}}},
        LatencyCase{"DriverDefault",
                    16,
                    {"latency", Level::Warning,
                     "the FTDI latency timer is 16 ms (1 ms is best): each answer can wait up to 16 ms longer, so an "
                     "update of the largest built-in image (828 line exchanges) can take up to about 13 s longer",
                     "set it to 1"}},
        LatencyCase{"TwoMilliseconds",
                    2,
                    {"latency", Level::Warning,
                     "the FTDI latency timer is 2 ms (1 ms is best): each answer can wait up to 2 ms longer, so an "
                     "update of the largest built-in image (828 line exchanges) can take up to about 1.7 s longer",
                     "set it to 1"}},
        LatencyCase{"Unknown", std::nullopt,
                    {"latency", Level::Warning, "the FTDI latency timer could not be read", "set it to 1"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct AnswerCase {
  const char* name;
  LoggerAnswer answer;
  Finding expected;
};

// Test names show the case's name, not its bytes.
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class LoggerWords : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(LoggerWords, TellApplicationBootloaderAndSilence) {
  EXPECT_EQ(loggerFinding("/dev/ttyUSB0", GetParam().answer), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoggerWords,
    ::testing::Values(
        AnswerCase{"Application",
                   {{}, 0x6601, 0x061A, 100200},
                   {"logger", Level::Ok,
                    "a logger answers in its application: class 26113 [ZorvikB], version 6.26, serial number 100200",
                    {}}},
        // The minor below ten reads with two digits, as everywhere else: 6.05, not 6.5.
        AnswerCase{"MinorBelowTen",
                   {{}, 0x6601, 0x0605, std::nullopt},
                   {"logger", Level::Ok, "a logger answers in its application: class 26113 [ZorvikB], version 6.05",
                    {}}},
        AnswerCase{"Bootloader",
                   {{}, 0xC802, 0x0000, std::nullopt},
                   {"logger", Level::Warning,
                    "a logger answers in its bootloader (class 51202 [BL3]): an earlier update stopped half-way, "
                    "and the logger has no working firmware until an update finishes",
                    "run an update to finish it: zorvik-updater-cli --port /dev/ttyUSB0"}},
        AnswerCase{"FirstBootloader",
                   {{}, 0xC800, 0x0000, std::nullopt},
                   {"logger", Level::Warning,
                    "a logger answers in its bootloader (class 51200 [BL]): an earlier update stopped half-way, "
                    "and the logger has no working firmware until an update finishes",
                    "run an update to finish it: zorvik-updater-cli --port /dev/ttyUSB0"}},
        AnswerCase{"UnknownClass",
                   {{}, 0x1234, 0x0100, std::nullopt},
                   {"logger", Level::Warning,
                    "something answers, but with class 4660 [?], which is no logger this updater knows",
                    "check that this is the logger's port: see zorvik-updater-cli --list-ports"}},
        AnswerCase{"Silent",
                   {{link::FailureKind::Silent, 0, ""}, 0, 0, std::nullopt},
                   {"logger", Level::Fail, "no answer at all", "is the logger switched on and the cable in?"}},
        AnswerCase{"Damaged",
                   {{link::FailureKind::DamagedAnswer, 0, ""}, 0, 0, std::nullopt},
                   {"logger", Level::Fail, "the logger's answer arrived damaged",
                    "a noisy or long cable, a wrong baud rate or another program on the port: use the logger's own "
                    "cable and close other programs that use the port"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LevelName, IsTheWordOfTheLines) {
  EXPECT_EQ(levelName(Level::Ok), "ok");
  EXPECT_EQ(levelName(Level::Warning), "warning");
  EXPECT_EQ(levelName(Level::Fail), "fail");
}

}  // namespace
}  // namespace zorvik::diagnostics
