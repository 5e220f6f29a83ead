#include "fakes/FakeDesktopNotifier.h"
#include "fakes/FakePreferences.h"
#include "fakes/TestSupport.h"
#include "platform/linux/JsonFilePreferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(PreferencesTest, StoredValuesWinOverRegisteredDefaults)
{
    FakePreferences prefs({{QStringLiteral("maxHistoryItems"), 500}});
    prefs.registerDefaults({{QStringLiteral("maxHistoryItems"), 0}, {QStringLiteral("playSounds"), true}});

    EXPECT_EQ(prefs.integerForKey(QStringLiteral("maxHistoryItems")), 500);
    EXPECT_TRUE(prefs.boolForKey(QStringLiteral("playSounds")));
    EXPECT_FALSE(prefs.storedObject(QStringLiteral("playSounds")).isValid());

    // Registering again (every launch does) changes neither layer's stored value.
    prefs.registerDefaults({{QStringLiteral("maxHistoryItems"), 0}});
    EXPECT_EQ(prefs.integerForKey(QStringLiteral("maxHistoryItems")), 500);
    EXPECT_EQ(prefs.persistCount(), 0);

    // A stored false hides a registered true; removing it brings the default back.
    prefs.set(QStringLiteral("playSounds"), false);
    EXPECT_FALSE(prefs.boolForKey(QStringLiteral("playSounds")));
    prefs.remove(QStringLiteral("playSounds"));
    EXPECT_TRUE(prefs.boolForKey(QStringLiteral("playSounds")));
    EXPECT_FALSE(prefs.object(QStringLiteral("neverSet")).isValid());
}

TEST(PreferencesTest, TypedReadsTakeOnlyTheirOwnType)
{
    FakePreferences prefs({{QStringLiteral("int"), 3}, {QStringLiteral("double"), 2.75},
        {QStringLiteral("boolTrue"), true}, {QStringLiteral("text"), QStringLiteral("hello")},
        {QStringLiteral("data"), QByteArray("\x00\x01", 2)}});

    EXPECT_EQ(prefs.integerForKey(QStringLiteral("int")), 3);
    EXPECT_DOUBLE_EQ(prefs.doubleForKey(QStringLiteral("int")), 3.0); // an integer is a number
    EXPECT_DOUBLE_EQ(prefs.doubleForKey(QStringLiteral("double")), 2.75);
    EXPECT_TRUE(prefs.boolForKey(QStringLiteral("boolTrue")));
    EXPECT_EQ(prefs.stringForKey(QStringLiteral("text")), QStringLiteral("hello"));
    EXPECT_EQ(prefs.dataForKey(QStringLiteral("data")), QByteArray("\x00\x01", 2));

    // Nothing is converted: another type reads as the type's zero when nothing is registered.
    ConsoleCapture console;
    EXPECT_FALSE(prefs.boolForKey(QStringLiteral("int")));
    EXPECT_EQ(prefs.integerForKey(QStringLiteral("double")), 0);
    EXPECT_EQ(prefs.integerForKey(QStringLiteral("boolTrue")), 0);
    EXPECT_EQ(prefs.stringForKey(QStringLiteral("int")), QString());
    EXPECT_EQ(prefs.stringForKey(QStringLiteral("data")), QString());
    EXPECT_TRUE(prefs.dataForKey(QStringLiteral("text")).isEmpty());
    EXPECT_EQ(console.lines.size(), 5);
    // Absent is no fault and says nothing.
    EXPECT_FALSE(prefs.boolForKey(QStringLiteral("absent")));
    EXPECT_EQ(prefs.doubleForKey(QStringLiteral("absent")), 0.0);
    EXPECT_EQ(console.lines.size(), 5);
}

