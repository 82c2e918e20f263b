// The quick-action transformations and running a list of them on a record.
#include <gtest/gtest.h>

#include "app/actions/tag_action.h"

namespace {

struct TCase {
    TTagActionKind Kind;
    const char16_t* In;
    const char16_t* Out;
};

TEST(TagAction, EachKindTransformsTheTargetText) {
    const TCase Cases[] = {
        {takCollapseSpaces, u"\t  a\nb", u"a b"},
        {takCollapseSpaces, u"  a   b  ", u"a b"},
        {takTrimSpaces, u"\x01 a   b \r\n", u"a   b"},
        {takUpperCase, u"caf\u00e9 abc", u"CAF\u00e9 ABC"},
        {takLowerCase, u"\u00c9COLE ABC", u"\u00c9cole abc"},
        {takTitleCase, u"caf\u00e9 \u00e9cole", u"Caf\u00e9 \u00c9cole"},
        {takTitleCase, u"hello WORLD", u"Hello World"},
        {takTitleCase, u"o'neil", u"O'Neil"},
        {takTitleCase, u"don't", u"Don'T"},
        {takTitleCase, u"ac/dc", u"Ac/Dc"},
        {takTitleCase, u"2nd place", u"2nd Place"},
        {takTitleCase, u"x-ray", u"X-Ray"},
        // Only single-unit mappings: the length never changes.
        {takTitleCase, u"\u00df\u00dfa", u"\u00df\u00dfa"},
        {takTitleCase, u"\u0433\u043e\u0440\u043e\u0434", u"\u0413\u043e\u0440\u043e\u0434"},
    };
    for (const TCase& C : Cases) {
        TAudioTag Tag;
        Tag.Title = QString::fromUtf16(C.In);
        ApplyActions(Tag, {{C.Kind, tfTitle, tfTitle, {}, {}}});
        EXPECT_EQ(Tag.Title, QString::fromUtf16(C.Out)) << Tag.Title.toStdString() << " kind " << int(C.Kind);
    }
}

TEST(TagAction, ReplaceIsExactAndActionsSeeEachOthersResults) {
    TAudioTag Tag;
    Tag.Title = QStringLiteral("a.b.c.");
    Tag.Artist = QStringLiteral("the BAND band");
    Tag.Album = QStringLiteral("album");
    ApplyActions(Tag, {{takReplaceText, tfTitle, tfTitle, QStringLiteral("."), QStringLiteral(" ")}});
    EXPECT_EQ(Tag.Title, QStringLiteral("a b c "));
    ApplyActions(Tag, {{takReplaceText, tfArtist, tfTitle, QStringLiteral("BAND"), QString()}});
    EXPECT_EQ(Tag.Artist, QStringLiteral("the  band"));
    // Inserted text is not scanned again; an empty search changes nothing.
    Tag.Genre = QStringLiteral("aa");
    ApplyActions(Tag, {{takReplaceText, tfGenre, tfTitle, QStringLiteral("a"), QStringLiteral("aa")},
                       {takReplaceText, tfGenre, tfTitle, QString(), QStringLiteral("x")}});
    EXPECT_EQ(Tag.Genre, QStringLiteral("aaaa"));

    // Copy, then title case sees the copy; the source is unchanged.
    ApplyActions(Tag, {{takCopyField, tfTitle, tfArtist, {}, {}}, {takTitleCase, tfTitle, tfTitle, {}, {}}});
    EXPECT_EQ(Tag.Title, QStringLiteral("The  Band"));
    EXPECT_EQ(Tag.Artist, QStringLiteral("the  band"));
    // Only the first LastIndex+1 actions run; an unknown kind is skipped.
    TTagAction Unknown{static_cast<TTagActionKind>(9), tfAlbum, tfTitle, {}, {}};
    ApplyActions(Tag, {Unknown, {takUpperCase, tfAlbum, tfTitle, {}, {}}, {takLowerCase, tfAlbum, tfTitle, {}, {}}}, 1);
    EXPECT_EQ(Tag.Album, QStringLiteral("ALBUM"));
    // Fields outside the seven are never touched.
    TAudioTag Other;
    Other.Lyrics = QStringLiteral(" x ");
    ApplyActions(Other, {{takTrimSpaces, static_cast<TTagField>(12), tfTitle, {}, {}}});
    EXPECT_EQ(Other.Lyrics, QStringLiteral(" x "));
}

TEST(TagAction, NamesReadInAnyCaseAndUnknownOnesFallBack) {
    EXPECT_EQ(ActionKindFromName(QStringLiteral(" COPYFIELD ")), takCopyField);
    EXPECT_EQ(ActionKindFromName(QStringLiteral("nonsense")), takTrimSpaces);
    EXPECT_EQ(ActionKindFromName(QString()), takTrimSpaces);
    EXPECT_EQ(TagFieldFromName(QStringLiteral("aLbUm")), tfAlbum);
    EXPECT_EQ(TagFieldFromName(QStringLiteral("Disc")), tfTitle);
    EXPECT_EQ(ActionKindName(static_cast<TTagActionKind>(40)), QStringLiteral("TrimSpaces"));
    EXPECT_TRUE(SameAsciiName(QStringLiteral("Quick CLEAN"), QStringLiteral("quick clean")));
    EXPECT_FALSE(SameAsciiName(QStringLiteral("\u00c9"), QStringLiteral("\u00e9")));
}

}  // namespace
