#include "edit/SnapShotFrm.h"

#include "edit/FormControls.h"
#include "edit/SnapShot.h"
#include "platform/Dialogs.h"
#include "profiles/tvlIniUnt.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyle>

TSnapShotForm::TSnapShotForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("SnapShotForm");
  setWindowTitle("SnapShot Options");
  setFixedSize(400, 190);

  lblSnapShotFolder = Place(new QLabel("SnapShot Folder:", this), "lblSnapShotFolder", QRect(12, 14, 120, 24));
  edtSnapShotFolder = Place(new QLineEdit(this), "edtSnapShotFolder", QRect(132, 14, 256, 24));
  // The folder dialog is the way to change the folder, as in the main window.
  edtSnapShotFolder->setReadOnly(true);
  actBrowseSnapShotFolder = edtSnapShotFolder->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                                         QLineEdit::TrailingPosition);
  actBrowseSnapShotFolder->setObjectName("actBrowseSnapShotFolder");
  connect(actBrowseSnapShotFolder, &QAction::triggered, this, &TSnapShotForm::edtSnapShotFolderButtonClick);

  lblSnapShotFormat = Place(new QLabel("SnapShot Format:", this), "lblSnapShotFormat", QRect(12, 48, 120, 24));
  cbbSnapShotFormat = Place(new QComboBox(this), "cbbSnapShotFormat", QRect(132, 48, 256, 24));
  cbbSnapShotFormat->addItems({"JPEG Image File(*.jpg)", "BMP File(*.bmp)"});

  lblSnapShotName = Place(new QLabel("SnapShot Name:", this), "lblSnapShotName", QRect(12, 82, 120, 24));
  rbFileName = Place(new QRadioButton("Same to file name", this), "rbFileName", QRect(132, 82, 256, 24));
  rbTime = Place(new QRadioButton("According to snapshot time", this), "rbTime", QRect(132, 108, 256, 24));
  rbFileName->setChecked(true);

  btnOK = Place(new QPushButton("&OK", this), "btnOK", QRect(212, 150, 84, 28));
  btnOK->setDefault(true);
  btnCancel = Place(new QPushButton("&Cancel", this), "btnCancel", QRect(304, 150, 84, 28));
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  // A format the list does not hold, from an edited settings file, shows no item.
  cbbSnapShotFormat->setCurrentIndex(IniOptions.SnapShotFormat < cbbSnapShotFormat->count()
                                         ? IniOptions.SnapShotFormat
                                         : -1);
  edtSnapShotFolder->setText(QString::fromStdString(IniOptions.SnapShotFolder));
  if (IniOptions.SnapShotName == snFileName)
    rbFileName->setChecked(true);
  else if (IniOptions.SnapShotName == snTime)
    rbTime->setChecked(true);
}

void TSnapShotForm::done(int result) {
  if (result == QDialog::Accepted) {
    // No item chosen keeps the stored format.
    if (cbbSnapShotFormat->currentIndex() >= 0)
      IniOptions.SnapShotFormat = cbbSnapShotFormat->currentIndex();
    IniOptions.SnapShotFolder = edtSnapShotFolder->text().toStdString();
    IniOptions.SnapShotName = rbFileName->isChecked() ? snFileName : snTime;
  }
  QDialog::done(result);
}

void TSnapShotForm::edtSnapShotFolderButtonClick() {
  const QString start = edtSnapShotFolder->text().isEmpty()
                            ? QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
                            : edtSnapShotFolder->text();
  const std::string folder = platform::Dialogs().SelectFolder("SnapShot Folder", start.toStdString());
  if (!folder.empty())
    edtSnapShotFolder->setText(QString::fromStdString(folder));
}
