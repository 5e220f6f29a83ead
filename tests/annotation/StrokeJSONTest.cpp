// The stored JSON form of stroke lists.
#include "annotation/StrokeJSON.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

using nlohmann::ordered_json;

namespace {

PaintStroke penStroke()
{
    PaintStroke stroke;
    stroke.id = QUuid::fromString(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
    stroke.points = {PaintPoint(0.1, 0.2, 1), PaintPoint(0.3, 0.4, 0.5)};
    stroke.tool = PaintTool::pen;
    stroke.color = PaintColor(1, 0.23, 0.19, 1);
    stroke.lineWidth = 3;
    stroke.createdAt = 789012345.678;
    return stroke;
}

PaintStroke fullStroke()
{
    PaintStroke stroke = penStroke();
    stroke.tool = PaintTool::arrow;
    stroke.text = QStringLiteral("Größe/Weite \"zitiert\"");
    stroke.fontSize = 20;
    stroke.badgeNumber = 3;
    stroke.badgeSize = 24.5;
    stroke.effectAmount = 10;
    stroke.controlPoint = PaintPoint(0.5, 1, 1);
    stroke.textSnapRect = QRectF(0.1, 0.2, 0.5, 0.05);
    return stroke;
}

std::vector<std::string> keysOf(const ordered_json& object)
{
    std::vector<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it)
        keys.push_back(it.key());
    return keys;
}

ordered_json encodedArray(const std::vector<PaintStroke>& strokes)
{
    const std::optional<QByteArray> data = StrokeJSON::encode(strokes);
    EXPECT_TRUE(data);
    return ordered_json::parse(data.value_or("[]").toStdString());
}

// Decodes `json` (a JSON text) and expects a failure.
void expectDecodeFails(const std::string& json, const char* why)
{
    QString error;
    EXPECT_FALSE(StrokeJSON::decode(QByteArray::fromStdString(json), &error)) << why;
    EXPECT_FALSE(error.isEmpty()) << why;
}

// A valid stroke object as JSON, to be altered by the failure tests.
ordered_json validObject()
{
    return encodedArray({penStroke()})[0];
}

std::string arrayOf(const ordered_json& object)
{
    return ordered_json::array({object}).dump();
}

} // namespace

TEST(StrokeJSONTest, PenStrokeHasTheSixRequiredKeysAndAFullOneAllKeysInFieldOrder)
{
    const ordered_json pen = encodedArray({penStroke()});
    ASSERT_EQ(pen.size(), 1u);
    EXPECT_EQ(keysOf(pen[0]), (std::vector<std::string> {"id", "points", "tool", "color", "lineWidth", "createdAt"}));
    EXPECT_EQ(keysOf(pen[0]["points"][0]), (std::vector<std::string> {"x", "y", "pressure"}));
    EXPECT_EQ(keysOf(pen[0]["color"]), (std::vector<std::string> {"red", "green", "blue", "opacity"}));

    const std::optional<QByteArray> data = StrokeJSON::encode({fullStroke()});
    ASSERT_TRUE(data);
    const ordered_json object = ordered_json::parse(data->toStdString())[0];
    EXPECT_EQ(keysOf(object),
        (std::vector<std::string> {"id", "points", "tool", "color", "lineWidth", "createdAt", "text", "fontSize",
            "badgeNumber", "badgeSize", "effectAmount", "controlPoint", "textSnapRect"}));
    EXPECT_EQ(object["id"], "0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_EQ(object["tool"], "arrow");
    EXPECT_TRUE(object["badgeNumber"].is_number_integer());
    EXPECT_DOUBLE_EQ(object["createdAt"].get<double>(), 789012345.678);

    const std::string json = data->toStdString();
    // Compact output, every solidus escaped, whole numbers without a fraction.
    EXPECT_NE(json.find(R"("textSnapRect":[[0.1,0.2],[0.5,0.05]])"), std::string::npos) << json;
    EXPECT_NE(json.find(R"(Größe\/Weite \"zitiert\")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("lineWidth":3,)"), std::string::npos) << json;
    EXPECT_EQ(json.find(": "), std::string::npos);
    EXPECT_EQ(json.find('\n'), std::string::npos);
}

TEST(StrokeJSONTest, CreatedAtCountsFromTheReferenceDate)
{
    PaintStroke stroke = penStroke();
    stroke.createdAt = PaintStroke::secondsSinceReferenceDate(
        QDateTime(QDate(2001, 1, 1), QTime(0, 1, 0), QTimeZone::utc()));
    EXPECT_EQ(stroke.createdAt, 60.0);
    EXPECT_EQ(stroke.createdAtDateTime(), QDateTime(QDate(2001, 1, 1), QTime(0, 1, 0), QTimeZone::utc()));

    // Strokes made now lie some 700 million seconds after the reference date.
    EXPECT_GT(PaintStroke::now(), 7e8);
}

TEST(StrokeJSONTest, RoundTripKeepsEveryFieldAndEqualityCoversCreatedAtAndSnapRect)
{
    std::vector<PaintStroke> strokes {penStroke(), fullStroke()};
    strokes[1].id = QUuid::createUuid();
    strokes[1].lineWidth = 0.1 + 0.2; // a value that needs all its digits
    strokes[1].color.opacity = -0.0;
    const std::optional<QByteArray> data = StrokeJSON::encode(strokes);
    ASSERT_TRUE(data);
    const std::optional<std::vector<PaintStroke>> decoded = StrokeJSON::decode(*data);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, strokes);

    EXPECT_EQ(StrokeJSON::encode({}), QByteArray("[]"));
    EXPECT_EQ(StrokeJSON::decode("[]")->size(), 0u);

    PaintStroke a = penStroke();
    PaintStroke b = a;
    b.createdAt += 0.001;
    EXPECT_NE(a, b);
    b = a;
    b.textSnapRect = QRectF(0.1, 0.2, 0.5, 0.05);
    EXPECT_NE(a, b);
    a.textSnapRect = QRectF(0.1, 0.2, 0.5, 0.0500000000001); // not fuzzily equal
    EXPECT_NE(a, b);
}

