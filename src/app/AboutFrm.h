#pragma once
// The about box: product name, version, picture and the two web links.
#include <QDialog>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
  Q_OBJECT
public:
  explicit TAboutBox(QWidget *parent = nullptr);

  // Controls. Their objectName is their field name.
  QLabel *imgAbout = nullptr;
  QLabel *lblProductName = nullptr, *lblVersion = nullptr;
  QLabel *lblProductPage = nullptr, *lblHomePage = nullptr;
  QPushButton *btnClose = nullptr;
};
