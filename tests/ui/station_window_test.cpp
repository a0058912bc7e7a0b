// The station view as an operator uses it: opened from the menu, loggers
// plugged in (a link made in its folder of port links) one after another,
// one pulled out (its link removed) in the middle of its update, tiles and
// counters read off the window, and the window closed during an update.
// Real runs behind it, against simulated loggers on pseudo-terminals.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "engine/event_texts.h"
#include "history/sqlite_history.h"
#include "images/catalogue.h"
#include "images/version_text.h"
#include "link/serial_port.h"
#include "sim/logger_for_image.h"
#include "tests/ui/ui_fixture.h"
#include "ui/station_window.h"

namespace zorvik::testing {
namespace {

class StationWindowTest : public UiTest {
 protected:
  // "Info" -> "Station", as the operator opens it, answering its question.
  ui::StationWindow* openStation(const QStringList& switches = {}, const QString& answer = "Yes") {
    open(switches);
    pilot->answers.push_back(answer);
    window->findChild<QAction*>(roles::kStationAction)->trigger();
    station = window->findChild<ui::StationWindow*>();
    if (!station) ADD_FAILURE() << "no station window";
    else EXPECT_TRUE(station->isVisible());
    return station;
  }

  sim::SimulatedLogger& plug(const sim::LoggerConfig& config, const QString& link) {
    loggers.push_back(std::make_unique<sim::SimulatedLogger>(config));
    if (!loggers.back()->start()) ADD_FAILURE() << "no pseudo-terminal";
    EXPECT_TRUE(QFile::link(QString::fromStdString(loggers.back()->devicePath()), watchDir() + "/" + link));
    return *loggers.back();
  }
  void unplug(const QString& link) { EXPECT_TRUE(QFile::remove(watchDir() + "/" + link)); }

  // A label's text as it reads (without the places where a long name may break).
  QString label(const QString& link, const char* name) {
    ui::StationTile* tile = station ? station->tile(link) : nullptr;
    return tile ? tile->findChild<QLabel*>(name)->text().remove(QChar(0x200B)) : QString();
  }
  QString counter(const char* name) { return station->findChild<QLabel*>(name)->text(); }
  QColor resultColour(const QString& link) {
    return station->tile(link)->findChild<QLabel*>(roles::station::kResultLabel)->palette().color(QPalette::Window);
  }
  int progress(const QString& link) {
    return station->tile(link)->findChild<QProgressBar*>(roles::station::kProgressBar)->value();
  }
  QString progressText(const QString& link) {
    return station->tile(link)->findChild<QProgressBar*>(roles::station::kProgressBar)->text();
  }
  bool resultShown(const QString& link, const QString& result) {
    return label(link, roles::station::kResultLabel) == result;
  }

  static std::size_t dataLines(const sim::SimulatedLogger& l) {
    const auto r = l.requests();
    return static_cast<std::size_t>(std::count(r.begin(), r.end(), sim::Request::DataLine));
  }

