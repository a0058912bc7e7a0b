#include "tests/ui/ui_fixture.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

#include "engine/service_mode_setting.h"
#include "link/sleeper.h"
#include "ui/firmware_overview.h"
#include "ui/history_dialog.h"
#include "ui/message_window.h"
#include "ui/report_window.h"

namespace zorvik::testing {
namespace {

// The per-user settings file, under the scratch XDG_CONFIG_HOME of ui_test_main.
QString settingsFile() { return QString::fromStdString(engine::serviceModeSettingLocation()); }

QPushButton* buttonWithText(QWidget* dialog, const QString& text) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

}  // namespace

ModalPilot::ModalPilot() {
  connect(&timer_, &QTimer::timeout, this, [this] { look(); });
  timer_.start(10);
}

void ModalPilot::look() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || !modal->isVisible()) return;
  if (auto* message = dynamic_cast<ui::MessageWindow*>(modal)) {
    const auto inWindow = [message](const QWidget* w) { return QRect(w->mapTo(message, QPoint(0, 0)), w->size()); };
    const auto* icon = message->findChild<QLabel*>(roles::kMessageIcon);
    const auto* ok = message->findChild<QPushButton*>(roles::kOkButton);
    const auto* text = message->findChild<QWidget*>(roles::kMessageText);
    messages.push_back({message->text(), message->frameGeometry(), message->parentWidget()->frameGeometry(),
                        message->icon() == session::MessageIcon::Warning,
                        icon && icon->isVisible() && !icon->pixmap().isNull(), icon ? inWindow(icon) : QRect(),
                        text ? inWindow(text) : QRect(), ok ? inWindow(ok) : QRect(), message->width()});
    if (duringMessage) duringMessage();
    message->findChild<QPushButton*>(roles::kOkButton)->click();
  } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    SeenQuestion seen{box->windowTitle(), box->text(), {}, box->icon() == QMessageBox::Question, box->informativeText()};
    for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
    questions.push_back(seen);
    QString answer = "No";
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    if (QPushButton* b = buttonWithText(box, answer)) b->click();
    else box->reject();
  } else if (auto* files_ = qobject_cast<QFileDialog*>(modal)) {
    ++fileDialogs;
    if (files.empty()) {
      files_->reject();
      return;
    }
    files_->selectFile(files.front());
    // A file the dialog's model has not seen yet is taken as typed.
    if (files_->selectedFiles().isEmpty()) {
      if (auto* typed = files_->findChild<QLineEdit*>("fileNameEdit")) typed->setText(files.front());
    }
    files.pop_front();
    QMetaObject::invokeMethod(files_, "accept");
  } else if (auto* history = dynamic_cast<ui::HistoryDialog*>(modal)) {
    SeenHistory seen;
    QTreeWidget* list = history->list();
    for (int c = 0; c < list->columnCount(); ++c) seen.headings << list->headerItem()->text(c);
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QStringList row;
      for (int c = 0; c < list->columnCount(); ++c) row << list->topLevelItem(i)->text(c);
      seen.rows.push_back(row);
    }
    if (history->problem()->isVisible()) seen.problem = history->problem()->text();
    histories.push_back(seen);
    history->findChild<QPushButton*>(roles::kOkButton)->click();
  } else if (auto* info = dynamic_cast<ui::FirmwareOverview*>(modal)) {
    SeenOverview seen;
    QTreeWidget* list = info->list();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QStringList row;
      for (int c = 0; c < list->columnCount(); ++c) row << list->topLevelItem(i)->text(c);
      seen.rows.push_back(row);
    }
    for (int c = 0; c < list->columnCount(); ++c) {
      seen.headers << list->headerItem()->text(c);
      seen.columnWidths.push_back(list->columnWidth(c));
    }
    seen.clientWidth = info->width();
    seen.viewportWidth = list->viewport()->width();
    seen.frame = info->frameGeometry();
    seen.okHasFocus = info->focusWidget() == info->findChild<QPushButton*>(roles::kOkButton);
    overviews.push_back(seen);
    info->findChild<QPushButton*>(roles::kOkButton)->click();
  }
}

void UiTest::SetUp() {
  ASSERT_TRUE(scratch.isValid());
  ASSERT_TRUE(QDir().mkpath(watchDir()));
  traceDirectory = QFile::encodeName(scratch.filePath("traces")).toStdString();
  clearInternalSetting();
  pilot = std::make_unique<ModalPilot>();
}

void UiTest::TearDown() {
  // Closing the window cancels whatever is still running; the run stops at
  // its next exchange and frees the port before the window is gone.
  window.reset();
  pilot.reset();
  if (logger) logger->stop();
  logger.reset();
  clearInternalSetting();
}

void UiTest::setInternalSetting(const QString& value) {
  QDir().mkpath(QFileInfo(settingsFile()).path());
  QFile file(settingsFile());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(QString("[General]\nintern=%1\n").arg(value).toUtf8());
}

void UiTest::clearInternalSetting() { QFile::remove(settingsFile()); }

ui::MainWindow& UiTest::open(const QStringList& switches, std::vector<std::string> ports,
                             const QString& historyPath) {
  window.reset();
  ui::MainWindowEnvironment environment;
  environment.sleeper = std::make_shared<link::NoPauses>();
  environment.readPorts = [ports] { return ports; };
  environment.watchDevices = false;
  environment.historyPath = QFile::encodeName(historyPath.isEmpty() ? historyFile() : historyPath).toStdString();
  environment.stationWatchDir = QFile::encodeName(watchDir()).toStdString();
  environment.traceDirectory = traceDirectory;
  environment.clock = clock;
  window = std::make_unique<ui::MainWindow>(QStringList{"zorvik-updater"} + switches, environment);
  window->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  QTest::qWait(20);  // the first idle moment
  return *window;
}

void UiTest::startLogger(const sim::LoggerConfig& config) {
  logger = std::make_unique<sim::SimulatedLogger>(config);
  if (!logger->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
}

void UiTest::click(const char* name) {
  QAbstractButton* button = child<QAbstractButton>(name);
  if (button) QTest::mouseClick(button, Qt::LeftButton);
}

bool UiTest::waitFor(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!condition()) {
    if (elapsed.elapsed() > timeoutMs) return false;
    QTest::qWait(10);
  }
  return true;
}

bool UiTest::waitForIdle(int timeoutMs) {
  return waitFor([this] { return !window->running() && !window->askingLogger(); }, timeoutMs);
}

QStringList UiTest::reportTexts() const {
  QStringList texts;
  for (const QString& line : window->reportWindow()->lines()) texts << line.section(" -> ", 1);
  return texts;
}

}  // namespace zorvik::testing
