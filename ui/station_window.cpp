#include "ui/station_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <mutex>

#include "diagnostics/doctor.h"
#include "session/widget_roles.h"
#include "station/station_policy.h"
#include "ui/window_history.h"

namespace zorvik::ui {

namespace roles = session::roles::station;

namespace {

// As the main window waits on close: long enough for a run in the middle of
// an exchange to notice the cancel and close its port.
constexpr int kCloseWaitMs = 5000;
// Eight tiles, four by two, on a 1280 x 800 screen (a production line's
// usual laptop) with room for the window's frame and a task bar; a by-id
// link name breaks over two lines at its dashes and underscores.
constexpr int kTileColumns = 4;
constexpr int kTileWidth = 290;
constexpr int kWindowHeight = 750;

const QColor kPassColour(0x1B, 0x87, 0x3F);
const QColor kFailColour(0xC6, 0x28, 0x28);
// No verdict on the logger: the adapter was pulled, the station stopped, or
// another station holds the port.
const QColor kNoVerdictColour(0xE0, 0x8A, 0x00);
const QColor kWaitColour(0xD9, 0xD9, 0xD9);

QString q(const std::string& text) { return QString::fromStdString(text); }

template <class W>
W* named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

void paint(QLabel* label, const QColor& background, const QColor& text) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, background);
  palette.setColor(QPalette::WindowText, text);
  label->setPalette(palette);
}

}  // namespace

// ---- How the runs' events reach the window ----------------------------------

class StationEvent final : public QEvent {
 public:
  static QEvent::Type type() {
    // Registered once; Qt hands out the same number for the program's life.
    static const QEvent::Type registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
  }
  StationEvent(int unit, engine::RunEvent event) : QEvent(type()), unit_(unit), event_(std::move(event)) {}
  int unit() const { return unit_; }
  const engine::RunEvent& event() const { return event_; }

 private:
  int unit_;
  engine::RunEvent event_;
};

// The window as the runs see it: cleared when the window goes away, so that
// a run outliving it posts into nothing.
class StationTarget final : public station::StationSink {
 public:
  explicit StationTarget(QObject* receiver) : receiver_(receiver) {}
  void detach() {
    std::lock_guard lock(mutex_);
    receiver_ = nullptr;
  }
  void post(int unit, engine::RunEvent event) noexcept override {
    try {
      std::lock_guard lock(mutex_);
      if (receiver_) QCoreApplication::postEvent(receiver_, new StationEvent(unit, std::move(event)));
    } catch (...) {
      // Out of memory for one event: nothing sensible is left to tell anyone.
    }
  }

 private:
  std::mutex mutex_;
  QObject* receiver_;
};

// ---- A tile -------------------------------------------------------------------

// A by-id name is one long word; it may break after its underscores and
// dashes, so that the whole name stays readable on the tile.
QString breakable(const QString& link) {
  QString text;
  for (const QChar c : link) {
    text += c;
    if (c == '_' || c == '-') text += QChar(0x200B);
  }
  return text;
}

