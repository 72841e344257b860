#include "product/setup_dialogs.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace orvane {
namespace {

constexpr const char16_t* folder = u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker";
constexpr const char* folder_text = "C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker";

TEST(DialogTexts, AreExact) {
  EXPECT_EQ(install_question(folder),
            "Install Orvane Worker 0.2.3 for your user account?\r\n\r\n"
            "Publisher: Pellinor Private Limited\r\n"
            "Location: C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\r\n\r\n"
            "No administrator rights are needed.");
  EXPECT_EQ(installed_message(folder_text),
            "Orvane Worker 0.2.3 is installed in:\r\n"
            "C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\r\n\r\n"
            "Open a new terminal (PowerShell or Command Prompt) and run:\r\n\r\n"
            "  orvane-worker --help\r\n\r\n"
            "To start its web page: orvane-worker --serve");
  EXPECT_EQ(removal_question(),
            "Remove Orvane Worker from this computer?\r\n\r\n"
            "Your settings and keys (in your user folder) are kept.");
  EXPECT_EQ(removed_message(), "Orvane Worker was removed.");
  EXPECT_EQ(failure_message(SetupError{"a\r\nb"}), "Setup could not finish.\r\n\r\na\r\nb");
  EXPECT_EQ(failure_message(SetupError{""}), "Setup could not finish.\r\n\r\n");
}

TEST(DialogTexts, InstallQuestionShowsLoneSurrogateAsReplacement) {
  const std::u16string odd = std::u16string(u"C:\\") + char16_t(0xD800) + u"\\Orvane Worker";
  EXPECT_NE(install_question(odd).find("Location: C:\\\xEF\xBF\xBD\\Orvane Worker\r\n"), std::string::npos);
}

TEST(Dialogs, EveryBoxHasTheCaptionAndItsStyle) {
  testing::FakeDialogs dialogs;
  (void)ask_install(dialogs, folder);
  tell_installed(dialogs, folder_text);
  tell_failure(dialogs, SetupError{"x"});
  (void)ask_removal(dialogs);
  tell_removed(dialogs);
  const std::uint32_t styles[] = {0x24, 0x40, 0x10, 0x24, 0x40};
  ASSERT_EQ(dialogs.shown.size(), 5u);
  for (std::size_t k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(dialogs.shown[k].caption, "Orvane Worker setup");
    EXPECT_EQ(dialogs.shown[k].style, styles[k]);
  }
}

TEST(Dialogs, OnlyIdYesIsYes) {
  for (int answer : {6, 7, 0, -1, 1, 2, 3, 5, 60}) {
    SCOPED_TRACE(answer);
    testing::FakeDialogs dialogs;
    dialogs.answers = {answer, answer};
    EXPECT_EQ(ask_install(dialogs, folder), answer == 6);
    EXPECT_EQ(ask_removal(dialogs), answer == 6);
  }
}

}  // namespace
}  // namespace orvane
