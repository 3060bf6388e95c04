#pragma once
// "Fit to size" for one file: a caption and a list of common sizes in MB (mail and chat limits),
// in which another size may be typed; "None" leaves the profile's bit rates or quality in charge.
#include <QWidget>

#include <cstdint>

class QComboBox;

class TTargetSizeBox : public QWidget {
  Q_OBJECT
public:
  explicit TTargetSizeBox(QWidget *parent = nullptr);

  // The target in bytes (decimal MB); 0 for "None" or a text that is no positive number.
  int64_t Bytes() const;
  void SetBytes(int64_t bytes);

  QComboBox *cbbTargetSize = nullptr;
};
