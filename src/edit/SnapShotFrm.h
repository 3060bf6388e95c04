#pragma once
// The snapshot options: folder, picture format and naming of the saved pictures.
#include <QDialog>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TSnapShotForm : public QDialog {
  Q_OBJECT
public:
  // Shows the settings of IniOptions; closing with OK stores the choices there.
  explicit TSnapShotForm(QWidget *parent = nullptr);

  // Controls. Their objectName is their field name.
  QLabel *lblSnapShotFolder = nullptr, *lblSnapShotFormat = nullptr, *lblSnapShotName = nullptr;
  QLineEdit *edtSnapShotFolder = nullptr;
  QAction *actBrowseSnapShotFolder = nullptr;
  QComboBox *cbbSnapShotFormat = nullptr;
  QRadioButton *rbFileName = nullptr, *rbTime = nullptr;
  QPushButton *btnOK = nullptr, *btnCancel = nullptr;

  void done(int result) override;

private:
  void LayOut();
  void edtSnapShotFolderButtonClick();
};