TEST(PreferencesTest, AWronglyTypedValueGivesTheDefaultAndOneLineNamingTheKey)
{
    const QString key = QStringLiteral("maxHistoryItems");
    const QList<QVariant> wrong {true, QStringLiteral("1"), 1.9, 1e300, 2.0,
        QVariant::fromValue<qulonglong>(std::numeric_limits<qulonglong>::max())};
    for (const QVariant& value : wrong) {
        FakePreferences prefs({{key, value}});
        prefs.registerDefaults({{key, qlonglong(0)}, {QStringLiteral("glassDarkness"), 0.45}});
        ConsoleCapture console;
        EXPECT_EQ(prefs.integerForKey(key), 0) << value.toString().toStdString();
        EXPECT_EQ(prefs.integerForKey(key), 0);
        ASSERT_EQ(console.lines.size(), 1) << "reported once per value";
        EXPECT_TRUE(console.lines.first().contains(QStringLiteral("\"maxHistoryItems\"")))
            << console.lines.first().toStdString();

        // A registered default of the right type stands in; a new value is judged (and reported) anew.
        prefs.set(QStringLiteral("glassDarkness"), QStringLiteral("dark"));
        EXPECT_DOUBLE_EQ(prefs.doubleForKey(QStringLiteral("glassDarkness")), 0.45);
        prefs.set(key, qlonglong(250));
        EXPECT_EQ(prefs.integerForKey(key), 250);
        prefs.set(key, value);
        EXPECT_EQ(prefs.integerForKey(key), 0);
        EXPECT_EQ(console.lines.size(), 3);
    }
}

TEST(PreferencesTest, StringListsAsJSONData)
{
    FakePreferences prefs(
        {{QStringLiteral("malformed"), QByteArray("[\"a\",")}, {QStringLiteral("mixed"), QByteArray("[\"a\", 1]")},
            {QStringLiteral("object"), QByteArray("{\"a\": 1}")}, {QStringLiteral("number"), 7}});

    prefs.setStringListAsJSONData(QStringLiteral("blockedApps"), {QStringLiteral("com.b"), QStringLiteral("com.a")});
    EXPECT_EQ(prefs.storedObject(QStringLiteral("blockedApps")).typeId(), QMetaType::QByteArray);
    // The order the user gave is kept.
    EXPECT_EQ(prefs.stringListFromJSONData(QStringLiteral("blockedApps")),
        QStringList({QStringLiteral("com.b"), QStringLiteral("com.a")}));

    // A "/" is written as \/, and both forms read back.
    prefs.setStringListAsJSONData(QStringLiteral("blockedApps"), {QStringLiteral("com.example/App"), QStringLiteral("a")});
    EXPECT_EQ(prefs.dataForKey(QStringLiteral("blockedApps")), QByteArray(R"(["com.example\/App","a"])"));
    EXPECT_EQ(prefs.stringListFromJSONData(QStringLiteral("blockedApps")),
        QStringList({QStringLiteral("com.example/App"), QStringLiteral("a")}));
    prefs.set(QStringLiteral("plain"), QByteArray(R"(["com.example/App"])"));
    EXPECT_EQ(prefs.stringListFromJSONData(QStringLiteral("plain")), QStringList({QStringLiteral("com.example/App")}));

    prefs.setStringListAsJSONData(QStringLiteral("empty"), {});
    ASSERT_TRUE(prefs.stringListFromJSONData(QStringLiteral("empty")).has_value());
    EXPECT_TRUE(prefs.stringListFromJSONData(QStringLiteral("empty"))->isEmpty());

    EXPECT_FALSE(prefs.stringListFromJSONData(QStringLiteral("absent")).has_value());
    EXPECT_FALSE(prefs.stringListFromJSONData(QStringLiteral("malformed")).has_value());
    EXPECT_FALSE(prefs.stringListFromJSONData(QStringLiteral("mixed")).has_value());
    EXPECT_FALSE(prefs.stringListFromJSONData(QStringLiteral("object")).has_value());
    EXPECT_FALSE(prefs.stringListFromJSONData(QStringLiteral("number")).has_value());
}

TEST(PreferencesTest, ChangedSignalAndWritesFollowRealChanges)
{
    FakePreferences prefs;
    QSignalSpy spy(&prefs, &Preferences::changed);

    prefs.set(QStringLiteral("glassDarkness"), 0.3);
    prefs.remove(QStringLiteral("glassDarkness"));
    prefs.remove(QStringLiteral("glassDarkness")); // nothing stored: no signal, no write
    prefs.set(QStringLiteral("x"), QVariant());    // an invalid value removes, here nothing

    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("glassDarkness"));
    EXPECT_EQ(spy.at(1).at(0).toString(), QStringLiteral("glassDarkness"));
    EXPECT_EQ(prefs.persistCount(), 2);
    EXPECT_TRUE(prefs.lastPersisted().isEmpty());
}

