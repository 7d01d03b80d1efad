// The JSON writer: text escaped so that any bytes a thread writes stay one
// readable ASCII string; commas and nesting right however values are mixed;
// newlines only where asked for; and a misuse refused rather than written.
#include "sim/json/json_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace listpool::sim {
namespace {

std::string Quoted(std::string_view text) {
    return JsonWriter().String(text).Take();
}

TEST(JsonWriterTest, StringsAreEscaped) {
    EXPECT_EQ(Quoted(""), "\"\"");
    EXPECT_EQ(Quoted("say \"hi\" \\ to </b> and {x:[1]}"),
              R"("say \"hi\" \\ to </b> and {x:[1]}")");
    // Control characters, DEL and a NUL inside the text, each as \u00XX.
    EXPECT_EQ(Quoted(std::string_view("\n\t\r\x01\x1f\x7f\0z", 8)),
              R"("\u000a\u0009\u000d\u0001\u001f\u007f\u0000z")");
    // Bytes beyond ASCII, UTF-8 (é) or not (a lone continuation byte, 0xff),
    // each stand for themselves.
    EXPECT_EQ(Quoted("\xc3\xa9\x80\xff"), R"("\u00c3\u00a9\u0080\u00ff")");
}

TEST(JsonWriterTest, ValuesNestWithCommasBetweenThem) {
    JsonWriter json;
    json.Object().Key("a").Int(-3).Key("b").Array().End().Key("c").Object().End();
    json.Key("d").Array().Bool(true).Bool(false).Null().Array().Int(1).End().Object();
    json.Key("e\"").Int(std::numeric_limits<std::uint64_t>::max()).End().End();
    json.Key("f").Ints(std::vector<int>{0, 3, 32}).Key("g").Ints(std::set<unsigned>{});
    json.Key("h").Strings({"x", "y"}).Key("i").Raw("{\"made\":[1,2]}").End();
    EXPECT_EQ(json.Take(), R"({"a":-3,"b":[],"c":{},"d":[true,false,null,[1],)"
                           R"({"e\"":18446744073709551615}],"f":[0,3,32],"g":[],)"
                           R"("h":["x","y"],"i":{"made":[1,2]}})");
}

TEST(JsonWriterTest, BreaksPutNewlinesAfterTheCommas) {
    JsonWriter json;
    json.Object().Key("a").Int(1).Break().Key("list").Array();
    for (int n = 0; n < 3; ++n) {
        json.Break().Ints(std::vector{n});
    }
    json.Break().End().End().Break();
    // A record on each line, as JSON lines.
    json.Object().End().Break().Array().End().Break();
    EXPECT_EQ(json.Take(), "{\"a\":1,\n\"list\":[\n[0],\n[1],\n[2]\n]}\n{}\n[]\n");
    EXPECT_EQ(json.Take(), "");  // taking leaves the writer empty
}

TEST(JsonWriterTest, AMisuseIsRefused) {
    const std::vector<std::function<void(JsonWriter&)>> misuses = {
        [](JsonWriter& j) { j.Object().Int(1); },              // a member without a name
        [](JsonWriter& j) { j.Object().Key("a").Key("b"); },   // two names in a row
        [](JsonWriter& j) { j.Object().Key("a").End(); },      // a name without its value
        [](JsonWriter& j) { j.Array().Key("a"); },             // a name in an array
        [](JsonWriter& j) { j.Key("a"); },                     // a name outside an object
        [](JsonWriter& j) { j.Array().End().End(); },          // an end with nothing open
        [](JsonWriter& j) { j.Int(1).String("x"); },           // two values, no newline
        [](JsonWriter& j) { j.Object().End().Object(); },      // the same, containers
        [](JsonWriter& j) { j.Array().Array().End().Take(); }  // an array left open
    };
    for (std::size_t n = 0; n < misuses.size(); ++n) {
        JsonWriter json;
        EXPECT_THROW(misuses[n](json), std::logic_error) << "misuse " << n;
    }
}

}  // namespace
}  // namespace listpool::sim