  std::vector<std::unique_ptr<sim::SimulatedLogger>> loggers;
  QPointer<ui::StationWindow> station;
};

QString versionText(int image) {
  const images::ImageHeader h = images::builtInHeader(image);
  return QString::fromStdString(zorvik::images::versionText(h.versionHigh, h.versionLow));
}

struct PassingUnit {
  int image;
  std::uint32_t serial;
  const char* adapter;
};

TEST_F(StationWindowTest, ThreePassAndAPulledAdapterIsUnpluggedWithCountersAndRecords) {
  if (!openStation()) return;
  EXPECT_EQ(station->findChild<QLabel*>(roles::station::kNoticeLabel)->text(),
            "Every logger plugged in is updated; its measurements are erased.");
  ASSERT_TRUE(waitFor([&] { return pilot->questions.size() == 1; }));
  EXPECT_EQ(pilot->questions[0].title, "Confirm");
  EXPECT_EQ(pilot->questions[0].text,
            "Every logger plugged in will be updated; its measurements are erased.\nDo you really start the station ?");
  const QString watching = station->findChild<QLabel*>(roles::station::kWatchingLabel)->text();
  EXPECT_TRUE(watching.contains("Images: the built-in image that fits each logger.")) << watching;
  EXPECT_TRUE(watching.contains(watchDir())) << watching;
  EXPECT_EQ(counter(roles::station::kTotalLabel), "Total: 0");

  const PassingUnit passing[] = {{12, 510001, "ST0"}, {9, 510002, "ST1"}, {4, 510003, "ST2"}};
  for (const PassingUnit& unit : passing) {
    SCOPED_TRACE(unit.adapter);
    sim::LoggerConfig config = sim::loggerFor(unit.image);
    config.serialNumber = unit.serial;
    const QString link = QString("usb-FTDI_FT232R_USB_UART_%1-if00-port0").arg(unit.adapter);
    plug(config, link);
    ASSERT_TRUE(waitFor([&] { return resultShown(link, "PASS"); }, 60000)) << label(link, roles::station::kStateLabel);
  }
  sim::LoggerConfig slow = sim::loggerFor(12);
  slow.serialNumber = 510004;
  slow.wireTiming = true;
  slow.clockScale = 20;
  const QString pulled = "usb-FTDI_FT232R_USB_UART_ST3-if00-port0";
  sim::SimulatedLogger& fourth = plug(slow, pulled);
  ASSERT_TRUE(waitFor([&] { return dataLines(fourth) >= 20; }, 60000));
  ASSERT_TRUE(waitFor([&] { return progress(pulled) > 0; }));
  EXPECT_EQ(label(pulled, roles::station::kSerialLabel), "Logger: 510004") << "shown while the update runs";
  // Once enough lines were measured the bar tells the time left beside the percentage.
  const QRegularExpression timeLeft("^\\d+%  \\d+:[0-5]\\d left$");
  EXPECT_TRUE(waitFor([&] { return timeLeft.match(progressText(pulled)).hasMatch(); }, 20000)) << progressText(pulled);
  EXPECT_EQ(label(pulled, roles::station::kResultLabel), "") << "no result while the update runs";
  EXPECT_TRUE(station->running());
  unplug(pulled);
  ASSERT_TRUE(waitFor([&] { return resultShown(pulled, "UNPLUGGED"); }, 20000)) << label(pulled, roles::station::kStateLabel);

  for (const PassingUnit& unit : passing) {
    const QString link = QString("usb-FTDI_FT232R_USB_UART_%1-if00-port0").arg(unit.adapter);
    SCOPED_TRACE(link);
    EXPECT_EQ(label(link, roles::station::kPortLabel), link);
    EXPECT_EQ(label(link, roles::station::kAdapterLabel), QString("Adapter: ") + unit.adapter);
    EXPECT_EQ(label(link, roles::station::kSerialLabel), QString("Logger: %1").arg(unit.serial));
    EXPECT_EQ(label(link, roles::station::kTextLabel), "") << "no error text under a PASS";
    EXPECT_TRUE(label(link, roles::station::kDetailsLabel).contains(QString("\u2192 ") + versionText(unit.image)))
        << label(link, roles::station::kDetailsLabel);
    const QColor colour = resultColour(link);
    EXPECT_GT(colour.green(), colour.red() + 60) << "PASS is green";
    EXPECT_EQ(progress(link), 100);
    EXPECT_EQ(progressText(link), "100%") << "no time left once it is over";
  }
  EXPECT_EQ(label(pulled, roles::station::kTextLabel), "adapter unplugged");
  EXPECT_EQ(label(pulled, roles::station::kSerialLabel), "Logger: 510004");
  EXPECT_FALSE(label(pulled, roles::station::kDetailsLabel).contains(QString("\u2192 ") + versionText(12)))
      << "no version written: " << label(pulled, roles::station::kDetailsLabel);
  const QColor pulledColour = resultColour(pulled);
  EXPECT_NE(pulledColour, resultColour("usb-FTDI_FT232R_USB_UART_ST0-if00-port0")) << "not a PASS";
  EXPECT_NE(pulledColour.red(), 0xC6) << "not the red of a failed logger";
  EXPECT_EQ(station->findChildren<ui::StationTile*>().size(), 4);
  EXPECT_EQ(counter(roles::station::kPassedLabel), "Passed: 3");
  EXPECT_EQ(counter(roles::station::kFailedLabel), "Failed: 0");
  EXPECT_EQ(counter(roles::station::kOtherResultsLabel), "Unplugged: 1");
  EXPECT_EQ(counter(roles::station::kTotalLabel), "Total: 4");
  EXPECT_EQ(station->beeps(), 4) << "a beep on each result";
  EXPECT_EQ(fourth.restarts(), 0);
  for (const auto& l : loggers) {
    link::PortHandle again = link::openSerialPort(l->devicePath(), 9600);
    EXPECT_NE(again, nullptr) << "every port released: " << l->devicePath();
  }

  // Each unit is in the history, written by the station.
  history::SqliteHistory store(QFile::encodeName(historyFile()).toStdString());
  auto rows = store.rows();
  ASSERT_EQ(rows.size(), 4u);
  std::reverse(rows.begin(), rows.end());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].start.frontEnd, "station");
    ASSERT_TRUE(rows[i].end.has_value());
    EXPECT_EQ(rows[i].serialNumber, 510001u + i);
    EXPECT_EQ(rows[i].end->resultCode, i < 3 ? 0 : engine::errorValue(engine::ErrorCode::Cancelled));
  }
  EXPECT_EQ(rows[0].start.adapterSerial, "ST0");
  EXPECT_EQ(rows[3].end->resultText, "adapter unplugged");

  QTest::mouseClick(station->findChild<QPushButton*>(roles::station::kCloseButton), Qt::LeftButton);
  EXPECT_TRUE(waitFor([&] { return station.isNull(); })) << "the station window goes when closed";
  EXPECT_TRUE(window->isVisible()) << "the main window stays";
}

