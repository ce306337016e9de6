// halvexctl models: the virtual board models, or (--matrix, --json) the
// library's catalog: the driver family of every model in each slot group.
// Nothing is loaded.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

bool g_matrix = false;

// The matrix shows the feature groups; the per-platform init is no feature.
constexpr std::size_t kFeatureGroups = svc::kInit;
constexpr const char* kNone = "-";

std::vector<svc::CatalogEntry> Catalog() {
    std::vector<svc::CatalogEntry> rows;
    svc::CatalogEntry entry{};
    for (std::size_t i = 0; svc::GetCatalogEntry(i, &entry); ++i) rows.push_back(entry);
    return rows;
}

std::string DioLines(const svc::CatalogEntry& e) {
    if (!*e.groups[svc::kDio].family) return kNone;
    return std::to_string(e.diLines) + "/" + std::to_string(e.doLines);
}

// Model, the feature groups with the DIO lines after DIO: one row of cells.
std::vector<std::string> MatrixRow(const svc::CatalogEntry& e) {
    std::vector<std::string> cells{e.model};
    for (std::size_t g = 0; g < kFeatureGroups; ++g) {
        cells.push_back(*e.groups[g].family ? e.groups[g].family : kNone);
        if (g == svc::kDio) cells.push_back(DioLines(e));
    }
    return cells;
}

std::vector<std::string> MatrixHead(const svc::CatalogEntry& e) {
    std::vector<std::string> cells{"Model"};
    for (std::size_t g = 0; g < kFeatureGroups; ++g) {
        cells.push_back(e.groups[g].name);
        if (g == svc::kDio) cells.push_back("DI/DO");
    }
    return cells;
}

void PrintRow(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths) {
    for (std::size_t c = 0; c < cells.size(); ++c) std::printf("| %-*s ", static_cast<int>(widths[c]), cells[c].c_str());
    std::printf("|\n");
}

// A Markdown table, padded so that it reads as a table in plain text too.
int PrintMatrix(const std::vector<svc::CatalogEntry>& catalog) {
    if (catalog.empty()) return Fail("the catalog is empty");
    std::vector<std::vector<std::string>> table{MatrixHead(catalog.front())};
    for (const svc::CatalogEntry& e : catalog) table.push_back(MatrixRow(e));
    std::vector<std::size_t> widths(table.front().size(), 3);
    for (const auto& row : table) {
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    PrintRow(table.front(), widths);
    std::vector<std::string> rule;
    for (std::size_t w : widths) rule.push_back(std::string(w, '-'));
    PrintRow(rule, widths);
    for (std::size_t r = 1; r < table.size(); ++r) PrintRow(table[r], widths);
    return 0;
}

// "DTIO/DTFO" -> "dtio_dtfo": a group name as a lower_snake_case key.
std::string Key(const char* name) {
    std::string key;
    for (const char* p = name; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        key += std::isalnum(c) ? static_cast<char>(std::tolower(c)) : '_';
    }
    return key;
}

// One object per model and line; an empty group is null.
int PrintJson(const std::vector<svc::CatalogEntry>& catalog) {
    for (const svc::CatalogEntry& e : catalog) {
        Json families = Json::object();
        for (const svc::SlotGroup& group : e.groups) families[Key(group.name)] = *group.family ? Json(group.family) : Json();
        Emit(Json{{"model", e.model}, {"families", families}, {"di_lines", e.diLines}, {"do_lines", e.doLines}}, "");
    }
    return 0;
}

int RunModels(Context&) {
    if (g_matrix) return JsonOutput() ? BadUsage("--matrix is a table; --json lists the models' families")
                                      : PrintMatrix(Catalog());
    if (JsonOutput()) return PrintJson(Catalog());
    for (std::size_t i = 0; const char* name = svc::VirtualModel(i); ++i) std::printf("%s\n", name);
    return 0;
}

}  // namespace

void AddModelsCommand(CLI::App& app, Command& command) {
    CLI::App* models = app.add_subcommand("models", "List the virtual board models, or the features of every model");
    models->add_flag("--matrix", g_matrix, "Markdown table: the driver family of every model in each feature group");
    models->callback([&command] { command = {RunModels, false}; });
}

}  // namespace halvexctl
