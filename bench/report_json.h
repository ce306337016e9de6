// The figures of a benchmark, machine-readable for scripts/bench: when
// HX_REPORT_DIR is set, one file $HX_REPORT_DIR/<id>.json per measured item,
//   {"id", "title", "family", "command", "rows": [{"measure", "value",
//    "unit", "baseline", "ratio", "goal", "ok"}, ...]}
// where `baseline` is the raw figure measured in the same run, in the same
// unit as `value`. Nothing is written when the variable is unset.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

namespace hx::bench {

inline constexpr double kNsPerUs = 1e3;

// A goal on a ratio: the library's figure over the raw one at most `limit`
// (times), or at least `limit` (rates).
struct Goal {
    enum class Kind { None, AtMost, AtLeast } kind = Kind::None;
    double limit = 0;

    std::string Text() const {
        char text[32] = "";
        if (kind != Kind::None) std::snprintf(text, sizeof text, "%s %gx", kind == Kind::AtMost ? "<=" : ">=", limit);
        return text;
    }
    bool Met(double ratio) const {
        return ratio > 0 && (kind == Kind::AtMost ? ratio <= limit : ratio >= limit);
    }
};
inline Goal AtMost(double limit) { return {Goal::Kind::AtMost, limit}; }
inline Goal AtLeast(double limit) { return {Goal::Kind::AtLeast, limit}; }
inline Goal NoGoal() { return {}; }

// The command line of this run, as the report shows it.
inline std::string& RunCommand() {
    static std::string command;
    return command;
}
inline void SetRunCommand(int argc, char** argv) {
    RunCommand().clear();
    for (int i = 0; i < argc; ++i) RunCommand() += (i ? " " : "") + std::string(argv[i]);
}

class ReportFile {
public:
    ReportFile(std::string id, std::string title, std::string family)
        : json_{{"id", std::move(id)}, {"title", std::move(title)}, {"family", std::move(family)},
                {"command", RunCommand()}, {"rows", nlohmann::ordered_json::array()}} {}

    // A figure against its raw baseline of the same run; the ratio is
    // value / baseline unless given (rates compare the other way round).
    ReportFile& Compare(const std::string& measure, double value, double baseline, const std::string& unit,
                        Goal goal, double ratio = 0) {
        if (ratio == 0 && baseline > 0) ratio = value / baseline;
        nlohmann::ordered_json row{{"measure", measure}, {"value", value}, {"unit", unit}, {"baseline", baseline},
                           {"ratio", ratio}};
        if (goal.kind != Goal::Kind::None) {
            row["goal"] = goal.Text();
            row["ok"] = goal.Met(ratio);
        }
        json_["rows"].push_back(std::move(row));
        return *this;
    }

    // A figure on its own (context), optionally with a bound it must not pass.
    ReportFile& Figure(const std::string& measure, double value, const std::string& unit) {
        json_["rows"].push_back({{"measure", measure}, {"value", value}, {"unit", unit}});
        return *this;
    }
    ReportFile& Bounded(const std::string& measure, double value, const std::string& unit, double bound) {
        json_["rows"].push_back(
            {{"measure", measure}, {"value", value}, {"unit", unit}, {"bound", bound}, {"ok", value <= bound}});
        return *this;
    }

    // Writes $HX_REPORT_DIR/<id>.json; false only when writing failed.
    bool Write() const {
        const char* dir = std::getenv("HX_REPORT_DIR");
        if (dir == nullptr || *dir == '\0') return true;
        std::error_code ignored;
        std::filesystem::create_directories(dir, ignored);
        const std::string path = std::string(dir) + "/" + json_["id"].get<std::string>() + ".json";
        std::ofstream out(path);
        out << json_.dump(1) << "\n";
        if (!out) std::fprintf(stderr, "could not write %s\n", path.c_str());
        return static_cast<bool>(out);
    }

private:
    nlohmann::ordered_json json_;
};

}  // namespace hx::bench
