// Recognition results and errors: what each becomes on the stream.

#include <gtest/gtest.h>

#include "scripted_run.h"

namespace voxline::testing {
namespace {

const nlohmann::json listening = {{"state", "listening"}, {"onDevice", true}};

nlohmann::json resultWithError(double at, const std::string& text) {
  nlohmann::json step = result(at, text);
  step["error"] = true;
  return step;
}

nlohmann::json timeline(std::initializer_list<nlohmann::json> steps) {
  nlohmann::json array = nlohmann::json::array();
  for (const nlohmann::json& step : steps) array.push_back(step);
  return array;
}

struct ResultCase {
  const char* name;
  nlohmann::json timeline;
  std::vector<nlohmann::json> lines;  // after the state line
};

void PrintTo(const ResultCase& c, std::ostream* os) {
  *os << c.name;
}

class Results : public ::testing::TestWithParam<ResultCase> {};

TEST_P(Results, BecomeTextLinesAndErrorsEndNormally) {
  ScriptedRun run = runScripted({{"results", GetParam().timeline}});
  std::vector<nlohmann::json> expected = {listening};
  expected.insert(expected.end(), GetParam().lines.begin(), GetParam().lines.end());
  EXPECT_EQ(run.lines, expected);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.count("stopEngine"), 0) << "errors end the process without stopping first";
  EXPECT_EQ(run.standardError, "");
}

INSTANTIATE_TEST_SUITE_P(
    Timelines, Results,
    ::testing::Values(
        ResultCase{
            "ErrorBeforeAnyResult", timeline({failure(1)}), {{{"text", ""}, {"final", true}}}},
        ResultCase{"ResultAndErrorInOneCall",
                   timeline({resultWithError(1, "go")}),
                   {{{"text", "go"}, {"final", false}}, {{"text", "go"}, {"final", true}}}},
        ResultCase{"ErrorAfterResults",
                   timeline({result(1, "go"), result(2, "go forward"), failure(3)}),
                   {{{"text", "go"}, {"final", false}},
                    {{"text", "go forward"}, {"final", false}},
                    {{"text", "go forward"}, {"final", true}}}},
        ResultCase{"SeveralErrorsFinishOnce",
                   timeline({failure(1), failure(1), failure(1)}),
                   {{{"text", ""}, {"final", true}}}},
        ResultCase{"FinalResultWithErrorIgnoresTheError",
                   timeline({{{"at", 1}, {"text", "done"}, {"final", true}, {"error", true}}}),
                   {{{"text", "done"}, {"final", true}}}},
        ResultCase{
            "TextThatNeedsEscaping",
            timeline({result(1, "\"quoted\" back\\slash\nnew line \u00e9\u65e5\U0001F3A4", true)}),
            {{{"text", "\"quoted\" back\\slash\nnew line \u00e9\u65e5\U0001F3A4"},
              {"final", true}}}},
        ResultCase{"EmptyResultText",
                   timeline({result(1, ""), result(2, "", true)}),
                   {{{"text", ""}, {"final", false}}, {{"text", ""}, {"final", true}}}}),
    [](const ::testing::TestParamInfo<ResultCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voxline::testing
