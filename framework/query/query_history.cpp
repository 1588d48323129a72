#include "framework/query/query_history.hpp"

#include <algorithm>

#include "framework/ini_store.hpp"

namespace zelt::framework {

std::vector<std::string> QueryHistory::Queries() const {
    std::vector<std::string> queries;
    for (int n = 1; n <= kMaxQueries; ++n) {
        std::string saved = ini_.Fetch(section_, Key(n));
        if (saved.empty()) break;
        queries.push_back(std::move(saved));
    }
    return queries;
}

void QueryHistory::Remember(std::string_view saved) {
    if (saved.empty()) return;
    std::vector<std::string> queries = Queries();
    std::erase(queries, std::string(saved));
    queries.insert(queries.begin(), std::string(saved));
    if (queries.size() > kMaxQueries) queries.resize(kMaxQueries);
    for (std::size_t i = 0; i < queries.size(); ++i)
        ini_.Update(section_, Key(static_cast<int>(i) + 1), queries[i]);
}

}  // namespace zelt::framework
