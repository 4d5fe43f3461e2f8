// The registry of embedded window definitions and the search of the resource
// directory.
#include "ui/resource_registry.h"

#include <dirent.h>

#include <algorithm>
#include <mutex>

#include "platform/file.h"

// Defined by the generated code of the build's resources; absent in a program
// built without any.
extern "C" void sk_register_embedded_resources() __attribute__((weak));

namespace sk::ui {
namespace {

struct Embedded {
    std::string name;
    const std::uint8_t* data;
    std::size_t size;
};

struct Module {
    std::string name;
    std::vector<Embedded> resources;
};

struct Registry {
    std::recursive_mutex lock;
    std::vector<Module> modules;
    std::string directory;
    bool directory_set = false;
    bool embedded_done = false;
};

Registry& registry() {
    static Registry r;
    return r;
}

bool same_name(std::string_view a, std::string_view b) {
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return up(x) == up(y);
           });
}

void ensure_embedded(Registry& r) {
    if (r.embedded_done) return;
    r.embedded_done = true;
    if (&sk_register_embedded_resources != nullptr) sk_register_embedded_resources();
}

Module& module_named(Registry& r, std::string_view name) {
    for (Module& m : r.modules)
        if (m.name == name) return m;
    Module m;
    m.name = std::string(name);
    // The program's own module is searched first whenever it is registered.
    if (name == kProgramModule) {
        r.modules.insert(r.modules.begin(), std::move(m));
        return r.modules.front();
    }
    r.modules.push_back(std::move(m));
    return r.modules.back();
}

std::string default_directory() {
    std::string program = sk::platform::program_path();
    const auto slash = program.rfind('/');
    if (slash == std::string::npos) return "resources";
    return program.substr(0, slash + 1) + "resources";
}

bool read_whole(const std::string& path, std::vector<std::uint8_t>& out) {
    sk::platform::File f;
    if (!f.open(path, sk::platform::kAccessRead | sk::platform::kDenyNone)) return false;
    const std::int64_t size = f.size();
    if (size < 0 || size > (64 << 20)) return false;
    out.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < out.size()) {
        const std::int64_t n = f.read_at(done, out.data() + done, out.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Files named NAME or NAME.dab, any letter case.
void search_directory(const std::string& dir, std::string_view name, std::vector<FoundResource>& out) {
    if (dir.empty()) return;
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> hits;
    while (dirent* e = readdir(d)) {
        std::string_view file = e->d_name;
        std::string_view stem = file;
        if (file.size() > 4 && same_name(file.substr(file.size() - 4), ".dab")) stem = file.substr(0, file.size() - 4);
        if (same_name(stem, name)) hits.emplace_back(file);
    }
    closedir(d);
    std::sort(hits.begin(), hits.end());
    for (const std::string& file : hits) {
        FoundResource found;
        found.module = dir + "/" + file;
        if (read_whole(found.module, found.body)) out.push_back(std::move(found));
    }
}

}  // namespace

void register_embedded_resource(std::string_view name, const std::uint8_t* data, std::size_t size,
                                std::string_view module) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    Module& m = module_named(r, module);
    for (Embedded& e : m.resources)
        if (same_name(e.name, name)) {
            e.data = data;
            e.size = size;
            return;
        }
    m.resources.push_back(Embedded{std::string(name), data, size});
}

void set_resource_directory(std::string directory) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    r.directory = std::move(directory);
    r.directory_set = true;
}

std::string resource_directory() {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (!r.directory_set) {
        r.directory = default_directory();
        r.directory_set = true;
    }
    return r.directory;
}

std::vector<FoundResource> find_resources(std::string_view name) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    ensure_embedded(r);
    std::vector<FoundResource> out;
    for (const Module& m : r.modules)
        for (const Embedded& e : m.resources)
            if (same_name(e.name, name)) out.push_back(FoundResource{m.name, {e.data, e.data + e.size}});
    search_directory(resource_directory(), name, out);
    return out;
}

void remove_module(std::string_view module) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    ensure_embedded(r);
    std::erase_if(r.modules, [&](const Module& m) { return m.name == module; });
}

}  // namespace sk::ui
