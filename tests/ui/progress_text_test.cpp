// The time left as the progress bar's own text, measured on the window's
// clock, while everything else the window says about progress stays as it is.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/event_texts.h"
#include "engine/update_timing.h"
#include "images/catalogue.h"
#include "session/time_left.h"
#include "tests/ui/ui_fixture.h"

namespace zorvik::testing {
namespace {

constexpr const char* kSuccess = "Update ZorvikB V6.26 succesfully completed.";

struct SeenProgress {
  int value;
  QString text;  // what the bar shows; empty when it shows none
  QString status;
};

class ProgressTextTest : public UiTest {
 protected:
  // Each reading of the clock is one second later: the session reads it
  // once per progress event, so the image goes at one percent a second.
  void oneSecondPerReading() {
    auto now = std::make_shared<std::chrono::steady_clock::time_point>();
    clock = [now] { return *now += std::chrono::seconds(1); };
  }

  void watch() {
    QProgressBar* bar = child<QProgressBar>(roles::kProgressBar);
    QObject::connect(bar, &QProgressBar::valueChanged, window.get(), [this, bar](int value) {
      seen.push_back({value, bar->isTextVisible() ? bar->text() : QString(), window->statusText()});
    });
    QObject::connect(window.get(), &QWidget::windowTitleChanged, window.get(),
                     [this](const QString& title) { titles << title; });
  }

  // One update in service mode (no question), clicked and watched to its end.
  void updateWatched() {
    startLogger();
    if (IsSkipped()) return;
    oneSecondPerReading();
    setInternalSetting("7406");
    open();
    child<QComboBox>(roles::kPortBox)->setEditText(port());
    watch();
    click(roles::kUpdateButton);
    ASSERT_TRUE(waitForIdle(60000));
  }

  std::vector<SeenProgress> seen;
  QStringList titles;
};

TEST_F(ProgressTextTest, TimeLeftShowsOnTheBarOnlyOnceMeasuredAndFalls) {
  updateWatched();
  if (HasFatalFailure() || IsSkipped()) return;
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, kSuccess);
  EXPECT_FALSE(child<QProgressBar>(roles::kProgressBar)->isTextVisible()) << "no time left once the update is over";

  // The progress events, one per percent.
  std::vector<SeenProgress> events;
  for (const SeenProgress& s : seen)
    if (s.value > 0 && s.value < 100) events.push_back(s);
  ASSERT_EQ(events.size(), 98u);
  const double linesPerPercent = images::ImageSource().lastLine(12) / 99.0;
  const QRegularExpression form("^(\\d+):(\\d\\d) left$");
  for (const SeenProgress& e : events) {
    SCOPED_TRACE(e.value);
    // The first event starts the measurement; every later one has gone
    // about linesPerPercent lines further.
    const bool measured = (e.value - 1) * linesPerPercent >= session::TimeLeft::kMinLinesMeasured;
    if (!measured) {
      EXPECT_TRUE(e.text.isEmpty()) << e.text;
      continue;
    }
    const QRegularExpressionMatch m = form.match(e.text);
    ASSERT_TRUE(m.hasMatch()) << e.text;
    // At a percent a second, what is left takes about as many seconds as
    // percents are left, and then the fixed pauses after the last line.
    const int seconds = m.captured(1).toInt() * 60 + m.captured(2).toInt();
    const int pauses = static_cast<int>(std::chrono::ceil<std::chrono::seconds>(engine::kPausesAfterLastLine).count());
    EXPECT_LE(std::abs(seconds - (99 - e.value) - pauses), 2) << e.text;
  }
  EXPECT_TRUE(events[0].text.isEmpty()) << "nothing is measured on the first event";
  EXPECT_FALSE(events.back().text.isEmpty());
  EXPECT_TRUE(seen.front().text.isEmpty()) << "none as the run starts";
}

TEST_F(ProgressTextTest, StatusTitleAndReportKeepTheirTexts) {
  updateWatched();
  if (HasFatalFailure() || IsSkipped()) return;

  QStringList progressLines;
  for (const QString& line : reportTexts()) {
    EXPECT_FALSE(line.contains("left")) << line;
    if (line.startsWith("Progress ")) progressLines << line;
  }
  QStringList expectedLines;
  QStringList expectedTitles;
  for (int percent = 1; percent <= 98; ++percent) {
    expectedLines << QString("Progress %1%").arg(percent);
    expectedTitles << QString("%1%").arg(percent);
  }
  expectedTitles << engine::kAppTitle;
  EXPECT_EQ(progressLines, expectedLines);
  EXPECT_EQ(titles, expectedTitles);
  // Through the programming the status bar keeps the line that began it.
  for (const SeenProgress& s : seen) {
    if (s.value == 0 || s.value == 100) continue;
    EXPECT_EQ(s.status, "Update ZorvikB V6.26, A9g, BL3.0") << s.value;
  }
  EXPECT_EQ(window->statusText(), kSuccess);
  EXPECT_EQ(window->windowTitle(), engine::kAppTitle);
}

}  // namespace
}  // namespace zorvik::testing
