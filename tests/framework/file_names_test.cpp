// File names are bytes; what the controls show must turn back into exactly
// those bytes, or the file cannot be played, copied, moved or deleted.
#include "framework/file_names.h"

#include <gtest/gtest.h>

#include <random>

namespace {

void expectRoundTrip(const QByteArray& bytes)
{
    EXPECT_EQ(ui::encodeFileName(ui::decodeFileName(bytes)), bytes) << bytes.toHex().constData();
}

} // namespace

TEST(FileNames, EdgeSequencesRoundTrip)
{
    for (const QByteArray& bytes : {QByteArray("Gr\xc3\xbc\xc3\x9f" "e \xe2\x99\xab.mid"), QByteArray("\xff\xfe.mid"),
                                    QByteArray("trunc\xc3"), QByteArray("overlong\xc0\xaf"),
                                    QByteArray("surrogate\xed\xa0\x80"), QByteArray("beyond\xf4\x90\x80\x80"),
                                    QByteArray("real replacement \xef\xbf\xbd and \x80"),
                                    QByteArray("\xf0\x9f\x92\xbf\x80"), QByteArray("\xed\xb2\xbf")})
        expectRoundTrip(bytes);
    EXPECT_EQ(ui::decodeFileName(QByteArray("Gr\xc3\xbc\xc3\x9f" "e")), QString::fromUtf8("Grüße"));
}

TEST(FileNames, CharactersBeyondTheBasicPlaneAreNotEscapedBytes)
{
    // U+1F4BF is D83D DCBF in UTF-16: its low half lies where escaped bytes live.
    const QByteArray disc("\xf0\x9f\x92\xbf song.mid");
    EXPECT_EQ(ui::decodeFileName(disc), QString::fromUtf8("\U0001F4BF song.mid"));
    EXPECT_EQ(ui::encodeFileName(QString::fromUtf8("\U0001F4BF song.mid")), disc);
    expectRoundTrip("caf\xe9 \xf0\x9f\x82\xa1 \xf0\xa0\x80\x80.wav");
}

TEST(FileNames, RandomByteStringsRoundTrip)
{
    std::mt19937 random(20261208);
    // Bytes drawn mostly from the lead and continuation ranges, so that valid
    // and broken multi-byte sequences of every length turn up often.
    const unsigned char pool[] = {'a', '.', '/', 0x7f, 0x80, 0x92, 0xbf, 0xc0, 0xc3, 0xdf, 0xe0,
                                  0xed, 0xef, 0xf0, 0xf4, 0xf5, 0xff, 0x9f, 0xa0, 0xb2, 0x8f};
    for (int n = 0; n < 20000; ++n) {
        QByteArray bytes;
        const int length = int(random() % 12) + 1;
        for (int i = 0; i < length; ++i)
            bytes.append(char(pool[random() % sizeof pool]));
        expectRoundTrip(bytes);
        if (HasFailure())
            return;
    }
}
