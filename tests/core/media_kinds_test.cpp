// The media kinds are found by the last extension of the name part in any
// ASCII case, and nothing else is taken for one.
#include "core/media_kinds.h"

#include <gtest/gtest.h>

using namespace media_kinds;

TEST(MediaKinds, FoundByTheLastExtensionOfTheNameInAnyCase)
{
    EXPECT_EQ(browserMask(), "*.mid;*.rmi;*.wav;*.avi;*.wa~;*.bun;*.kar");
    ASSERT_NE(kindOf("/m/Song.MiD"), nullptr);
    EXPECT_TRUE(kindOf("/m/Song.MiD")->pauseAfter);
    EXPECT_TRUE(kindOf("/m/x.BUN")->waveOnly);
    EXPECT_EQ(kindOf("/m/x.BUN")->editor, Editor::Midi);
    EXPECT_EQ(kindOf("/m/x.wa~")->box, AssociationBox::Wave);
    EXPECT_EQ(kindOf("/m/x.mid.txt"), nullptr);
    EXPECT_EQ(kindOf("/m.mid/readme"), nullptr) << "a dot in a folder name is no extension";
    EXPECT_EQ(kindOf("/m/mid"), nullptr);
    EXPECT_EQ(kindOf(QString::fromUtf8("/m/x.m\u0130d")), nullptr) << "only ASCII letters fold";
    EXPECT_EQ(kindOfExtension(".AVI"), kindOf("a.avi"));
    EXPECT_EQ(kindOfExtension(".b.mid"), nullptr) << "a drop of a.b.mid names the extension b.mid";
}

// Singers keep folders of karaoke songs: the list shows them, the advance
// rests after them as after any song, and the MIDI box associates them.
TEST(MediaKinds, KaraokeSongsAreListedSongsInAnyCase)
{
    for (const char* name : {"/k/a.kar", "/k/b.KAR", "/k/c.Kar"}) {
        const Kind* kind = kindOf(name);
        ASSERT_NE(kind, nullptr) << name;
        EXPECT_TRUE(kind->listed) << name;
        EXPECT_TRUE(kind->pauseAfter) << name;
        EXPECT_EQ(resolvedDevice(mci::DeviceType::AutoSelect, name), mci::DeviceType::Sequencer) << name;
        EXPECT_EQ(kind->editor, Editor::Midi) << name;
        EXPECT_EQ(kind->box, AssociationBox::Midi) << name;
        EXPECT_STREQ(kind->mimeType, "audio/midi") << "the desktop's name, which the menu entry offers";
    }
    EXPECT_FALSE(kindOf("/k/a.midi")->listed) << "only .kar joins the list";
}
