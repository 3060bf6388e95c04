#include "app/AboutFrm.h"

#include "app/PanelKit.h"
#include "platform/ExeFolder.h"
#include "platform/Version.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

namespace {

// The product's page is the help installed beside the program: it describes this very copy and opens
// without a network. The home page is the maker's site.
constexpr const char *ProductPage = "help/welcome.htm";
constexpr const char *HomePage = "https://tavrelle.org/";

// A label that runs OnClick when clicked; as a link it is underlined while the mouse is over it.
class TClickLabel : public QLabel {
public:
  TClickLabel(const QString &text, QWidget *parent, bool link) : QLabel(text, parent), FLink(link) {
    if (link)
      setCursor(Qt::PointingHandCursor);
  }
  std::function<void()> OnClick;

protected:
  void mouseReleaseEvent(QMouseEvent *event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
      OnClick();
  }
  void enterEvent(QEnterEvent *) override { Underline(true); }
  void leaveEvent(QEvent *) override { Underline(false); }

private:
  void Underline(bool on) {
    if (!FLink)
      return;
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
  }
  bool FLink;
};

TClickLabel *Link(QWidget *parent, const char *name, const QString &caption, std::string target) {
  auto *label = new TClickLabel(caption, parent, true);
  label->setObjectName(name);
  label->setToolTip(QString::fromStdString(target));
  label->OnClick = [target = std::move(target)] { panels::OpenOrSay(target); };
  return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About");

  auto *picture = new TClickLabel(QString(), this, false);
  picture->setObjectName("imgAbout");
  picture->OnClick = [this] { reject(); };
  imgAbout = picture;
  const QString picturePath = QString::fromStdString(platform::ExeFolder()) + "VideoRes/AboutImage.png";
  if (QFile::exists(picturePath))
    imgAbout->setPixmap(QPixmap(picturePath));
  else
    imgAbout->hide();

  lblProductName = new QLabel("Tavrelle Video Converter", this);
  lblProductName->setObjectName("lblProductName");
  QFont bold = lblProductName->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  lblProductName->setFont(bold);
  lblVersion = new QLabel(
      QString("Product Version: %1").arg(QString::fromStdString(platform::ProgramVersion())), this);
  lblVersion->setObjectName("lblVersion");
  lblProductPage =
      Link(this, "lblProductPage", "Tavrelle Video Converter help", platform::ExeFolder() + ProductPage);
  lblHomePage = Link(this, "lblHomePage", "Tavrelle home page", HomePage);

  btnClose = new QPushButton("Close", this);
  btnClose->setObjectName("btnClose");
  btnClose->setDefault(true);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

  auto *text = new QVBoxLayout;
  text->setContentsMargins(16, 8, 16, 0);
  for (auto *label : {lblProductName, lblVersion, lblProductPage, lblHomePage})
    text->addWidget(label);
  auto *buttons = new QHBoxLayout;
  buttons->setContentsMargins(16, 0, 16, 0);
  buttons->addStretch();
  buttons->addWidget(btnClose);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 12);
  layout->addWidget(imgAbout);
  layout->addLayout(text);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
