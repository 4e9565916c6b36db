// The file-backed key store of the port discovery.
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "engine_host.h"
#include "filereplace.h"
#include "mtr_discovery.h"

namespace {

struct entry {
    std::string key, name, value;
};

std::string trim_slashes(std::string k)
{
    while (!k.empty() && k.back() == '\\')
        k.pop_back();
    return k;
}

bool same_text(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::vector<entry> load()
{
    std::vector<entry> all;
    std::ifstream f(mtr_keys_path(), std::ios::binary);
    std::string line;
    while (std::getline(f, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t t1 = line.find('\t');
        size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        if (t2 == std::string::npos)
            continue;
        all.push_back({trim_slashes(line.substr(0, t1)), line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1)});
    }
    return all;
}

}  // namespace

std::string mtr_keys_path()
{
    EngineHost* h = engine_host();
    return (h ? h->ProgramFolder() : std::string()) + "ZorqKeys.txt";
}

std::vector<std::string> mtr_keys_subkeys(const std::string& key)
{
    std::string k = trim_slashes(key) + "\\";
    std::set<std::string> names;
    for (const entry& e : load()) {
        if (e.key.size() <= k.size() || !same_text(e.key.substr(0, k.size()), k))
            continue;
        std::string rest = e.key.substr(k.size());
        names.insert(rest.substr(0, rest.find('\\')));
    }
    return {names.begin(), names.end()};
}

bool mtr_keys_get(const std::string& key, const std::string& name, std::string* value)
{
    std::string k = trim_slashes(key);
    for (const entry& e : load())
        if (same_text(e.key, k) && same_text(e.name, name)) {
            *value = e.value;
            return true;
        }
    return false;
}

bool mtr_keys_set(const std::string& key, const std::string& name, const std::string& value)
{
    std::string k = trim_slashes(key);
    std::vector<entry> all = load();
    bool found = false;
    for (entry& e : all)
        if (same_text(e.key, k) && same_text(e.name, name)) {
            e.value = value;
            found = true;
        }
    if (!found)
        all.push_back({k, name, value});
    // A complete new file replaces the old one: a failed write loses nothing.
    std::string data;
    for (const entry& e : all) {
        std::string v = e.value;
        for (char& c : v)
            if (c == '\r' || c == '\n' || c == '\t')
                c = ' ';
        data += e.key + '\t' + e.name + '\t' + v + "\r\n";
    }
    return ReplaceFileContents(mtr_keys_path(), data);
}
