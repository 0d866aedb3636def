#include "parsing/PerplexityTranscriptParser.hpp"
#include "support/ParserCases.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace testing;  // the shared tree builders and case tables
using testing::text;      // the builder, not the text namespace

N controls() { return group({button("Edit query"), button("Copy query")}); }
N chip(std::string site, std::string more = "") {
    N c = group({N("AXImage"), text(std::move(site))});
    if (!more.empty()) c.kid(text(std::move(more)));
    return c;
}
// On Linux the controls' wrapper is left out: the query heading announces a query.
N query(std::string q, std::string cls = "group/query") {
    return std::move(N("AXHeading").classes({std::move(cls), "whitespace-pre-line"}).kid(text(std::move(q))));
}
N cite(std::string site) { return std::move(N("AXLink").classes({"citation", "inline"}).kid(text(std::move(site)))); }
N page(std::vector<N> blocks, std::vector<N> outside = {}) {
    N main = std::move(N("AXGroup").subrole("AXLandmarkMain").kid(group({group(std::move(blocks))})));
    for (auto& o : outside) main.kid(o);
    return std::move(N("AXWebArea").kids({group({N("AXGroup").description("Sidebar").kid(button("Home"))}), main}));
}

// The thread's blocks run through the query/answer state machine.
TEST(PerplexityTranscriptParser, Segmentation) {
    const ParserCase cases[] = {  // probes: thread, queries, answers
        {"clock times are dropped from the query, only there",
         page({controls(), group({text("Mar 3, 9:41 AM"), text("hello"), text("12:05pm")}),
               group({text("At 10:30 PM")}), group({text("9:00 AM")}), button("Copy")}),
         inOrder({{"user", "hello"}, {"assistant", "At 10:30 PM\n9:00 AM"}})},
        {"a query of clock times only is an empty user turn",
         page({controls(), group({text("9:41 AM")}), group({text("a")}), button("Copy")}),
         inOrder({{"user", ""}, {"assistant", "a"}})},
        {"an answer with no parts yet gives no assistant turn",
         page({controls(), group({text("q")}), N("AXImage"), group({button("Sources")})}), inOrder({{"user", "q"}}),
         false, false, {true, true, false}},
        {"a block without bare text does not take the query's place; Copy closes an empty answer",
         page({controls(), group({button("Share"), N("AXLink").kids({text("link")})}), group({text("q")}),
               button("Copy")}),
         inOrder({{"user", "q"}, {"assistant", ""}})},
        {"a new query closes the open answer",
         page({controls(), group({text("q1")}), group({text("a1")}), controls(), group({text("q2")}),
               group({text("a2")}), button("Copy")}),
         inOrder({{"user", "q1"}, {"assistant", "a1"}, {"user", "q2"}, {"assistant", "a2"}}), true, false,
         {true, true, true}},
        {"chips (icon, site, a count or blank) and controls are left out of the answer; an image with a sentence, "
         "an overflow in words or a site name below the direct children is no chip",
         page({controls(), group({text("q")}),
               group({text("Paris is the capital."), chip("wikipedia", "+3"), chip("britannica"), chip(" "),
                      group({N("AXImage"), text("The Eiffel Tower at night")}), chip("nytimes", "+3 more"),
                      group({N("AXImage"), group({text("wiki")})}), N("AXPopUpButton").kids({text("More")})}),
               button("Copy")}),
         inOrder({{"user", "q"},
                  {"assistant", "Paris is the capital.\n[image]The Eiffel Tower at night\n[image]nytimes+3 more\n"
                                "[image]\nwiki"}})},
        {"a short Stop button outside the thread means still answering",
         page({controls(), group({text("q")}), button("Copy")}, {button("Stop generating")}),
         inOrder({{"user", "q"}, {"assistant", ""}}), false},
        {"a long Stop label is prose, not the control",
         page({controls(), group({text("q")}), button("Copy")}, {button("Stop words are filtered before indexing")}),
         inOrder({{"user", "q"}, {"assistant", ""}})},
        {"a Stop button inside the thread is not searched",
         page({controls(), group({text("q")}), group({button("Stop"), text("a")}), button("Copy")}),
         inOrder({{"user", "q"}, {"assistant", "a"}})},
        {"no main landmark", N("AXWebArea").kid(group({controls(), group({text("q")})})), std::nullopt, true, false,
         {false, false, false}},
        {"controls need both buttons", page({group({button("Edit query"), button("Copy")}), group({text("q")})}),
         std::nullopt},
        {"controls without a query yet", page({controls()}), std::nullopt},
        {"query headings: the controls, tabs and source links beside them are no part of a turn; "
         "a citation link in the prose is left out, a link among words kept",
         page({query("q1"), button("Edit query"), button("Copy query"), N("AXTabGroup").kid(text("Answer")),
               cite("wikipedia"),
               group({group({text("Blue"), cite("nasa"), text(", see "), N("AXLink").kid(text("this")), text(".")})}),
               button("Helpful"), button("Copy"), query("q2"), group({group({text("a2")})})},
              {button("Stop")}),
         inOrder({{"user", "q1"}, {"assistant", "Blue, see this."}, {"user", "q2"}, {"assistant", "a2"}}), false,
         false, {true, true, true}},
        {"query headings renamed: nothing", page({query("q1", "group/query-v2"), group({text("a1")}), button("Copy")}),
         std::nullopt},
    };
    expectParses(cases, PerplexityTranscriptParser{}, &PerplexityTranscriptParser::anchors());
}

}  // namespace
}  // namespace velmar
