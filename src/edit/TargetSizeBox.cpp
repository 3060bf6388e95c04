#include "edit/TargetSizeBox.h"

#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr double BytesPerMB = 1e6;

} // namespace

TTargetSizeBox::TTargetSizeBox(QWidget *parent) : QWidget(parent) {
  auto *caption = new QLabel("Target size (MB)", this);
  caption->setObjectName("lblTargetSize");
  cbbTargetSize = new QComboBox(this);
  cbbTargetSize->setObjectName("cbbTargetSize");
  cbbTargetSize->setEditable(true);
  cbbTargetSize->addItems({"None", "8", "10", "25", "50", "100"});
  cbbTargetSize->setToolTip("The converted file is made to fit this size");
  caption->setBuddy(cbbTargetSize);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(caption);
  layout->addWidget(cbbTargetSize);
}

int64_t TTargetSizeBox::Bytes() const {
  bool ok = false;
  const double megabytes = cbbTargetSize->currentText().trimmed().toDouble(&ok);
  return ok && megabytes > 0 && megabytes < 1e9 ? static_cast<int64_t>(megabytes * BytesPerMB) : 0;
}

void TTargetSizeBox::SetBytes(int64_t bytes) {
  cbbTargetSize->setCurrentText(bytes > 0 ? QString::number(static_cast<double>(bytes) / BytesPerMB) : "None");
}