TEST(StrokeJSONTest, ReadersTakeAnyKeyOrderUnknownKeysNullOptionalsAndLowerCaseIds)
{
    const std::string json = R"([{"future":{"a":[1,2]},"createdAt":12.5,"lineWidth":2.0,
        "color":{"opacity":1,"blue":0,"green":0,"red":1,"alpha":9},
        "tool":"numberBadge","points":[{"pressure":1,"y":0.5,"x":0.25,"z":3}],
        "id":"0f8fad5b-d9cb-469f-a165-70867728950e","text":null,"badgeNumber":2.0}])";
    const std::optional<std::vector<PaintStroke>> strokes = StrokeJSON::decode(QByteArray::fromStdString(json));
    ASSERT_TRUE(strokes);
    ASSERT_EQ(strokes->size(), 1u);
    const PaintStroke& stroke = strokes->front();
    EXPECT_EQ(stroke.id, penStroke().id);
    EXPECT_EQ(stroke.tool, PaintTool::numberBadge);
    EXPECT_EQ(stroke.points, (std::vector<PaintPoint> {PaintPoint(0.25, 0.5, 1)}));
    EXPECT_EQ(stroke.color, PaintColor(1, 0, 0, 1));
    EXPECT_EQ(stroke.lineWidth, 2.0);
    EXPECT_EQ(stroke.createdAt, 12.5);
    EXPECT_FALSE(stroke.text);
    EXPECT_EQ(stroke.badgeNumber, 2);
    EXPECT_FALSE(stroke.controlPoint);
}

TEST(StrokeJSONTest, DecodingFailsAsAWhole)
{
    // One bad stroke spoils the list.
    ordered_json badTool = validObject();
    badTool["tool"] = "Pen";
    expectDecodeFails(ordered_json::array({validObject(), badTool}).dump(), "unknown tool");

    for (const char* key : {"id", "points", "tool", "color", "lineWidth", "createdAt"}) {
        ordered_json missing = validObject();
        missing.erase(key);
        expectDecodeFails(arrayOf(missing), key);
        ordered_json null = validObject();
        null[key] = nullptr;
        expectDecodeFails(arrayOf(null), key);
    }
    ordered_json noPressure = validObject();
    noPressure["points"][1].erase("pressure");
    expectDecodeFails(arrayOf(noPressure), "point without pressure");
    ordered_json noOpacity = validObject();
    noOpacity["color"].erase("opacity");
    expectDecodeFails(arrayOf(noOpacity), "colour without opacity");

    ordered_json wrongTypes[] = {validObject(), validObject(), validObject(), validObject(), validObject(),
        validObject(), validObject(), validObject()};
    wrongTypes[0]["lineWidth"] = "3";
    wrongTypes[1]["points"] = ordered_json::object();
    wrongTypes[2]["text"] = 5;
    wrongTypes[3]["badgeNumber"] = 2.5;
    wrongTypes[4]["textSnapRect"] = ordered_json::array({0.1, 0.2, 0.3, 0.4});
    wrongTypes[5]["color"]["red"] = true;
    wrongTypes[6]["controlPoint"] = ordered_json::array({0.5, 0.5});
    wrongTypes[7]["badgeNumber"] = 4294967296LL;
    for (const ordered_json& object : wrongTypes)
        expectDecodeFails(arrayOf(object), object.dump().c_str());

    ordered_json badIds[] = {validObject(), validObject(), validObject()};
    badIds[0]["id"] = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";
    badIds[1]["id"] = "0F8FAD5B-D9CB-469F-A165-70867728950";
    badIds[2]["id"] = "0F8FAD5BXD9CB-469F-A165-70867728950E";
    for (const ordered_json& object : badIds)
        expectDecodeFails(arrayOf(object), object["id"].get<std::string>().c_str());

    expectDecodeFails(validObject().dump(), "an object instead of an array");
    expectDecodeFails("[1]", "a number instead of a stroke");
    expectDecodeFails("", "no data");
    expectDecodeFails("[", "truncated");
    expectDecodeFails(R"([{"id":"0F8FAD5B-D9CB-469F-A165-70867728950E",)", "truncated object");
    std::string huge = arrayOf(validObject());
    huge.replace(huge.find("\"lineWidth\":3"), 13, "\"lineWidth\":1e999");
    expectDecodeFails(huge, "a number beyond double");
}

TEST(StrokeJSONTest, EncodingFailsOnANumberThatIsNotFinite)
{
    const double notFinite[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
    for (double value : notFinite) {
        PaintStroke a = penStroke();
        a.points[1] = PaintPoint(value, 0.5, 1);
        PaintStroke b = penStroke();
        b.fontSize = value;
        PaintStroke c = penStroke();
        c.textSnapRect = QRectF(0, 0, value, 1);
        for (const PaintStroke& stroke : {a, b, c})
            EXPECT_FALSE(StrokeJSON::encode({penStroke(), stroke}));
    }
}