class JsonFilePreferencesTest : public ::testing::Test {
protected:
    QString path() const { return dir.path() + QStringLiteral("/Quorvel/preferences.json"); }
    QTemporaryDir dir;
};

TEST_F(JsonFilePreferencesTest, RoundTripKeepsTypesAndValues)
{
    const QVariantMap values {
        {QStringLiteral("flag"), false},
        {QStringLiteral("count"), qlonglong(10000)},
        {QStringLiteral("big"), QVariant::fromValue<qlonglong>((1LL << 62) + 1)},
        {QStringLiteral("two"), 2.0},
        {QStringLiteral("huge"), 1e300},
        {QStringLiteral("negInf"), -std::numeric_limits<double>::infinity()},
        {QStringLiteral("text"), QStringLiteral("Äußere \"Ränder\" 🎉")},
        {QStringLiteral("emptyText"), QString()},
        {QStringLiteral("blob"), QByteArray("\x00\xff\x10\n\"", 5)},
        {QStringLiteral("emptyBlob"), QByteArray()},
    };
    {
        JsonFilePreferences prefs(path());
        for (auto it = values.begin(); it != values.end(); ++it)
            prefs.set(it.key(), it.value());
        prefs.set(QStringLiteral("nan"), std::numeric_limits<double>::quiet_NaN());
    }

    JsonFilePreferences prefs(path());
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QVariant stored = prefs.storedObject(it.key());
        EXPECT_EQ(stored.typeId(), it.value().typeId()) << it.key().toStdString();
        EXPECT_EQ(stored, it.value()) << it.key().toStdString();
    }
    EXPECT_TRUE(std::isnan(prefs.doubleForKey(QStringLiteral("nan"))));

    EXPECT_EQ(QFile::permissions(path()),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    const QByteArray text = readFile(path());
    EXPECT_TRUE(text.contains("\"two\": 2.0")) << text.constData();
    EXPECT_TRUE(text.contains("\"$data\"")) << text.constData();
}

TEST_F(JsonFilePreferencesTest, MissingFileIsEmptyAndNothingIsWrittenUntilASet)
{
    ConsoleCapture console;
    JsonFilePreferences prefs(path());
    EXPECT_FALSE(prefs.storedObject(QStringLiteral("anything")).isValid());
    EXPECT_FALSE(QFile::exists(path()));
    EXPECT_TRUE(console.lines.isEmpty());
    prefs.set(QStringLiteral("a"), 1);
    EXPECT_TRUE(QFile::exists(path()));
}

TEST_F(JsonFilePreferencesTest, MalformedAndOversizedFilesAreSetAsideAndStartEmpty)
{
    QByteArray deep(200000, '[');
    const QList<QByteArray> hostile = {
        "{\"a\": 1,",                        // truncated
        "[1, 2, 3]",                         // not an object
        "\"text\"",                          // not an object
        "",                                  // empty
        QByteArray("{\"a\": \"\xff\xfe\"}"), // not UTF-8
        "{\"a\": " + deep + "}",             // nesting far beyond anything sane
        "{\"a\": " + deep + QByteArray(deep.size(), ']') + "}", // the same, well formed
        QByteArray("\x00\x01\x02", 3),
        "{\"a\": \"" + QByteArray(JsonFilePreferences::maximumFileSize, 'x') + "\"}", // over the size limit
    };
    for (const QByteArray& bytes : hostile) {
        writeFile(path(), bytes);
        ConsoleCapture console;
        JsonFilePreferences prefs(path());
        EXPECT_FALSE(prefs.storedObject(QStringLiteral("a")).isValid());
        ASSERT_EQ(console.lines.size(), 1);
        EXPECT_TRUE(console.lines.first().startsWith(
            QStringLiteral("Preferences: could not read ") + path() + QStringLiteral(": ")))
            << console.lines.first().toStdString();
        EXPECT_FALSE(QFile::exists(path()));
        QFile aside(prefs.damagedCopy());
        EXPECT_TRUE(aside.fileName().startsWith(path() + QStringLiteral(".damaged-")));
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
        EXPECT_EQ(aside.readAll(), bytes);

        // The next change writes a sound file again.
        prefs.set(QStringLiteral("a"), true);
        EXPECT_TRUE(JsonFilePreferences(path()).boolForKey(QStringLiteral("a")));
    }
}

