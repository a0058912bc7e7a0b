#include "tools/screenshot_tour/screenshot_tour.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "session/widget_roles.h"
#include "ui/firmware_overview.h"
#include "ui/main_window.h"
#include "ui/message_window.h"
#include "ui/report_window.h"
#include "ui/station_window.h"

namespace zorvik::tour {

namespace roles = session::roles;

namespace {

// The screen around a window, as a person would see it; the window's own
// picture where no screen can be read (the offscreen platform).
QPixmap screenAround(QWidget& window, QRect area) {
  area.adjust(-8, -8, 8, 8);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (QGuiApplication::platformName() == "xcb" && screen) {
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  }
  return window.grab();
}

QString takeValue(QStringList& arguments, const QString& option) {
  const qsizetype i = arguments.indexOf(option);
  if (i < 0 || i + 1 >= arguments.size()) return {};
  const QString value = arguments[i + 1];
  arguments.remove(i, 2);
  return value;
}

// Steps through the stages on a timer, so that it also runs inside the
// modal loops of the dialogs it waits for.
class Tour : public QObject {
 public:
  Tour(ui::MainWindow& window, TourRequest request) : QObject(&window), window_(window), request_(std::move(request)) {
    QDir().mkpath(request_.directory);
    connect(&timer_, &QTimer::timeout, this, [this] { step(); });
    timer_.start(100);
  }

 private:
  enum class Stage { Settle, Idle, Confirm, Running, Success, Overview, Done };

  void step() {
    ++ticks_;
    switch (stage_) {
      case Stage::Settle:
        if (ticks_ < 10) return;
        if (!request_.port.isEmpty()) window_.findChild<QComboBox*>(roles::kPortBox)->setEditText(request_.port);
        stage_ = Stage::Idle;
        return;
      case Stage::Idle:
        save("idle");
        stage_ = Stage::Confirm;
        // In normal mode the logger is asked who it is first; the question follows.
        window_.findChild<QPushButton*>(roles::kUpdateButton)->click();
        return;
      case Stage::Confirm:
        // Normal mode asks first; answered from inside the question's own loop.
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          save("confirm");
          for (QAbstractButton* b : box->buttons())
            if (b->text() == "Yes") b->click();
          return;
        }
        if (window_.running()) stage_ = Stage::Running;
        return;
      case Stage::Running:
        if (window_.findChild<QProgressBar*>(roles::kProgressBar)->value() >= 40) {
          save("running");
          stage_ = Stage::Success;
        }
        return;
      case Stage::Success:
        if (window_.messageWindow()->isVisible()) {
          ticks_ = 0;
          stage_ = Stage::Overview;
        }
        return;
      case Stage::Overview:
        if (ticks_ == 5) {
          save("success");
          window_.messageWindow()->findChild<QPushButton*>(roles::kOkButton)->click();
          QTimer::singleShot(300, &window_, [this] { window_.findChild<QAction*>(roles::kFirmwareAction)->trigger(); });
        }
        if (ticks_ > 5 && window_.overview()->isVisible() && ticks_ > 12) {
          save("overview");
          window_.overview()->accept();
          stage_ = Stage::Done;
          QTimer::singleShot(300, qApp, &QCoreApplication::quit);
        }
        return;
      case Stage::Done:
        return;
    }
  }

  // The screen around the program's windows, as a person would see it.
  void save(const QString& name) {
    QRect area = window_.frameGeometry();
    for (QWidget* w : {static_cast<QWidget*>(window_.reportWindow()), static_cast<QWidget*>(window_.messageWindow()),
                       static_cast<QWidget*>(window_.overview())}) {
      if (w->isVisible()) area = area.united(w->frameGeometry());
    }
    screenAround(window_, area).save(QDir(request_.directory).filePath(name + ".png"));
  }

  ui::MainWindow& window_;
  TourRequest request_;
  QTimer timer_;
  Stage stage_ = Stage::Settle;
  int ticks_ = 0;
};

// Waits for the picture the README needs: at least one PASS and one
// UNPLUGGED tile and an update under way beside them; a station that never
// gets there is saved as it is after two minutes, so the script always ends.
class StationShot : public QObject {
 public:
  StationShot(ui::StationWindow& station, TourRequest request)
      : QObject(&station), station_(station), request_(std::move(request)) {
    QDir().mkpath(request_.directory);
    connect(&timer_, &QTimer::timeout, this, [this] { step(); });
    timer_.start(100);
  }

 private:
  static constexpr int kGiveUpTicks = 1200;

  void step() {
    ++ticks_;
    int pass = 0;
    int unplugged = 0;
    bool underWay = false;
    for (const ui::StationTile* tile : station_.findChildren<ui::StationTile*>()) {
      const QString result = tile->findChild<QLabel*>(roles::station::kResultLabel)->text();
      pass += result == "PASS" ? 1 : 0;
      unplugged += result == "UNPLUGGED" ? 1 : 0;
      const int percent = tile->findChild<QProgressBar*>(roles::station::kProgressBar)->value();
      underWay = underWay || (result.isEmpty() && percent >= 30);
    }
    if ((pass < 1 || unplugged < 1 || !underWay) && ticks_ < kGiveUpTicks) return;
    timer_.stop();
    // The view itself, not the screen around it: it fills the screen, and
    // whatever else is open there would stand in the picture.
    station_.grab().save(QDir(request_.directory).filePath("station.png"));
    // Closing while an update runs asks first; the tour says "Yes" from
    // inside the question's own loop.
    connect(&answer_, &QTimer::timeout, this, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        for (QAbstractButton* b : box->buttons())
          if (b->text() == "Yes") b->click();
      }
    });
    answer_.start(100);
    QTimer::singleShot(100, &station_, [this] { station_.close(); });
  }

  ui::StationWindow& station_;
  TourRequest request_;
  QTimer timer_;
  QTimer answer_;
  int ticks_ = 0;
};

}  // namespace

TourRequest takeTourArguments(QStringList& arguments) {
  TourRequest request;
  request.directory = takeValue(arguments, "--screenshot-dir");
  request.port = takeValue(arguments, "--screenshot-port");
  return request;
}

void startScreenshotTour(ui::MainWindow& window, const TourRequest& request) { new Tour(window, request); }

void startStationScreenshot(ui::StationWindow& station, const TourRequest& request) {
  new StationShot(station, request);
}

}  // namespace zorvik::tour
