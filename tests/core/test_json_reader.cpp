#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "Json/JsonReader.h"

using namespace json_reader;

namespace {

std::string Nested(int depth, const std::string& inner = "1") {
    return std::string(depth, '[') + inner + std::string(depth, ']');
}

}  // namespace

// Every input a hostile peer has sent us so far: none may throw, each is a plain failure.
TEST(JsonReader, HostileTextFailsWithoutThrowing) {
    const std::string cases[] = {
        "",
        "{",
        "nul",
        "{\"a\":1,}",
        "[1,2",
        "\"unterminated",
        "{\"a\": 1e999999}",
        Nested(1010),
        Nested(40, "{\"words\":" + Nested(40) + "}"),
        std::string("{\"a\":\"x\0y\"}", 11),
        "// comment\n{}",
        "\xff\xfe{}",
    };
    for (const std::string& text : cases) {
        Json::Value root(123);
        std::string error;
        bool ok = true;
        EXPECT_NO_THROW(ok = Parse(text, root, &error)) << text.substr(0, 40);
        if (!ok) {
            EXPECT_FALSE(error.empty()) << text.substr(0, 40);
            EXPECT_TRUE(root.isNull());
        }
    }
    Json::Value root;
    EXPECT_FALSE(Parse(Nested(1010), root));
    EXPECT_FALSE(Parse(Nested(kDefaultDepthLimit + 1), root));
    EXPECT_TRUE(Parse(Nested(kDefaultDepthLimit - 1), root));
}

TEST(JsonReader, ParseObjectWantsAnObject) {
    Json::Value root;
    EXPECT_TRUE(ParseObject(R"({"a":[1,2,{"b":null}]})", root));
    EXPECT_FALSE(ParseObject("[1]", root));
    EXPECT_FALSE(ParseObject("42", root));
    EXPECT_TRUE(root.isNull());
}

// The numbers that made the old readers abort, and the edges of each type.
TEST(JsonReader, GettersCheckTypeAndRange) {
    Json::Value root;
    ASSERT_TRUE(ParseObject(
        R"({"huge":1e19,"neg":-5,"big":4294967296,"max32":2147483647,"min32":-2147483648,
            "frac":1.5,"whole":3.0,"s":"7","t":true,"n":null,"arr":[1],"obj":{"x":1},
            "u64":18446744073709551615,"i64min":-9223372036854775808})",
        root));
    int i = -1;
    unsigned u = 0;
    int64_t i64 = 0;
    uint64_t u64 = 0;
    double d = 0;
    bool b = false;
    std::string s;

    EXPECT_FALSE(GetInt(root, "huge", i));
    EXPECT_FALSE(GetInt64(root, "huge", i64));  // 1e19 is past int64
    EXPECT_TRUE(GetUInt64(root, "huge", u64));
    EXPECT_EQ(u64, 10000000000000000000ull);
    EXPECT_TRUE(GetDouble(root, "huge", d));

    EXPECT_TRUE(GetInt(root, "neg", i));
    EXPECT_EQ(i, -5);
    EXPECT_FALSE(GetUInt(root, "neg", u));
    EXPECT_FALSE(GetUInt64(root, "neg", u64));

    EXPECT_FALSE(GetInt(root, "big", i));
    EXPECT_FALSE(GetUInt(root, "big", u));
    EXPECT_TRUE(GetInt64(root, "big", i64));
    EXPECT_EQ(i64, 4294967296ll);

    EXPECT_TRUE(GetInt(root, "max32", i));
    EXPECT_EQ(i, 2147483647);
    EXPECT_TRUE(GetInt(root, "min32", i));
    EXPECT_EQ(i, -2147483647 - 1);

    EXPECT_FALSE(GetInt(root, "frac", i));
    EXPECT_TRUE(GetInt(root, "whole", i));
    EXPECT_EQ(i, 3);

    EXPECT_FALSE(GetInt(root, "s", i));  // no string-to-number conversion
    EXPECT_TRUE(GetString(root, "s", s));
    EXPECT_EQ(s, "7");
    EXPECT_FALSE(GetString(root, "max32", s));
    EXPECT_TRUE(GetBool(root, "t", b));
    EXPECT_TRUE(b);
    EXPECT_FALSE(GetBool(root, "max32", b));
    EXPECT_FALSE(GetInt(root, "n", i));
    EXPECT_FALSE(GetInt(root, "missing", i));
    EXPECT_TRUE(GetUInt64(root, "u64", u64));
    EXPECT_EQ(u64, 18446744073709551615ull);
    EXPECT_TRUE(GetInt64(root, "i64min", i64));
    EXPECT_EQ(i64, INT64_MIN);
    EXPECT_EQ(i, 3);  // the failed reads since "whole" left it alone
}

// jsoncpp's own operator[] throws on arrays and scalars; Member must not.
TEST(JsonReader, MemberOfNonObjectsIsNull) {
    Json::Value root;
    ASSERT_TRUE(Parse(R"([{"a":1}, 5, "x"])", root));
    int i = 0;
    EXPECT_TRUE(Member(root, "a").isNull());
    EXPECT_TRUE(Member(root[1], "a").isNull());
    EXPECT_TRUE(Member(root[2], "a").isNull());
    EXPECT_FALSE(GetInt(root[2], "a", i));
    EXPECT_TRUE(GetInt(root[0], "a", i));
    EXPECT_EQ(i, 1);
}

TEST(JsonReader, WriteCompactRoundTrips) {
    Json::Value root;
    ASSERT_TRUE(ParseObject(R"({"name":"音效 & co","n":[1,-2,3.5]})", root));
    const std::string text = WriteCompact(root);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    Json::Value again;
    ASSERT_TRUE(ParseObject(text, again));
    EXPECT_EQ(root, again);
}
