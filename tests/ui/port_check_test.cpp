// "Info" -> "Check port": the port doctor's findings for the port in the port
// box, checked beside the window against the simulated logger, and how the
// window keeps a check and an update apart.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <optional>
#include <vector>

#include "diagnostics/doctor.h"
#include "link/serial_port.h"
#include "tests/ui/ui_fixture.h"
#include "ui/port_check_dialog.h"

namespace zorvik::testing {
namespace {

using sim::FaultKind;
using sim::Request;

struct Row {
  QString level, check, found, fix;
};

class PortCheckTest : public UiTest {
 protected:
  void checkPort(const QString& portText) {
    child<QComboBox>(roles::kPortBox)->setEditText(portText);
    child<QAction>(roles::kCheckPortAction)->trigger();
  }

  ui::PortCheckDialog* dialog() const { return window->portCheckDialog(); }

  std::vector<Row> rows() const {
    std::vector<Row> shown;
    QTreeWidget* list = dialog()->list();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = list->topLevelItem(i);
      shown.push_back({item->text(0), item->text(1), item->text(2), item->text(3)});
    }
    return shown;
  }

  std::optional<Row> row(const QString& check) const {
    for (const Row& r : rows())
      if (r.check == check) return r;
    return std::nullopt;
  }

  // The summary line the command line's doctor would print for these rows.
  std::string doctorSummary() const {
    std::vector<diagnostics::Finding> findings;
    for (const Row& r : rows()) {
      diagnostics::Finding f;
      f.level = r.level == "ok" ? diagnostics::Level::Ok
                : r.level == "warning" ? diagnostics::Level::Warning
                                       : diagnostics::Level::Fail;
      EXPECT_EQ(QString::fromUtf8(diagnostics::levelName(f.level).data()), r.level) << "a level of the doctor's";
      findings.push_back(f);
    }
    return diagnostics::summaryLine(findings);
  }

  bool checkDone() { return waitFor([this] { return child<QAction>(roles::kCheckPortAction)->isEnabled(); }); }

  int bootloaderEntries() const {
    const std::vector<Request> seen = logger->requests();
    return static_cast<int>(std::count_if(seen.begin(), seen.end(), [](Request r) {
      return r == Request::BootloaderEntry || r == Request::WrongEntryFrame;
    }));
  }
};

TEST_F(PortCheckTest, FindsTheLoggerAwakeAndHoldsOffUpdatesMeanwhile) {
  startLogger();
  open();
  checkPort(port());

  ASSERT_NE(dialog(), nullptr);
  EXPECT_TRUE(dialog()->isVisible());
  EXPECT_EQ(dialog()->windowTitle(), "Check port");
  EXPECT_EQ(dialog()->line()->text(), "Checking " + port() + " ...");
  EXPECT_TRUE(rows().empty());
  EXPECT_EQ(window->openStation(), nullptr) << "no station beside a check";
  bool updateOffed = true;
  bool othersOffed = true;
  ASSERT_TRUE(waitFor([&] {
    if (!rows().empty()) return true;
    updateOffed = updateOffed && !child<QPushButton>(roles::kUpdateButton)->isEnabled();
    othersOffed = othersOffed && !child<QAction>(roles::kStationAction)->isEnabled() &&
                  !child<QAction>(roles::kCheckPortAction)->isEnabled();
    return false;
  }));
  EXPECT_TRUE(updateOffed) << "Update stays off until the findings are in";
  EXPECT_TRUE(othersOffed) << "Station and Check port stay off until the findings are in";

  const auto answer = row("logger");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->level, "ok");
  EXPECT_EQ(answer->found, "a logger answers in its application: class 26113 [ZorvikB], version 6.26, "
                            "serial number 100200");
  const auto driver = row("driver");
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->level, "warning");
  EXPECT_EQ(driver->found, "not a USB adapter: " + QFileInfo(port()).canonicalFilePath() +
                               " is a pseudo-terminal (as the simulated logger uses)");
  EXPECT_FALSE(driver->fix.isEmpty());
  EXPECT_EQ(row("device").value_or(Row{}).level, "ok");
  EXPECT_EQ(row("open").value_or(Row{}).level, "ok");
  EXPECT_EQ(dialog()->line()->text().toStdString(), doctorSummary());
  EXPECT_TRUE(dialog()->line()->text().endsWith(" 0 failed: nothing stops an update")) << dialog()->line()->text();

  // Woken and asked who it is, nothing more: the logger still runs its application.
  EXPECT_EQ(logger->mode(), sim::Mode::Application);
  EXPECT_EQ(bootloaderEntries(), 0);
  EXPECT_TRUE(logger->flashWrites().empty());
  EXPECT_TRUE(child<QPushButton>(roles::kUpdateButton)->isEnabled());
  EXPECT_TRUE(child<QAction>(roles::kStationAction)->isEnabled());
  EXPECT_TRUE(child<QAction>(roles::kCheckPortAction)->isEnabled());
}

