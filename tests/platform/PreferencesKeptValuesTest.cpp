// What the preferences file holds beyond what the program reads survives the program's writes.
#include "fakes/TestSupport.h"
#include "platform/linux/JsonFilePreferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QJsonObject fileObject(const QString& path)
{
    return QJsonDocument::fromJson(readFile(path)).object();
}

}

TEST(JsonFilePreferencesKeptValues, ValuesOfAShapeTheProgramDoesNotReadStayUntilItSetsTheirKey)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("preferences.json"));
    // A list written by hand where JSON-in-data belongs, a string where a Boolean belongs, an
    // object of another tool, a null and data that is not base64.
    writeFile(path, R"({"blockedApps": ["com.example.App"], "playSounds": "yes", "plugin": {"level": 2, "on": true},
        "note": null, "raw": {"$data": "***"}, "notchShelfEnabled": true})");
    {
        ConsoleCapture console;
        JsonFilePreferences prefs(path);
        EXPECT_TRUE(prefs.boolForKey(QStringLiteral("notchShelfEnabled")));
        prefs.set(QStringLiteral("maxHistoryItems"), 200);
        // The program's own value replaces what it could not read.
        prefs.set(QStringLiteral("raw"), QByteArray("new"));
    }
    QJsonObject file = fileObject(path);
    EXPECT_EQ(file.value(QStringLiteral("blockedApps")).toArray(), QJsonArray {QStringLiteral("com.example.App")});
    EXPECT_EQ(file.value(QStringLiteral("playSounds")).toString(), QStringLiteral("yes"));
    EXPECT_EQ(file.value(QStringLiteral("plugin")).toObject(),
        (QJsonObject {{QStringLiteral("level"), 2}, {QStringLiteral("on"), true}}));
    EXPECT_TRUE(file.contains(QStringLiteral("note")) && file.value(QStringLiteral("note")).isNull());
    EXPECT_EQ(file.value(QStringLiteral("raw")).toObject().value(QStringLiteral("$data")).toString(),
        QString::fromLatin1(QByteArray("new").toBase64()));
    EXPECT_TRUE(file.value(QStringLiteral("notchShelfEnabled")).toBool());
    EXPECT_EQ(file.value(QStringLiteral("maxHistoryItems")).toInt(), 200);

    // The next start reads and keeps them the same way.
    {
        ConsoleCapture console;
        JsonFilePreferences again(path);
        EXPECT_EQ(again.dataForKey(QStringLiteral("raw")), QByteArray("new"));
        again.setStringListAsJSONData(QStringLiteral("blockedApps"), {QStringLiteral("org.example.Other")});
    }
    file = fileObject(path);
    EXPECT_EQ(file.value(QStringLiteral("plugin")).toObject().value(QStringLiteral("level")).toInt(), 2);
    EXPECT_TRUE(file.value(QStringLiteral("blockedApps")).isObject()); // now the program's data value
    EXPECT_EQ(file.value(QStringLiteral("playSounds")).toString(), QStringLiteral("yes"));
}
