#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

namespace platform {
namespace {

QMessageBox::Icon ToQt(TMsgIcon icon) {
  switch (icon) {
  case TMsgIcon::Warning:
    return QMessageBox::Warning;
  case TMsgIcon::Error:
    return QMessageBox::Critical;
  case TMsgIcon::Question:
    return QMessageBox::Question;
  default:
    return QMessageBox::Information;
  }
}

QMessageBox::StandardButtons ToQt(TMsgButtons buttons) {
  switch (buttons) {
  case TMsgButtons::OkCancel:
    return QMessageBox::Ok | QMessageBox::Cancel;
  case TMsgButtons::YesNo:
    return QMessageBox::Yes | QMessageBox::No;
  case TMsgButtons::YesNoCancel:
    return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  default:
    return QMessageBox::Ok;
  }
}

} // namespace

TMsgResult TQtDialogs::MessageBox(const std::string &text, const std::string &caption, TMsgIcon icon,
                                  TMsgButtons buttons) {
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text), ToQt(buttons),
                  QApplication::activeWindow());
  switch (box.exec()) {
  case QMessageBox::Ok:
    return TMsgResult::Ok;
  case QMessageBox::Yes:
    return TMsgResult::Yes;
  case QMessageBox::No:
    return TMsgResult::No;
  default:
    return TMsgResult::Cancel;
  }
}

std::vector<std::string> TQtDialogs::OpenFiles(const TOpenFileRequest &request) {
  QStringList filters;
  for (const auto &f : request.Filters)
    filters << QString::fromStdString(FilterText(f));
  QString chosenFilter = request.FilterIndex >= 0 && request.FilterIndex < filters.size()
                             ? filters[request.FilterIndex]
                             : QString();
  QStringList files;
  const auto title = QString::fromStdString(request.Title);
  const auto folder = QString::fromStdString(request.InitialFolder);
  // The dialog names each filter by its caption and examples, not by its long pattern list.
  const auto options = QFileDialog::HideNameFilterDetails;
  if (request.Multiple)
    files = QFileDialog::getOpenFileNames(QApplication::activeWindow(), title, folder, filters.join(";;"),
                                          &chosenFilter, options);
  else if (auto one = QFileDialog::getOpenFileName(QApplication::activeWindow(), title, folder,
                                                   filters.join(";;"), &chosenFilter, options);
           !one.isEmpty())
    files << one;
  std::vector<std::string> result;
  for (const auto &f : files)
    result.push_back(f.toStdString());
  return result;
}

std::string TQtDialogs::SelectFolder(const std::string &title, const std::string &initialFolder) {
  return QFileDialog::getExistingDirectory(QApplication::activeWindow(), QString::fromStdString(title),
                                           QString::fromStdString(initialFolder))
      .toStdString();
}

bool TQtDialogs::Countdown(const std::function<std::string(int)> &text, int seconds) {
  QMessageBox box(QMessageBox::Warning, ApplicationTitle, QString::fromStdString(text(seconds)),
                  QMessageBox::Cancel, QApplication::activeWindow());
  int left = seconds;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, &box, [&] {
    if (--left <= 0)
      box.done(QMessageBox::Ok);
    else
      box.setText(QString::fromStdString(text(left)));
  });
  tick.start(1000);
  return box.exec() == QMessageBox::Ok;
}

} // namespace platform
