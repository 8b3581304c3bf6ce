#include "ui/settings/SettingsLogic.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace settings;

TEST(SettingsLogic, WifiFieldsTakeAtMost32Utf8Bytes) {
    EXPECT_TRUE(fitsWifiField(QString(32, QChar('a'))));
    EXPECT_FALSE(fitsWifiField(QString(33, QChar('a'))));
    // Ten CJK characters are 30 bytes, eleven are 33: the limit is in bytes,
    // not in characters.
    EXPECT_TRUE(fitsWifiField(QString(10, QChar(0x7F51))));
    EXPECT_FALSE(fitsWifiField(QString(11, QChar(0x7F51))));
    EXPECT_TRUE(fitsWifiField(QString()));
}

TEST(SettingsLogic, WifiRequestPlacesNameAndPasswordWithoutTruncating) {
    WifiBlock record{};
    const QString name(32, QChar('n'));
    ASSERT_TRUE(buildWifiRequest(0, name, QStringLiteral("pw"), record));
    EXPECT_EQ(record[0], 0);
    EXPECT_EQ(0, std::memcmp(record.data() + 1, name.toUtf8().constData(), 32));
    EXPECT_EQ(record[33], 'p');
    EXPECT_EQ(record[34], 'w');
    for (int i = 35; i < 65; ++i)
        EXPECT_EQ(record[i], 0) << i;

    // Too long: refused, the record is left as it was.
    WifiBlock untouched{};
    untouched[5] = 0x55;
    EXPECT_FALSE(buildWifiRequest(0, QString(33, QChar('n')), QString(), untouched));
    EXPECT_FALSE(buildWifiRequest(0, QString(), QString(11, QChar(0x5BC6)), untouched));
    EXPECT_EQ(untouched[5], 0x55);
    EXPECT_EQ(untouched[0], 0);
}

TEST(SettingsLogic, StationTextEndsAtZeroOrAtTheBlockEnd) {
    StationInfoBlock block{};
    std::memcpy(block.data() + 3, "cam-7", 5);
    EXPECT_EQ(stationText(block), QStringLiteral("cam-7"));

    StationInfoBlock full{};
    std::memset(full.data(), 'x', full.size());
    EXPECT_EQ(stationText(full).size(), 80);

    EXPECT_TRUE(stationText(StationInfoBlock{}).isEmpty());
}

TEST(SettingsLogic, PhotoRatioFollowsTheLayoutFamily) {
    EXPECT_EQ(photoRatioOfLayout(0), 1);
    EXPECT_EQ(photoRatioOfLayout(1), 1);
    EXPECT_EQ(photoRatioOfLayout(2), 0);
    EXPECT_EQ(photoRatioOfLayout(3), 0);
    EXPECT_EQ(photoRatioOfLayout(4), 2);
    EXPECT_EQ(photoRatioOfLayout(9), 1);
}
