#include "platform/DesktopEntry.h"

#include <gtest/gtest.h>

TEST(DesktopEntryTest, ReadsTheFirstDesktopEntryGroupOnly)
{
    const auto entry = DesktopEntry::parse("# Icon=commented\n[Other]\nIcon=other\n"
                                           "[Desktop Entry]\nName = Text\\sEditor \nIcon=gedit\nIcon=second\n"
                                           "Name[de]=Texteditor\nnot a pair\n=no key\n"
                                           "[Desktop Action new]\nIcon=action\n"
                                           "[Desktop Entry]\nExec=later\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->value("Name"), "Text Editor");
    EXPECT_EQ(entry->rawValue("Name"), "Text\\sEditor");
    EXPECT_EQ(entry->value("Icon"), "gedit"); // a repeated key keeps its first value
    EXPECT_EQ(entry->value("Name[de]"), "Texteditor");
    EXPECT_FALSE(entry->contains("Exec"));
    EXPECT_FALSE(entry->contains(""));

    EXPECT_FALSE(DesktopEntry::parse("[Other]\nName=A\n"));
    EXPECT_FALSE(DesktopEntry::parse(QByteArray("\0\xff\xfe[", 4)));
    EXPECT_TRUE(DesktopEntry::parse("[Desktop Entry]\n"));
    EXPECT_EQ(DesktopEntry::unescape("a\\tb\\\\c\\x\\"), "a\tb\\c\\x\\");
}
