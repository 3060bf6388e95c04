#include "edit/SnapShotFrm.h"

#include "edit/FormControls.h"
#include "edit/SnapShot.h"
#include "platform/Dialogs.h"
#include "platform/qt/QtWindowSize.h"
#include "profiles/tvlIniUnt.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

TSnapShotForm::TSnapShotForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("SnapShotForm");
  setWindowTitle("SnapShot Options");

  lblSnapShotFolder = Named(new QLabel("SnapShot Folder:", this), "lblSnapShotFolder");
  edtSnapShotFolder = Named(new QLineEdit(this), "edtSnapShotFolder");
  // The folder dialog is the way to change the folder, as in the main window.
  edtSnapShotFolder->setReadOnly(true);
  actBrowseSnapShotFolder = edtSnapShotFolder->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                                         QLineEdit::TrailingPosition);
  actBrowseSnapShotFolder->setObjectName("actBrowseSnapShotFolder");
  connect(actBrowseSnapShotFolder, &QAction::triggered, this, &TSnapShotForm::edtSnapShotFolderButtonClick);

  lblSnapShotFormat = Named(new QLabel("SnapShot Format:", this), "lblSnapShotFormat");
  cbbSnapShotFormat = Named(new QComboBox(this), "cbbSnapShotFormat");
  cbbSnapShotFormat->addItems({"JPEG Image File(*.jpg)", "BMP File(*.bmp)"});

  lblSnapShotName = Named(new QLabel("SnapShot Name:", this), "lblSnapShotName");
  rbFileName = Named(new QRadioButton("Same to file name", this), "rbFileName");
  rbTime = Named(new QRadioButton("According to snapshot time", this), "rbTime");
  rbFileName->setChecked(true);

  btnOK = Named(new QPushButton("&OK", this), "btnOK");
  btnOK->setDefault(true);
  btnCancel = Named(new QPushButton("&Cancel", this), "btnCancel");
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  LayOut();

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

// The choices beside their captions; the fields take what the window gains in width.
void TSnapShotForm::LayOut() {
  for (QWidget *field : std::initializer_list<QWidget *>{edtSnapShotFolder, cbbSnapShotFormat, rbFileName, rbTime})
    field->setMinimumSize(256, 24);
  for (QPushButton *button : {btnOK, btnCancel})
    button->setMinimumSize(84, 28);
  auto *grid = new QGridLayout;
  grid->setHorizontalSpacing(0);
  grid->setVerticalSpacing(10);
  grid->setColumnMinimumWidth(0, 120);
  grid->setColumnStretch(1, 1);
  grid->addWidget(lblSnapShotFolder, 0, 0);
  grid->addWidget(edtSnapShotFolder, 0, 1);
  grid->addWidget(lblSnapShotFormat, 1, 0);
  grid->addWidget(cbbSnapShotFormat, 1, 1);
  grid->addWidget(lblSnapShotName, 2, 0);
  grid->addWidget(rbFileName, 2, 1);
  grid->addWidget(rbTime, 3, 1);
  grid->setRowMinimumHeight(3, 24);
  auto *buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 14, 12, 12);
  layout->addLayout(grid);
  layout->addStretch();
  layout->addLayout(buttons);
  platform::FitWindowSize(*this, QSize(400, 190));
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
