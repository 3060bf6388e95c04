#include "app/AboutFrm.h"

#include "AppFixture.h"
#include "platform/Version.h"

#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

using AboutBox = TAppFixture;

TEST_F(AboutBox, ShowsTheProgramVersionAndTheAboutPicture) {
  ASSERT_TRUE(HasPictures());
  TAboutBox box;
  EXPECT_EQ(box.lblVersion->text().toStdString(), "Product Version: " + platform::ProgramVersion());
  EXPECT_FALSE(box.imgAbout->pixmap().isNull());
  EXPECT_FALSE(box.imgAbout->isHidden());
}

TEST_F(AboutBox, WithoutThePictureTheBoxStillOpens) {
  std::filesystem::remove(Install.Path() / "VideoRes");
  TAboutBox box;
  EXPECT_TRUE(box.imgAbout->isHidden());
  EXPECT_FALSE(box.lblVersion->text().isEmpty());
}

TEST_F(AboutBox, LinksOpenThroughTheShellAndAreUnderlinedWhileHovered) {
  TAboutBox box;
  box.show();
  QTest::mouseClick(box.lblProductPage, Qt::LeftButton);
  QTest::mouseClick(box.lblHomePage, Qt::LeftButton);
  ASSERT_EQ(Shell->Opened.size(), 2u);
  // Each opens what its text says: the installed help, the maker's site.
  EXPECT_EQ(Shell->Opened, (std::vector<std::string>{Install.Folder() + "help/welcome.htm", "https://tavrelle.org/"}));
  EXPECT_TRUE(Dialogs->Messages().empty());
  // Without a browser the click is not lost in silence.
  Shell->Missing = true;
  QTest::mouseClick(box.lblHomePage, Qt::LeftButton);
  ASSERT_EQ(Dialogs->Messages().size(), 1u);
  EXPECT_EQ(Dialogs->Messages()[0].Text,
            "\"https://tavrelle.org/\" could not be opened: no program to open it was found.");
  EXPECT_EQ(Dialogs->Messages()[0].Icon, platform::TMsgIcon::Warning);

  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(box.lblHomePage, &enter);
  EXPECT_TRUE(box.lblHomePage->font().underline());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(box.lblHomePage, &leave);
  EXPECT_FALSE(box.lblHomePage->font().underline());
}

TEST_F(AboutBox, ThePictureEscAndTheCloseButtonCloseTheBox) {
  TAboutBox box;
  box.show();
  QTest::mouseClick(box.imgAbout, Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());

  box.show();
  QTest::keyClick(&box, Qt::Key_Escape);
  EXPECT_FALSE(box.isVisible());

  box.show();
  QTest::mouseClick(box.btnClose, Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);
  EXPECT_TRUE(Shell->Opened.empty());
}

} // namespace
