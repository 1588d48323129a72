// The recently used queries of a browse, kept in a settings file through the IniStore:
// section "Query", one key per query ("tsMRU1" the most recent, "tsMRU2" the one before, up
// to ten), each holding a query as QueryBuilder::SaveText writes it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelt::framework {

class IniStore;

class QueryHistory {
  public:
    static constexpr int kMaxQueries = 10;

    explicit QueryHistory(IniStore& ini, std::string section = "Query", std::string entry = "tsMRU")
        : ini_(ini), section_(std::move(section)), entry_(std::move(entry)) {}

    // The saved queries, most recent first.
    std::vector<std::string> Queries() const;
    // Puts a query in front (taking it out of where it stood); the oldest beyond ten goes.
    // An empty query is not kept.
    void Remember(std::string_view saved);

  private:
    std::string Key(int n) const { return entry_ + std::to_string(n); }

    IniStore& ini_;
    std::string section_;
    std::string entry_;
};

}  // namespace zelt::framework
