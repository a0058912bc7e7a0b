// The production station in the desktop application: after one question
// when it opens (outside service mode), every logger plugged in is updated,
// one tile per port link (port, adapter and
// logger serial numbers, state, progress, and a large PASS or FAIL with the
// error text), counters, and a beep on each result. The station library
// keeps the units' bookkeeping; this window feeds it the link changes (a
// socket notifier on the link watcher) and the runs' events (posted Qt
// events) on the GUI thread, keeps its pauses on a timer, and draws.
// Closing the window while updates run asks first; it stops every run and
// waits (at most 5 s) until the ports are released.
#pragma once

#include <QFrame>
#include <QString>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "link/sleeper.h"
#include "station/production_station.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QGridLayout;
class QSocketNotifier;
class QTimer;

namespace zorvik::ui {

class StationTarget;
class WindowHistory;

struct StationWindowSetup {
  std::filesystem::path watchDir;  // empty: /dev/serial/by-id, FTDI adapters only
  engine::RunOptions options;
  std::shared_ptr<link::Sleeper> sleeper;  // the protocol's fixed pauses; null: real ones
  std::string historyPath;           // the update history; empty: the default place
  // Ask before the station takes any logger: every one plugged in loses its
  // measurements. Service mode starts without the question.
  bool askFirst = true;
};

// One port link: what is on it now, or the last result until the next
// logger is plugged in there.
class StationTile : public QFrame {
  Q_OBJECT  // found by type among a window's children

 public:
  StationTile(const QString& link, QWidget* parent);

  const QString& link() const { return link_; }
  void unitStarted(const station::UnitStart& unit);
  void setState(const QString& text);
  void setProgress(int percent);
  // The percentage, and the time left once it can be told.
  void setTimeLeft(const std::optional<std::chrono::seconds>& left);
  void setSerial(std::uint32_t serialNumber);
  void showResult(const station::UnitResult& result);
  // A line of the session's own: a port's fix, a history that cannot be kept.
  void addNote(const QString& text);
  void portFreed();

 private:
  QString link_;
  QLabel* portLabel_;
  QLabel* adapterLabel_;
  QLabel* serialLabel_;
  QLabel* stateLabel_;
  QProgressBar* progressBar_;
  QLabel* resultLabel_;
  QLabel* detailsLabel_;
  QLabel* textLabel_;
  QLabel* noteLabel_;
};

class StationWindow : public QWidget, private station::StationView {
  Q_OBJECT  // found by type among the main window's children

 public:
  StationWindow(QWidget* parent, StationWindowSetup setup);
  ~StationWindow() override;

  // The tile of a port link; null when none has been seen.
  StationTile* tile(const QString& link) const;
  const station::Counters& counters() const { return station_->counters(); }
  bool running() const { return station_->running(); }
  int beeps() const { return beeps_; }

  static QString imagePolicy();

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void startOrClose();
  bool ask(const session::Question& question);
  void linksChanged();
  void scheduleDeadline();
  void unitTile(int unit, const std::function<void(StationTile&)>& draw);

  // What the station tells the window to draw.
  void stationStarted(const station::StationStart& start) override;
  void unitStarted(const station::UnitStart& unit) override;
  void unitNote(int unit, const std::string& text) override;
  void unitStatus(int unit, const std::string& text) override;
  void unitProgress(int unit, int percent) override;
  void unitLineProgress(int unit, const session::LineProgress& progress) override;
  void unitIdentified(int unit, const engine::RunSummary& summary) override;
  void unitResult(const station::UnitResult& result) override;
  void countersChanged(const station::Counters& counters) override;
  void unitGone(int unit) override;
  void stationStopped(const station::Counters& counters) override;

  StationWindowSetup setup_;
  std::unique_ptr<WindowHistory> history_;
  std::shared_ptr<StationTarget> target_;
  std::unique_ptr<station::Station> station_;
  std::unique_ptr<ports::LinkWatcher> watcher_;
  QSocketNotifier* notifier_ = nullptr;
  QTimer* deadline_ = nullptr;
  std::map<int, StationTile*> unitTiles_;
  std::map<QString, StationTile*> tiles_;
  int beeps_ = 0;
  bool started_ = false;
  bool closing_ = false;

  QLabel* noticeLabel_ = nullptr;
  QLabel* watchingLabel_ = nullptr;
  QLabel* passedLabel_ = nullptr;
  QLabel* failedLabel_ = nullptr;
  QLabel* otherLabel_ = nullptr;  // unplugged, stopped, busy elsewhere
  QLabel* totalLabel_ = nullptr;
  QLabel* stoppedLabel_ = nullptr;
  QWidget* tileArea_ = nullptr;
  QGridLayout* tileGrid_ = nullptr;
  QPushButton* closeButton_ = nullptr;
};

}  // namespace zorvik::ui
