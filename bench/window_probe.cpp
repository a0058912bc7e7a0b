// Preloaded into the desktop updater (LD_PRELOAD) so that the benchmarks can
// see its window without any hook in the program itself. It hooks in when the
// QApplication is constructed and watches the events of the program:
//
//   ZORVIK_PROBE=quit         print "zorvik-probe: main window exposed" when
//                             the main window is first exposed, then quit.
//   ZORVIK_PROBE=update:PORT  after that, type PORT into the port box, press
//                             "Update", answer "Yes" to the confirmation and
//                             quit when the message window shows the
//                             result (exit status 0 only for a success).
//
// Lines go straight to file descriptor 1 so no buffering delays them.
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include "session/widget_roles.h"

namespace {

namespace roles = zorvik::session::roles;

void say(const QByteArray& line) {
  const QByteArray text = "zorvik-probe: " + line + "\n";
  qsizetype done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(1, text.constData() + done, static_cast<size_t>(text.size() - done));
    if (n <= 0) return;
    done += n;
  }
}

QWidget* topLevelNamed(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == QLatin1String(name)) return w;
  }
  return nullptr;
}

class Probe final : public QObject {
 public:
  explicit Probe(QByteArray request) : QObject(QCoreApplication::instance()), request_(std::move(request)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && !exposed_) onExpose(watched);
    if (event->type() == QEvent::Show) onShow(watched);
    return false;
  }

 private:
  void onExpose(QObject* watched) {
    auto* window = qobject_cast<QWindow*>(watched);
    QWidget* main = topLevelNamed(roles::kMainWindow);
    if (window == nullptr || !window->isExposed() || main == nullptr || main->windowHandle() != window) return;
    exposed_ = true;
    say("main window exposed");
    if (request_.startsWith("update:")) {
      const QString port = QString::fromLocal8Bit(request_.mid(7));
      QTimer::singleShot(0, main, [main, port] { startUpdate(main, port); });
    } else {
      QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    }
  }

  static void startUpdate(QWidget* main, const QString& port) {
    auto* box = main->findChild<QComboBox*>(roles::kPortBox);
    auto* button = main->findChild<QPushButton*>(roles::kUpdateButton);
    if (box == nullptr || button == nullptr) {
      say("no port box or update button");
      QCoreApplication::exit(3);
      return;
    }
    box->setEditText(port);
    button->click();
  }

  void onShow(QObject* watched) {
    if (auto* question = qobject_cast<QMessageBox*>(watched)) {
      // Answered once its own event loop runs.
      QTimer::singleShot(0, question, [question] {
        for (QAbstractButton* b : question->buttons()) {
          if (b->text() == QLatin1String("Yes")) b->click();
        }
      });
      return;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->objectName() != QLatin1String(roles::kMessageWindow) || finished_) return;
    finished_ = true;
    QWidget* messageText = widget->findChild<QWidget*>(roles::kMessageText);
    const QString text = messageText != nullptr ? messageText->property("plainText").toString().simplified() : QString();
    say("message " + text.toLocal8Bit());
    const int status = text.contains(QLatin1String("completed")) ? 0 : 4;
    QTimer::singleShot(0, QCoreApplication::instance(), [status] { QCoreApplication::exit(status); });
  }

  QByteArray request_;
  bool exposed_ = false;
  bool finished_ = false;
};

void installProbe() {
  const QByteArray request = qgetenv("ZORVIK_PROBE");
  if (request.isEmpty()) return;
  QCoreApplication::instance()->installEventFilter(new Probe(request));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