StationTile::StationTile(const QString& link, QWidget* parent) : QFrame(parent), link_(link) {
  setObjectName(roles::kTile);
  setFrameShape(QFrame::StyledPanel);
  setFixedWidth(kTileWidth);

  portLabel_ = named(new QLabel(breakable(link), this), roles::kPortLabel);
  portLabel_->setWordWrap(true);
  portLabel_->setToolTip(link);
  QFont bold = portLabel_->font();
  bold.setBold(true);
  portLabel_->setFont(bold);
  adapterLabel_ = named(new QLabel(this), roles::kAdapterLabel);
  serialLabel_ = named(new QLabel(this), roles::kSerialLabel);
  stateLabel_ = named(new QLabel(this), roles::kStateLabel);
  stateLabel_->setWordWrap(true);
  progressBar_ = named(new QProgressBar(this), roles::kProgressBar);
  progressBar_->setRange(0, 100);
  resultLabel_ = named(new QLabel(this), roles::kResultLabel);
  resultLabel_->setAlignment(Qt::AlignCenter);
  resultLabel_->setAutoFillBackground(true);
  QFont large = resultLabel_->font();
  large.setPointSize(22);
  large.setBold(true);
  resultLabel_->setFont(large);
  resultLabel_->setMinimumHeight(42);
  detailsLabel_ = named(new QLabel(this), roles::kDetailsLabel);
  textLabel_ = named(new QLabel(this), roles::kTextLabel);
  textLabel_->setWordWrap(true);
  textLabel_->setFont(bold);
  noteLabel_ = named(new QLabel(this), roles::kNoteLabel);
  noteLabel_->setWordWrap(true);
  noteLabel_->setVisible(false);

  // Room for the longest texts from the start, so that every tile has one
  // height and a tile does not grow under the operator's eyes.
  const auto lines = [](QLabel* label, int n) { label->setMinimumHeight(n * label->fontMetrics().lineSpacing()); };
  lines(portLabel_, 2);
  lines(stateLabel_, 2);
  lines(detailsLabel_, 1);
  lines(textLabel_, 2);
  stateLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  textLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* identity = new QHBoxLayout;
  identity->addWidget(adapterLabel_, 1);
  identity->addWidget(serialLabel_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(3);
  layout->addWidget(portLabel_);
  layout->addLayout(identity);
  for (QWidget* w : std::initializer_list<QWidget*>{stateLabel_, progressBar_, resultLabel_, detailsLabel_, textLabel_, noteLabel_}) {
    layout->addWidget(w);
  }
}

void StationTile::unitStarted(const station::UnitStart& unit) {
  adapterLabel_->setText("Adapter: " + (unit.adapter.empty() ? QString("?") : q(unit.adapter)));
  serialLabel_->setText("Logger: ?");
  stateLabel_->setText("Plugged in");
  progressBar_->setValue(0);
  resultLabel_->setText(QString());
  paint(resultLabel_, kWaitColour, Qt::black);
  detailsLabel_->clear();
  textLabel_->clear();
  noteLabel_->clear();
  noteLabel_->setVisible(false);
}

void StationTile::setState(const QString& text) { stateLabel_->setText(text); }

void StationTile::setProgress(int percent) { progressBar_->setValue(percent); }

void StationTile::setTimeLeft(const std::optional<std::chrono::seconds>& left) {
  progressBar_->setFormat(left ? "%p%  " + q(session::timeLeftText(*left)) : QString("%p%"));
}

void StationTile::setSerial(std::uint32_t serialNumber) {
  if (serialNumber != 0) serialLabel_->setText("Logger: " + QString::number(serialNumber));
}

void StationTile::showResult(const station::UnitResult& r) {
  setSerial(r.serialNumber);
  resultLabel_->setText(station::resultWord(r.kind));
  const bool verdict = r.kind == station::ResultKind::Pass || r.kind == station::ResultKind::Fail;
  paint(resultLabel_, r.pass ? kPassColour : verdict ? kFailColour : kNoVerdictColour, Qt::white);
  detailsLabel_->setText(QString("%1 \u2192 %2, %3 s, repeats %4")
                        .arg(q(r.versionBefore), q(r.imageVersion))
                        .arg(static_cast<double>(r.duration.count()) / 1000.0, 0, 'f', 1)
                        .arg(r.repeats));
  textLabel_->setText(r.pass ? QString() : q(r.text));
  if (r.pass) progressBar_->setValue(100);
}

void StationTile::addNote(const QString& text) {
  noteLabel_->setText(noteLabel_->text().isEmpty() ? text : noteLabel_->text() + "\n" + text);
  noteLabel_->setVisible(true);
}

void StationTile::portFreed() { stateLabel_->setText("Unplugged: ready for the next logger"); }

// ---- The window -----------------------------------------------------------------

// The window offers the built-in images only.
QString StationWindow::imagePolicy() { return q(station::imagePolicy({})); }

StationWindow::StationWindow(QWidget* parent, StationWindowSetup setup)
    : QWidget(parent, Qt::Window), setup_(std::move(setup)), target_(std::make_shared<StationTarget>(this)) {
  setObjectName(roles::kWindow);
  setWindowTitle("Production station");

  noticeLabel_ =
      named(new QLabel("Every logger plugged in is updated; its measurements are erased.", this), roles::kNoticeLabel);
  QFont noticeFont = noticeLabel_->font();
  noticeFont.setBold(true);
  noticeFont.setPointSize(noticeFont.pointSize() + 2);
  noticeLabel_->setFont(noticeFont);
  watchingLabel_ = named(new QLabel(this), roles::kWatchingLabel);
  watchingLabel_->setWordWrap(true);
  passedLabel_ = named(new QLabel(this), roles::kPassedLabel);
  failedLabel_ = named(new QLabel(this), roles::kFailedLabel);
  totalLabel_ = named(new QLabel(this), roles::kTotalLabel);
  otherLabel_ = named(new QLabel(this), roles::kOtherResultsLabel);
  for (QLabel* counter : {passedLabel_, failedLabel_, totalLabel_}) {
    QFont f = counter->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    counter->setFont(f);
  }
  stoppedLabel_ = named(new QLabel(this), roles::kStoppedLabel);
  stoppedLabel_->setVisible(false);

  // The tiles keep their own height, in rows from the top left; the room
  // below them stays empty.
  tileArea_ = new QWidget;
  auto* area = new QVBoxLayout(tileArea_);
  tileGrid_ = new QGridLayout;
  tileGrid_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  area->addLayout(tileGrid_);
  area->addStretch(1);
  auto* scroll = named(new QScrollArea(this), roles::kTileScroller);
  scroll->setWidget(tileArea_);
  scroll->setWidgetResizable(true);

  closeButton_ = named(new QPushButton("Stop station and close", this), roles::kCloseButton);
  connect(closeButton_, &QPushButton::clicked, this, [this] { close(); });

  auto* counters = new QHBoxLayout;
  counters->addWidget(passedLabel_);
  counters->addSpacing(24);
  counters->addWidget(failedLabel_);
  counters->addSpacing(24);
  counters->addWidget(totalLabel_);
  counters->addSpacing(24);
  counters->addWidget(otherLabel_);
  counters->addStretch(1);
  counters->addWidget(closeButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(noticeLabel_);
  layout->addWidget(watchingLabel_);
  layout->addLayout(counters);
  layout->addWidget(stoppedLabel_);
  layout->addWidget(scroll, 1);
  resize(kTileColumns * (kTileWidth + 12) + 48, kWindowHeight);

  history_ = std::make_unique<WindowHistory>(setup_.historyPath, "station");
  station::StationSetup s;
  station::StationLinks links = station::stationLinks(setup_.watchDir);
  const std::filesystem::path watchDir = links.watchDir;
  s.watchDir = std::move(links.watchDir);
  s.links = std::move(links.links);
  s.options = setup_.options;
  s.options.readInfoOnly = false;
  s.imagePolicy = imagePolicy().toStdString();
  s.sleeper = setup_.sleeper;
  s.recorders = [history = history_.get()] { return history->recorder(); };
  s.explain = [](const std::string& port, const link::Failure& failure) { return diagnostics::explainFailure(port, failure); };
  s.sink = target_;
  station::StationView& view = *this;
  station_ = std::make_unique<station::Station>(std::move(s), view);
  countersChanged(station_->counters());

  deadline_ = new QTimer(this);
  deadline_->setSingleShot(true);
  connect(deadline_, &QTimer::timeout, this, [this] {
    station_->timePassed();
    scheduleDeadline();
  });

  // Asked once the window is up; the loggers already plugged in are taken
  // after the answer.
  QTimer::singleShot(0, this, [this, watchDir] {
    if (setup_.askFirst && !ask(station::startQuestion())) {
      close();
      return;
    }
    started_ = true;
    station_->begin();
    watcher_ = std::make_unique<ports::LinkWatcher>(watchDir);
    if (watcher_->fd() >= 0) {
      notifier_ = new QSocketNotifier(watcher_->fd(), QSocketNotifier::Read, this);
      connect(notifier_, &QSocketNotifier::activated, this, [this] { linksChanged(); });
    }
    linksChanged();
  });
}

// As the main window asks: "Confirm", and only "Yes" goes on.
bool StationWindow::ask(const session::Question& question) {
  QMessageBox box(QMessageBox::Question, "Confirm", q(question.line1) + "\n" + q(question.line2), QMessageBox::NoButton,
                  this);
  QPushButton* yes = box.addButton("Yes", QMessageBox::YesRole);
  QPushButton* no = box.addButton("No", QMessageBox::NoRole);
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

StationWindow::~StationWindow() {
  // The notifier must stop watching the descriptor before the watcher closes it.
  delete notifier_;
  notifier_ = nullptr;
  target_->detach();
  // A window torn down without closing (its parent went first): the runs
  // are cancelled and the station waits for their threads as it goes.
  if (station_->running()) station_->abandon();
}

void StationWindow::linksChanged() {
  if (!watcher_) return;
  station_->linksChanged(watcher_->changes());
  scheduleDeadline();
}

void StationWindow::scheduleDeadline() {
  const auto next = station_->nextDeadline();
  if (!next) {
    deadline_->stop();
    return;
  }
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*next - station::Clock::now());
  deadline_->start(std::max(wait, std::chrono::milliseconds(0)));
}

bool StationWindow::event(QEvent* e) {
  if (e->type() != StationEvent::type()) return QWidget::event(e);
  const auto* posted = static_cast<StationEvent*>(e);
  station_->unitEvent(posted->unit(), posted->event());
  scheduleDeadline();
  return true;
}

void StationWindow::closeEvent(QCloseEvent* e) {
  if (closing_) {
    // Asked again while the first close waits for the runs: that one ends it.
    e->ignore();
    return;
  }
  // A logger stopped in the middle of its update stays in its bootloader.
  if (station_->running() && !ask(station::stopQuestion())) {
    e->ignore();
    return;
  }
  // Every run stops at its next exchange attempt; the window keeps handling
  // their events meanwhile, so that each ends in the history as it ended,
  // and waits for their ports to be released before it goes.
  closing_ = true;
  closeButton_->setEnabled(false);
  station_->stop();
  QElapsedTimer waited;
  waited.start();
  while (station_->running() && waited.elapsed() < kCloseWaitMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    if (station_->running()) station_->waitForRuns(std::chrono::milliseconds(20));
  }
  target_->detach();
  if (station_->running()) station_->abandon();
  e->accept();
}

StationTile* StationWindow::tile(const QString& link) const {
  const auto found = tiles_.find(link);
  return found == tiles_.end() ? nullptr : found->second;
}

void StationWindow::unitTile(int unit, const std::function<void(StationTile&)>& draw) {
  const auto found = unitTiles_.find(unit);
  if (found != unitTiles_.end()) draw(*found->second);
}

// ---- What the station draws ------------------------------------------------------

void StationWindow::stationStarted(const station::StationStart& start) {
  watchingLabel_->setText(QString("Watching %1 (%2). Images: %3. A port is taken again after its logger was unplugged "
                             "and the next one plugged in. Closing this window stops every update.")
                         .arg(QString::fromStdString(start.watchDir.string()), q(start.links), q(start.imagePolicy)));
}

void StationWindow::unitStarted(const station::UnitStart& unit) {
  const QString link = q(unit.link);
  StationTile* t = tile(link);
  if (!t) {
    t = new StationTile(link, tileArea_);
    const int index = static_cast<int>(tiles_.size());
    tileGrid_->addWidget(t, index / kTileColumns, index % kTileColumns);
    tiles_[link] = t;
  }
  t->unitStarted(unit);
  unitTiles_[unit.unit] = t;
}

void StationWindow::unitNote(int unit, const std::string& text) {
  unitTile(unit, [&](StationTile& t) { t.addNote(q(text)); });
}

void StationWindow::unitStatus(int unit, const std::string& text) {
  unitTile(unit, [&](StationTile& t) { t.setState(q(text)); });
}

void StationWindow::unitLineProgress(int unit, const session::LineProgress& progress) {
  unitTile(unit, [&](StationTile& t) { t.setTimeLeft(progress.timeLeft); });
}

void StationWindow::unitProgress(int unit, int percent) {
  unitTile(unit, [&](StationTile& t) { t.setProgress(percent); });
}

void StationWindow::unitIdentified(int unit, const engine::RunSummary& summary) {
  unitTile(unit, [&](StationTile& t) { t.setSerial(summary.serialNumber); });
}

void StationWindow::unitResult(const station::UnitResult& result) {
  unitTile(result.unit, [&](StationTile& t) { t.showResult(result); });
  // Heard across the room, for every result; not for the runs a closing
  // window stops itself.
  if (!closing_) {
    ++beeps_;
    QApplication::beep();
  }
}

void StationWindow::countersChanged(const station::Counters& c) {
  passedLabel_->setText(QString("Passed: %1").arg(c.passed));
  failedLabel_->setText(QString("Failed: %1").arg(c.failed));
  totalLabel_->setText(QString("Total: %1").arg(c.total()));
  // Results that are no verdict on a logger, named once they occur.
  QStringList other;
  if (c.unplugged != 0) other << QString("Unplugged: %1").arg(c.unplugged);
  if (c.stopped != 0) other << QString("Stopped: %1").arg(c.stopped);
  if (c.busyElsewhere != 0) other << QString("Busy elsewhere: %1").arg(c.busyElsewhere);
  otherLabel_->setText(other.join("   "));
}

void StationWindow::unitGone(int unit) {
  unitTile(unit, [](StationTile& t) { t.portFreed(); });
  unitTiles_.erase(unit);
}

void StationWindow::stationStopped(const station::Counters& c) {
  QString text = QString("Station stopped: passed %1, failed %2").arg(c.passed).arg(c.failed);
  if (c.unplugged != 0) text += QString(", unplugged %1").arg(c.unplugged);
  if (c.stopped != 0) text += QString(", stopped %1").arg(c.stopped);
  text += QString(", total %1").arg(c.total());
  if (c.busyElsewhere != 0) text += QString(" (skipped, busy elsewhere: %1)").arg(c.busyElsewhere);
  stoppedLabel_->setText(text);
  stoppedLabel_->setVisible(true);
}

}  // namespace zorvik::ui
