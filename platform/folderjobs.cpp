#include "platform/folderjobs.h"

#include "platform/wildcard.h"

#include <QCoreApplication>

#include <algorithm>
#include <cctype>
#include <deque>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace platform {

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b; // names that differ only in case: a stable, fixed order
}

template <typename Keep>
std::vector<std::string> List(const std::string& folder, Keep keep)
{
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? "." : folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (keep(*it, typeEc) && !typeEc) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

std::multiset<std::string>& Running()
{
    static std::multiset<std::string> running;
    return running;
}

std::deque<std::function<void()>>& IdleActions()
{
    static std::deque<std::function<void()>> actions;
    return actions;
}

void RunIdleActions()
{
    // An action may start a job of its own; the rest then wait for its end.
    while (Running().empty() && !IdleActions().empty()) {
        auto action = std::move(IdleActions().front());
        IdleActions().pop_front();
        action();
    }
}

} // namespace

std::vector<std::string> ListFiles(const std::string& folder, const std::string& patterns)
{
    const auto list = SplitPatterns(patterns);
    return List(folder, [&](const fs::directory_entry& e, std::error_code& ec) {
        if (!e.is_regular_file(ec)) return false;
        const std::string name = e.path().filename().string();
        for (const auto& p : list)
            if (WildcardMatch(p, name)) return true;
        return false;
    });
}

std::vector<std::string> ListSubfolders(const std::string& folder)
{
    return List(folder, [](const fs::directory_entry& e, std::error_code& ec) { return e.is_directory(ec); });
}

std::string CanonicalPath(const std::string& path)
{
    std::error_code ec;
    fs::path p = fs::absolute(path.empty() ? fs::path(".") : fs::path(path), ec);
    if (ec) p = path;
    fs::path c = fs::weakly_canonical(p, ec);
    if (ec) c = p.lexically_normal();
    std::string s = c.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool SamePath(const std::string& a, const std::string& b)
{
    return CanonicalPath(a) == CanonicalPath(b);
}

void YieldToUi()
{
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

JobGuard::JobGuard(std::string job) : job_(std::move(job))
{
    if (Running().count(job_)) return;
    Running().insert(job_);
    started_ = true;
}

JobGuard::~JobGuard()
{
    if (!started_) return;
    Running().erase(Running().find(job_));
    RunIdleActions();
}

bool JobGuard::IsRunning(const std::string& job)
{
    return Running().count(job) > 0;
}

bool JobGuard::AnyRunning()
{
    return !Running().empty();
}

void JobGuard::WhenIdle(std::function<void()> action)
{
    IdleActions().push_back(std::move(action));
    RunIdleActions();
}

} // namespace platform