TEST_F(StationWindowTest, ClosingDuringAnUpdateStopsItAndReleasesThePort) {
  if (!openStation()) return;
  sim::LoggerConfig slow = sim::loggerFor(12);
  slow.wireTiming = true;
  slow.clockScale = 20;
  sim::SimulatedLogger& busy = plug(slow, "bench-1");
  ASSERT_TRUE(waitFor([&] { return dataLines(busy) >= 5; }, 60000));
  ASSERT_TRUE(station->running());
  // Asked first: "No" leaves the update running.
  pilot->answers.push_back("No");
  QTest::mouseClick(station->findChild<QPushButton*>(roles::station::kCloseButton), Qt::LeftButton);
  ASSERT_EQ(pilot->questions.size(), 2u);
  EXPECT_EQ(pilot->questions[1].text.section('\n', 1), "Do you really stop the station ?");
  ASSERT_FALSE(station.isNull());
  EXPECT_TRUE(station->running());
  // Returns once the run has ended.
  pilot->answers.push_back("Yes");
  QTest::mouseClick(station->findChild<QPushButton*>(roles::station::kCloseButton), Qt::LeftButton);
  ASSERT_TRUE(waitFor([&] { return station.isNull(); }));
  link::PortHandle again = link::openSerialPort(busy.devicePath(), 9600);
  EXPECT_NE(again, nullptr) << "the port is released";
  EXPECT_EQ(busy.restarts(), 0);

  // The update ended in the history as it ended: stopped by the operator.
  history::SqliteHistory store(QFile::encodeName(historyFile()).toStdString());
  const auto rows = store.rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].state, history::RowState::Finished);
  ASSERT_TRUE(rows[0].end.has_value());
  EXPECT_EQ(rows[0].end->resultCode, engine::errorValue(engine::ErrorCode::Cancelled));
  EXPECT_EQ(rows[0].end->resultText, "station stopped");

  // The main window takes input again and can open a new station.
  pilot->answers.push_back("Yes");
  window->findChild<QAction*>(roles::kStationAction)->trigger();
  EXPECT_NE(window->findChild<ui::StationWindow*>(), nullptr);
}

// Eight loggers on a hub: the window as it opens fits a 1280 x 800 screen
// and shows all eight tiles whole, each with its link name in full.
TEST_F(StationWindowTest, EightTilesFitA1280By800ScreenWithTheirLinkNamesWhole) {
  if (!openStation()) return;
  std::vector<QString> links;
  for (int i = 0; i < 8; ++i) {
    links.push_back(QString("usb-FTDI_FT232R_USB_UART_A10K3F%1Q-if00-port0").arg(i));
    plug(sim::loggerFor(12), links.back());
  }
  ASSERT_TRUE(waitFor([&] { return station->findChildren<ui::StationTile*>().size() == 8; }));
  ASSERT_TRUE(waitFor([&] { return std::all_of(links.begin(), links.end(), [&](const QString& l) { return resultShown(l, "PASS"); }); }, 60000));
  EXPECT_LE(station->frameGeometry().width(), 1280);
  EXPECT_LE(station->frameGeometry().height(), 800 - 40) << "room for a task bar";
  auto* scroller = station->findChild<QWidget*>(roles::station::kTileScroller);
  ASSERT_NE(scroller, nullptr);
  QWidget* viewport = scroller->findChild<QWidget*>("qt_scrollarea_viewport");
  ASSERT_NE(viewport, nullptr);
  for (const QString& link : links) {
    SCOPED_TRACE(link);
    ui::StationTile* tile = station->tile(link);
    ASSERT_NE(tile, nullptr);
    const QRect shown(tile->mapTo(viewport, QPoint(0, 0)), tile->size());
    EXPECT_TRUE(viewport->rect().contains(shown)) << "whole tile in view: " << shown.y() << "+" << shown.height() << " in " << viewport->height() << " window " << station->height();
    auto* name = tile->findChild<QLabel*>(roles::station::kPortLabel);
    EXPECT_LE(name->heightForWidth(name->width()), name->height()) << "the whole name shows";
    EXPECT_EQ(label(link, roles::station::kPortLabel), link);
  }
}

// Declining the question closes the station before it touched any logger.
TEST_F(StationWindowTest, DecliningTheStartQuestionUpdatesNothing) {
  if (!openStation({}, "No")) return;
  sim::SimulatedLogger& waiting = plug(sim::loggerFor(12), "bench-1");
  ASSERT_TRUE(waitFor([&] { return station.isNull(); })) << "the window goes";
  ASSERT_EQ(pilot->questions.size(), 1u);
  EXPECT_TRUE(pilot->questions[0].text.startsWith("Every logger plugged in will be updated; its measurements are erased."));
  for (int i = 0; i < 20; ++i) QTest::qWait(10);
  EXPECT_TRUE(waiting.requests().empty()) << "no logger touched";
}

// Service mode starts the station without the question.
TEST_F(StationWindowTest, ServiceModeStartsWithoutAsking) {
  setInternalSetting(QString::number(engine::kServiceAccessCode));
  if (!openStation()) return;
  sim::SimulatedLogger& l = plug(sim::loggerFor(12), "bench-1");
  ASSERT_TRUE(waitFor([&] { return resultShown("bench-1", "PASS"); }, 60000));
  EXPECT_TRUE(pilot->questions.empty());
  EXPECT_EQ(l.restarts(), 1);
}

}  // namespace
}  // namespace zorvik::testing