TEST_F(JsonFilePreferencesTest, EveryDamagedFileIsKeptAndTheUserToldOnce)
{
    FakeDesktopNotifier notifier;
    QStringList copies;
    for (const QByteArray& bytes : {QByteArray("{\"first\": "), QByteArray("{\"second\": ")}) {
        writeFile(path(), bytes);
        ConsoleCapture console;
        JsonFilePreferences prefs(path());
        copies << prefs.damagedCopy();
        prefs.reportReset(notifier);
        prefs.reportReset(notifier);
    }
    ASSERT_EQ(copies.size(), 2);
    EXPECT_NE(copies[0], copies[1]);
    EXPECT_EQ(readFile(copies[0]), "{\"first\": ");
    EXPECT_EQ(readFile(copies[1]), "{\"second\": ");
    ASSERT_EQ(notifier.summaries.size(), 2);
    EXPECT_EQ(notifier.summaries[0], QStringLiteral("Quorvel settings were reset"));
    EXPECT_TRUE(notifier.bodies[0].endsWith(copies[0]));
    EXPECT_TRUE(notifier.bodies[1].endsWith(copies[1]));

    // A sound file tells nothing.
    JsonFilePreferences sound(path());
    sound.reportReset(notifier);
    EXPECT_TRUE(sound.damagedCopy().isEmpty());
    EXPECT_EQ(notifier.summaries.size(), 2);
}

TEST_F(JsonFilePreferencesTest, UnknownValueShapesAreSkippedOthersKept)
{
    writeFile(path(), R"({"good": 5, "null": null, "list": [1], "obj": {"x": 1}, "badData": {"$data": "***"},
                  "badDouble": {"$double": "many"}, "twoKeys": {"$data": "", "$double": 1}, "d": {"$double": 3}})");
    ConsoleCapture console;
    JsonFilePreferences prefs(path());
    EXPECT_EQ(prefs.integerForKey(QStringLiteral("good")), 5);
    EXPECT_EQ(prefs.storedObject(QStringLiteral("d")).typeId(), QMetaType::Double);
    for (const char* key : {"null", "list", "obj", "badData", "badDouble", "twoKeys"})
        EXPECT_FALSE(prefs.storedObject(QString::fromLatin1(key)).isValid()) << key;
    ASSERT_EQ(console.lines.size(), 1);
    EXPECT_TRUE(console.lines.first().contains(QStringLiteral("badData")));
    EXPECT_TRUE(QFile::exists(path()));
}

TEST_F(JsonFilePreferencesTest, UnsupportedTypeIsReportedOnceAndLeftOutOfTheFile)
{
    ConsoleCapture console;
    JsonFilePreferences prefs(path());
    prefs.set(QStringLiteral("list"), QStringList {QStringLiteral("a")});
    prefs.set(QStringLiteral("n"), 1);
    EXPECT_EQ(console.lines.size(), 1);
    EXPECT_TRUE(console.lines.value(0).startsWith(QStringLiteral("Preferences: ")));
    JsonFilePreferences reread(path());
    EXPECT_FALSE(reread.storedObject(QStringLiteral("list")).isValid());
    EXPECT_EQ(reread.integerForKey(QStringLiteral("n")), 1);
}

TEST_F(JsonFilePreferencesTest, UnwritableLocationIsReportedNotFatal)
{
    QFile blocker(dir.path() + QStringLiteral("/Quorvel"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    ConsoleCapture console;
    JsonFilePreferences prefs(path());
    prefs.set(QStringLiteral("a"), 1);
    EXPECT_EQ(prefs.integerForKey(QStringLiteral("a")), 1);
    ASSERT_EQ(console.lines.size(), 1);
    EXPECT_TRUE(console.lines.first().startsWith(QStringLiteral("Failed to save preferences: ")));
}

}
