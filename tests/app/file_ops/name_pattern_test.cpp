// Tags from file names: patterns matched against paths (a table of cases),
// the patterns refused, and values put into records.
#include <gtest/gtest.h>

#include "app/file_ops/name_pattern.h"

namespace {

// "Field=Value|..." in the record's field order; "-" for no match.
QString Show(const std::optional<TGuessedValues>& Values) {
    if (!Values) return QStringLiteral("-");
    QStringList Out;
    for (const TGuessedValue& V : *Values)
        Out.append(QLatin1String(TAudioTag::TextFieldName(V.Field)) + u'=' + V.Value);
    return Out.join(u'|');
}

struct TCase {
    const char16_t* Path;
    const char16_t* Pattern;
    const char16_t* Want;
};

TEST(NamePattern, PathsAndPatternsGiveTheseValues) {
    const TCase Cases[] = {
        // The usual folder layout, every part used.
        {u"/m/Band/2001 - First/03 - Song.mp3", u"%artist%/%year% - %album%/%track% - %title%",
         u"Title=Song|Artist=Band|Album=First|Year=2001|Track=03"},
        // Only the last parts count; the extension is no part of the match.
        {u"/m/x/y/Band - Song.flac", u"%artist% - %title%", u"Title=Song|Artist=Band"},
        {u"/m/a.b.mp3", u"%title%", u"Title=a.b"},
        {u"/m/README", u"%title%", u"Title=README"},
        // A text placeholder ends at the first separator that lets the rest match.
        {u"/m/A - B - C.mp3", u"%artist% - %title%", u"Title=B - C|Artist=A"},
        // Track and disc take digits, "03" as written; the year four digits.
        {u"/m/3. Song.mp3", u"%track%. %title%", u"Title=Song|Track=3"},
        {u"/m/Side A - Song.mp3", u"%track% - %title%", u"-"},
        {u"/m/99 - Album/01 - x.mp3", u"%year% - %album%/%track% - %title%", u"-"},
        {u"/m/1-07 Name.ogg", u"%disc%-%track% %title%", u"Title=Name|Track=07|Disc=1"},
        // Literal text in any letter case; signs that mean something to a
        // regular expression are plain text.
        {u"/m/cd2/07 Name.ogg", u"CD%disc%/%track% %title%", u"Title=Name|Track=07|Disc=2"},
        {u"/m/A (1999) [B+C?].mp3", u"%artist% (%year%) [%album%]", u"Artist=A|Album=B+C?|Year=1999"},
        {u"/m/100% - Song.mp3", u"100% - %title%", u"Title=Song"},
        // %dummy% takes whatever stands there, nothing included.
        {u"/m/Band - [FLAC] First/01 - A.mp3", u"%artist% - [%dummy%] %album%/%track% - %title%",
         u"Title=A|Artist=Band|Album=First|Track=01"},
        {u"/m/Song (Remastered 2011).mp3", u"%title% (%dummy%)", u"Title=Song"},
        {u"/m/Song ().mp3", u"%title% (%dummy%)", u"Title=Song"},
        // Missing parts: a separator the name lacks, fewer folders than the pattern.
        {u"/m/03 Song.mp3", u"%track% - %title%", u"-"},
        {u"/Song.mp3", u"%artist%/%album%/%title%", u"-"},
        {u"Song.mp3", u"%album%/%title%", u"-"},
        // A name twice: the part nearest the file wins.
        {u"/m/Various Artists/Hits/Band - Song.mp3", u"%artist%/%album%/%artist% - %title%",
         u"Title=Song|Artist=Band|Album=Hits"},
        // Blanks around values go; a value of blanks fills nothing.
        {u"/m/05 -  Song .mp3", u"%track% -%title%", u"Title=Song|Track=05"},
        {u"/m/ /x.mp3", u"%artist%/%title%", u"Title=x"},
        // The other fields.
        {u"/m/VA/Jazz/Tune {live}.mp3", u"%albumartist%/%genre%/%title% {%comment%}",
         u"Title=Tune|Genre=Jazz|Comment=live|AlbumArtist=VA"},
        // Unicode: composed and decomposed letters are one, in path and pattern;
        // letters beyond Latin match as any other.
        {u"/m/Sigur Ro\u0301s/A\u0301gætis byrjun/01 - Intro.flac", u"%artist%/\u00c1gætis byrjun/%track% - %title%",
         u"Title=Intro|Artist=Sigur R\u00f3s|Track=01"},
        {u"/m/坂本龍一/03 - 戦場のメリークリスマス.mp3", u"%artist%/%track% - %title%",
         u"Title=戦場のメリークリスマス|Artist=坂本龍一|Track=03"},
        {u"/m/ΑΒΓ/x.mp3", u"αβγ/%title%", u"Title=x"},
    };
    for (const TCase& C : Cases) {
        TNamePattern P;
        QString Error;
        ASSERT_TRUE(P.Parse(QString::fromUtf16(C.Pattern), Error)) << Error.toStdString();
        EXPECT_EQ(Show(P.Match(QString::fromUtf16(C.Path))), QString::fromUtf16(C.Want))
            << QString::fromUtf16(C.Path).toStdString() << " / " << QString::fromUtf16(C.Pattern).toStdString();
    }
}

TEST(NamePattern, RefusedPatternsSayWhy) {
    const std::pair<const char*, const char*> Cases[] = {
        {"", "The pattern is empty."},
        {"   ", "The pattern is empty."},
        {"%artist%//%title%", "Every part of the pattern between two slashes needs some text."},
        {"/%title%", "Every part of the pattern between two slashes needs some text."},
        {"%title%/", "Every part of the pattern between two slashes needs some text."},
        {"%artist% - %name%", "Unknown placeholder: %name%"},
        {"%dummy% - x", "The pattern has no placeholder for a tag field."},
        {"just text", "The pattern has no placeholder for a tag field."},
    };
    for (const auto& [Pattern, Why] : Cases) {
        TNamePattern P;
        QString Error;
        EXPECT_FALSE(P.Parse(QLatin1String(Pattern), Error)) << Pattern;
        EXPECT_EQ(Error, QLatin1String(Why)) << Pattern;
        EXPECT_FALSE(P.IsValid());
        EXPECT_FALSE(P.Match(QStringLiteral("/a/b - c.mp3")).has_value());
    }
    // A refused pattern leaves no earlier one behind.
    TNamePattern P;
    QString Error;
    ASSERT_TRUE(P.Parse(QStringLiteral("%TITLE%"), Error));
    EXPECT_FALSE(P.Parse(QStringLiteral("%bad%"), Error));
    EXPECT_FALSE(P.Match(QStringLiteral("/a/b.mp3")).has_value());
}

TEST(NamePattern, FieldsAndMatchedText) {
    TNamePattern P;
    QString Error;
    ASSERT_TRUE(P.Parse(QStringLiteral("%artist%/%year% - %album%/%track% - %title% %dummy%"), Error));
    EXPECT_EQ(P.PartCount(), 3);
    EXPECT_EQ(P.Fields(), (QVector<int>{0, 1, 2, 3, 4}));  // Title, Artist, Album, Year, Track
    EXPECT_EQ(P.MatchedText(QStringLiteral("/m/A/2001 - B/03 - C.mp3")), QStringLiteral("A/2001 - B/03 - C"));
    EXPECT_EQ(P.MatchedText(QStringLiteral("/C.mp3")), QString());
    EXPECT_EQ(TNamePattern::PlaceholderNames().size(), 10);
}

TEST(NamePattern, ValuesGoIntoTheRecordKeepingTotals) {
    TAudioTag Tag;
    Tag.Title = QStringLiteral("old");
    Tag.Genre = QStringLiteral("kept");
    Tag.Track = QStringLiteral("5/12");
    Tag.Disc = QStringLiteral("1/2");
    Tag.Year = QStringLiteral("1990");
    ApplyGuessedValues(Tag, {{0, QStringLiteral("new")}, {4, QStringLiteral("03")}, {7, QStringLiteral("2")}});
    EXPECT_EQ(Tag.Title, QStringLiteral("new"));
    EXPECT_EQ(Tag.Track, QStringLiteral("03/12"));
    EXPECT_EQ(Tag.Disc, QStringLiteral("2/2"));
    EXPECT_EQ(Tag.Genre, QStringLiteral("kept"));
    EXPECT_EQ(Tag.Year, QStringLiteral("1990"));
    // Without a total before, none after.
    TAudioTag Plain;
    ApplyGuessedValues(Plain, {{4, QStringLiteral("3")}});
    EXPECT_EQ(Plain.Track, QStringLiteral("3"));
}

}  // namespace
