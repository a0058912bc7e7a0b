// The one wording of every failure kind: the cause and the fix a person reads
// after a failed update and in the doctor's findings.
#include "engine/failure_explanation.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace zorvik::engine {
namespace {

struct WordsCase {
  const char* name;
  link::Failure failure;
  Explanation expected;
};

// Test names show the case's name, not its bytes.
void PrintTo(const WordsCase& c, std::ostream* os) { *os << c.name; }

class FailureExplanation : public ::testing::TestWithParam<WordsCase> {};

TEST_P(FailureExplanation, SaysReasonAndFix) { EXPECT_EQ(failureExplanation(GetParam().failure), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Kinds, FailureExplanation,
    ::testing::Values(
        WordsCase{"None", {}, {}},
        WordsCase{"NoneKeepsNoSystemText", {link::FailureKind::None, 5, "Input/output error"}, {}},
        WordsCase{"NotFound",
                  {link::FailureKind::NotFound, 2, "No such file or directory"},
                  {"no such port (No such file or directory)",
                   "is the adapter plugged in? see zorvik-updater-cli --list-ports"}},
        WordsCase{"NotFoundWithoutSystemText",
                  {link::FailureKind::NotFound, 0, ""},
                  {"no such port", "is the adapter plugged in? see zorvik-updater-cli --list-ports"}},
        WordsCase{"BusyWithoutAVisibleHolder",
                  {link::FailureKind::Busy, 16, "Device or resource busy"},
                  {"another program holds the port (Device or resource busy)",
                   "close the program that uses it (a terminal program, another updater) and try again"}},
        WordsCase{"NoPermission",
                  {link::FailureKind::NoPermission, 13, "Permission denied"},
                  {"no permission to open the port (Permission denied)",
                   "install the package's rule (sudo apt install ./zorvik-updater_*.deb) or add yourself to the "
                   "group that owns the port and log in again"}},
        WordsCase{"NotATerminal",
                  {link::FailureKind::NotATerminal, 25, "Inappropriate ioctl for device"},
                  {"this is no serial port (Inappropriate ioctl for device)",
                   "name the logger's port: see zorvik-updater-cli --list-ports"}},
        WordsCase{"SettingsRefused",
                  {link::FailureKind::SettingsRefused, 22, "Invalid argument"},
                  {"the port refused 9600 baud, 8 data bits, no parity (Invalid argument)",
                   "plug the adapter in again; if that does not help, its driver cannot do these settings: use the "
                   "logger's own USB cable"}},
        WordsCase{"PortIo",
                  {link::FailureKind::PortIo, 5, "Input/output error"},
                  {"the port stopped working (a hang-up, or the adapter was pulled out) (Input/output error)",
                   "check that the adapter is plugged in firmly, plug it in again and start once more"}},
        WordsCase{"Silent",
                  {link::FailureKind::Silent, 0, ""},
                  {"no answer at all", "is the logger switched on and the cable in?"}},
        WordsCase{"ShortAnswer",
                  {link::FailureKind::ShortAnswer, 0, ""},
                  {"the logger's answer broke off", "check the cable; close any other program that reads the port"}},
        WordsCase{"DamagedAnswer",
                  {link::FailureKind::DamagedAnswer, 0, ""},
                  {"the logger's answer arrived damaged",
                   "a noisy or long cable, a wrong baud rate or another program on the port: use the logger's own "
                   "cable and close other programs that use the port"}},
        WordsCase{"Refused",
                  {link::FailureKind::Refused, 0, ""},
                  {"the logger refused the command", "switch the logger off and on again, then start once more"}},
        WordsCase{"EchoDiffers",
                  {link::FailureKind::EchoDiffers, 0, ""},
                  {"a line came back changed from the logger",
                   "the cable disturbs the data: use the logger's own cable, keep it away from motors and power "
                   "lines, then start once more"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorvik::engine