struct NoCheckCase {
  const char* name;
  QString port;
  QString firstLevel;  // of the first row; empty: no rows
  QString firstFound;
  QString lineStart;
};

TEST_F(PortCheckTest, PortThatIsNotThereOrNoPortAtAll) {
  const NoCheckCase cases[] = {
      {"no such port", "/dev/zorvik-no-such-port", "fail", "no such port: /dev/zorvik-no-such-port",
       "summary: "},
      {"empty port box", "", {}, {}, "No port chosen"},
  };
  for (const NoCheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    open();
    checkPort(c.port);
    ASSERT_TRUE(checkDone());
    ASSERT_NE(dialog(), nullptr);
    ASSERT_TRUE(waitFor([this] { return !dialog()->line()->text().startsWith("Checking"); }));
    EXPECT_TRUE(dialog()->line()->text().startsWith(c.lineStart)) << dialog()->line()->text();
    const std::vector<Row> shown = rows();
    if (c.firstLevel.isEmpty()) {
      EXPECT_TRUE(shown.empty());
    } else {
      ASSERT_FALSE(shown.empty());
      EXPECT_EQ(shown[0].check, "device");
      EXPECT_EQ(shown[0].level, c.firstLevel);
      EXPECT_EQ(shown[0].found, c.firstFound);
      EXPECT_FALSE(row("open")) << "a port that is not there is not opened";
      EXPECT_EQ(dialog()->line()->text().toStdString(), doctorSummary());
      EXPECT_TRUE(dialog()->line()->text().endsWith("an update cannot work until the failed checks are fixed"));
    }
    EXPECT_TRUE(child<QPushButton>(roles::kUpdateButton)->isEnabled());
    window.reset();
  }
}

TEST_F(PortCheckTest, CheckPortIsOffWhileAnUpdateRuns) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 100000});
  setInternalSetting("7406");
  open();
  child<QComboBox>(roles::kPortBox)->setEditText(port());
  click(roles::kUpdateButton);
  ASSERT_TRUE(window->running());
  EXPECT_FALSE(child<QAction>(roles::kCheckPortAction)->isEnabled());
  click(roles::kCancelButton);
  ASSERT_TRUE(waitForIdle());
  EXPECT_TRUE(child<QAction>(roles::kCheckPortAction)->isEnabled());
  EXPECT_EQ(dialog(), nullptr) << "no check was started";
}

// A logger that does not answer keeps the check in its wake-up exchange for
// a second or more: long enough to close the dialog or the window meanwhile.
TEST_F(PortCheckTest, ClosingTheDialogDuringACheckDropsItsFindings) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 100000});
  open();
  checkPort(port());
  ASSERT_NE(dialog(), nullptr);
  QTest::mouseClick(dialog()->findChild<QPushButton*>(roles::kCloseButton), Qt::LeftButton);
  EXPECT_TRUE(waitFor([this] { return dialog() == nullptr; }, 2000)) << "the dialog went at once";
  EXPECT_FALSE(child<QPushButton>(roles::kUpdateButton)->isEnabled()) << "the check goes on";
  ASSERT_TRUE(checkDone());
  EXPECT_EQ(dialog(), nullptr) << "no dialog came back for the findings";
  EXPECT_TRUE(child<QPushButton>(roles::kUpdateButton)->isEnabled());
  EXPECT_EQ(bootloaderEntries(), 0);
}

TEST_F(PortCheckTest, ClosingTheWindowDuringACheckWaitsForItAndFreesThePort) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 100000});
  open();
  checkPort(port());
  ASSERT_TRUE(waitFor([this] { return !logger->requests().empty(); })) << "the check has reached the logger";
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(pilot->questions.empty()) << "a check is not an update: nothing to confirm";
  link::PortHandle again = link::openSerialPort(logger->devicePath(), 9600);
  EXPECT_TRUE(again) << "the check had let go of the port before the window closed";
  link::closeSerialPort(again);
}

}  // namespace
}  // namespace zorvik::testing
